// OBS's side of the simulator's world: the scenes with their sources and the two audio
// channels, as the simulator starts with them and as tests read them back.
#pragma once

#include <string>
#include <vector>

struct SimSource {
    std::string Name;
    // OBS keeps positions and sizes as floats; the plug-in widens them to reals on the wire.
    float X = 0.0f;
    float Y = 0.0f;
    float CX = 1280.0f;
    float CY = 720.0f;
    bool Render = true;
};

struct SimScene {
    std::string Name;
    std::vector<SimSource> Sources;
};

struct SimSceneSet {
    std::string CurrentScene;
    std::vector<SimScene> Scenes;
    float MicVolume = 1.0f;
    float DesktopVolume = 1.0f;
};

// A small set of three scenes, used when no scene file is given.
SimSceneSet DefaultSceneSet();

// Reads {"current-scene": "...", "scenes": [{"name": ..., "sources": [{"name", "x", "y",
// "cx", "cy", "render"}]}], "mic-volume": r, "desktop-volume": r}; only "scenes" is required.
// On failure answers false and says why in error.
bool ParseSceneSet(const std::string& text, SimSceneSet& out, std::string& error);
bool LoadSceneSetFile(const std::string& path, SimSceneSet& out, std::string& error);
