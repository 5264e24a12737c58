#include "tools/simulator/sim_scene_set.h"

#include <jansson.h>

#include <fstream>
#include <sstream>

#include "tools/simulator/sim_json.h"

SimSceneSet DefaultSceneSet()
{
    SimSceneSet set;
    set.CurrentScene = "Intro";
    set.Scenes.push_back({"Intro", {{"Logo", 40.0f, 40.0f, 320.0f, 180.0f, true},
                                       {"Countdown", 0.0f, 0.0f, 1280.0f, 720.0f, true}}});
    set.Scenes.push_back({"Game", {{"Game Capture", 0.0f, 0.0f, 1280.0f, 720.0f, true},
                                      {"Webcam", 960.0f, 540.0f, 320.0f, 180.0f, true},
                                      {"Alerts", 0.0f, 0.0f, 1280.0f, 120.0f, false}}});
    set.Scenes.push_back({"Be Right Back", {{"BRB Image", 0.0f, 0.0f, 1280.0f, 720.0f, true}}});
    return set;
}

namespace {

bool ReadNumber(json_t* object, const char* key, float& out, std::string& error, const std::string& where)
{
    json_t* value = json_object_get(object, key);
    if (value == nullptr)
        return true;
    if (!json_is_number(value)) {
        error = where + ": \"" + key + "\" is not a number";
        return false;
    }
    double number = json_number_value(value);
    if (number > 1.0e6 || number < -1.0e6) {
        error = where + ": \"" + key + "\" is out of range";
        return false;
    }
    out = static_cast<float>(number);
    return true;
}

// Scenes and sources alike are objects with a "name" text.
bool ReadName(json_t* item, std::string& name, std::string& error, const std::string& where)
{
    if (!json_is_object(item)) {
        error = where + " is not an object";
        return false;
    }
    json_t* text = json_object_get(item, "name");
    if (!json_is_string(text)) {
        error = where + " has no \"name\" text";
        return false;
    }
    name = json_string_value(text);
    return true;
}

bool ReadSource(json_t* item, SimSource& source, std::string& error, const std::string& where)
{
    if (!ReadName(item, source.Name, error, where))
        return false;
    json_t* render = json_object_get(item, "render");
    if (render != nullptr && !json_is_boolean(render)) {
        error = where + ": \"render\" is not true or false";
        return false;
    }
    source.Render = render == nullptr || json_is_true(render);
    return ReadNumber(item, "x", source.X, error, where) && ReadNumber(item, "y", source.Y, error, where)
        && ReadNumber(item, "cx", source.CX, error, where) && ReadNumber(item, "cy", source.CY, error, where);
}

bool ReadScene(json_t* item, SimScene& scene, std::string& error, const std::string& where)
{
    if (!ReadName(item, scene.Name, error, where))
        return false;
    json_t* sources = json_object_get(item, "sources");
    if (sources == nullptr)
        return true;
    if (!json_is_array(sources)) {
        error = where + ": \"sources\" is not an array";
        return false;
    }
    for (size_t i = 0; i < json_array_size(sources); ++i) {
        SimSource source;
        if (!ReadSource(json_array_get(sources, i), source, error,
                where + " source " + std::to_string(i + 1)))
            return false;
        scene.Sources.push_back(source);
    }
    return true;
}

} // namespace

bool ParseSceneSet(const std::string& text, SimSceneSet& out, std::string& error)
{
    json_error_t parseError;
    SimJson root(json_loadb(text.data(), text.size(), 0, &parseError));
    if (!root) {
        error = "line " + std::to_string(parseError.line) + ": " + parseError.text;
        return false;
    }
    if (!json_is_object(root.get())) {
        error = "the scene set is not a JSON object";
        return false;
    }
    json_t* scenes = json_object_get(root.get(), "scenes");
    if (!json_is_array(scenes)) {
        error = "\"scenes\" is missing or not an array";
        return false;
    }
    SimSceneSet set;
    for (size_t i = 0; i < json_array_size(scenes); ++i) {
        SimScene scene;
        if (!ReadScene(json_array_get(scenes, i), scene, error, "scene " + std::to_string(i + 1)))
            return false;
        set.Scenes.push_back(scene);
    }
    json_t* current = json_object_get(root.get(), "current-scene");
    if (current != nullptr && !json_is_string(current)) {
        error = "\"current-scene\" is not a text";
        return false;
    }
    if (current != nullptr)
        set.CurrentScene = json_string_value(current);
    else if (!set.Scenes.empty())
        set.CurrentScene = set.Scenes.front().Name;
    if (!ReadNumber(root.get(), "mic-volume", set.MicVolume, error, "the scene set")
        || !ReadNumber(root.get(), "desktop-volume", set.DesktopVolume, error, "the scene set"))
        return false;
    out = std::move(set);
    return true;
}

bool LoadSceneSetFile(const std::string& path, SimSceneSet& out, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (!ParseSceneSet(text.str(), out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}
