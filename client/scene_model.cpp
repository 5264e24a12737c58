// The scene model: look-ups by name, the rebuilds from the plug-in's arrays, and the
// liveness check by serial number.
//
// Only the worker thread creates, changes and deletes records; the host's thread reads them
// under the same locks. Look-ups are linear scans in list order and the first match wins:
// OBS has tens of scenes and sources, never thousands.
#include "client/scene_model.h"

#include <algorithm>
#include <atomic>

#include "client/json_read.h"
#include "client/name_compare.h"
#include "support/portable_lock.h"

namespace {

// Serials are never reused while the module is loaded, so a script object that kept a
// serial can never mistake a newer record at the same address for the one it knew.
std::atomic<uint64_t> NextSerial{1};

uint64_t TakeSerial() { return NextSerial.fetch_add(1, std::memory_order_relaxed); }

void DeleteSources(SceneInfo* scene)
{
    for (SourceInfo* source : scene->Sources) {
        delete source;
    }
    scene->Sources.clear();
}

// A record appears in a new order once, at the place of the last element that named it, so a
// name repeated in one array can never leave the list holding one record twice.
void AppendOnce(std::vector<SourceInfo*>& order, SourceInfo* source, bool alreadyPlaced)
{
    if (alreadyPlaced) {
        order.erase(std::find(order.begin(), order.end(), source));
    }
    order.push_back(source);
}

} // namespace

SceneModel::SceneModel() = default;

SceneModel::~SceneModel() { ClearScenes(); }

uint32_t SceneModel::SceneCount()
{
    CWinLock guard(&ScenesLock);
    return static_cast<uint32_t>(Scenes.size());
}

SceneInfo* SceneModel::SceneAt(uint32_t index)
{
    CWinLock guard(&ScenesLock);
    return index < Scenes.size() ? Scenes[index] : nullptr;
}

SceneInfo* SceneModel::FindScene(const char* name, bool create)
{
    if (name == nullptr) {
        return nullptr;
    }
    CWinLock guard(&ScenesLock);
    for (SceneInfo* scene : Scenes) {
        if (NamesEqualIgnoringCase(scene->Name.c_str(), name)) {
            return scene;
        }
    }
    if (!create) {
        return nullptr;
    }
    SceneInfo* scene = new SceneInfo;
    scene->Name = name;
    scene->Serial = TakeSerial();
    Scenes.push_back(scene);
    return scene;
}

// An empty current name finds nothing, even when a scene has an empty name.
SceneInfo* SceneModel::CurrentScene()
{
    CWinLock guard(&ScenesLock);
    if (CurrentSceneName.empty()) {
        return nullptr;
    }
    return FindScene(CurrentSceneName.c_str(), false);
}

bool SceneModel::IsCurrentScene(const SceneInfo* scene)
{
    if (scene == nullptr) {
        return false;
    }
    CWinLock guard(&ScenesLock);
    return NamesEqualIgnoringCase(scene->Name.c_str(), CurrentSceneName.c_str());
}

void SceneModel::SetCurrentSceneName(const char* name)
{
    if (name == nullptr) {
        return;
    }
    CWinLock guard(&ScenesLock);
    CurrentSceneName = name;
}

std::string SceneModel::CurrentSceneNameCopy()
{
    CWinLock guard(&ScenesLock);
    return CurrentSceneName;
}

void SceneModel::MarkScenesStale()
{
    CWinLock guard(&ScenesLock);
    for (SceneInfo* scene : Scenes) {
        scene->Stale = true;
    }
}

void SceneModel::RemoveStaleScenes()
{
    CWinLock guard(&ScenesLock);
    auto kept = std::stable_partition(Scenes.begin(), Scenes.end(), [](const SceneInfo* s) { return !s->Stale; });
    for (auto it = kept; it != Scenes.end(); ++it) {
        {
            CWinLock sources(&(*it)->SourcesLock);
            DeleteSources(*it);
        }
        delete *it;
    }
    Scenes.erase(kept, Scenes.end());
}

void SceneModel::ClearScenes()
{
    CWinLock guard(&ScenesLock);
    for (SceneInfo* scene : Scenes) {
        {
            CWinLock sources(&scene->SourcesLock);
            DeleteSources(scene);
        }
        delete scene;
    }
    Scenes.clear();
}

uint32_t SceneModel::SourceCount(SceneInfo* scene)
{
    CWinLock guard(&scene->SourcesLock);
    return static_cast<uint32_t>(scene->Sources.size());
}

SourceInfo* SceneModel::SourceAt(SceneInfo* scene, uint32_t index)
{
    CWinLock guard(&scene->SourcesLock);
    return index < scene->Sources.size() ? scene->Sources[index] : nullptr;
}

SourceInfo* SceneModel::FindSource(SceneInfo* scene, const char* name, bool create)
{
    if (name == nullptr) {
        return nullptr;
    }
    CWinLock guard(&scene->SourcesLock);
    for (SourceInfo* source : scene->Sources) {
        if (NamesEqualIgnoringCase(source->Name.c_str(), name)) {
            return source;
        }
    }
    if (!create) {
        return nullptr;
    }
    SourceInfo* source = new SourceInfo;
    source->Name = name;
    source->Scene = scene;
    source->Serial = TakeSerial();
    scene->Sources.push_back(source);
    return source;
}

void SceneModel::MarkSourcesStale(SceneInfo* scene)
{
    CWinLock guard(&scene->SourcesLock);
    for (SourceInfo* source : scene->Sources) {
        source->Stale = true;
    }
}

void SceneModel::RemoveStaleSources(SceneInfo* scene)
{
    CWinLock guard(&scene->SourcesLock);
    std::vector<SourceInfo*>& sources = scene->Sources;
    auto kept = std::stable_partition(sources.begin(), sources.end(), [](const SourceInfo* s) { return !s->Stale; });
    for (auto it = kept; it != sources.end(); ++it) {
        delete *it;
    }
    sources.erase(kept, sources.end());
}

// Known sources keep their records, new names get new records, and sources the array no
// longer names are deleted. After the stale marking, a source that is not stale has been
// placed by this pass already: meeting it again means its name is repeated in the array.
void SceneModel::PopulateSources(SceneInfo* scene, json_t* sources)
{
    CWinLock guard(&scene->SourcesLock);
    MarkSourcesStale(scene);
    std::vector<SourceInfo*> order;
    order.reserve(ArraySize(sources));
    for (size_t i = 0, n = ArraySize(sources); i < n; ++i) {
        json_t* element = ArrayElement(sources, i);
        const char* name = ReadString(element, "name");
        if (name == nullptr) {
            continue; // an element without a name cannot be stored; the others still are
        }
        SourceInfo* source = FindSource(scene, name, false);
        bool placed = source != nullptr && !source->Stale;
        if (source == nullptr) {
            source = FindSource(scene, name, true);
        }
        source->Width = ReadReal(element, "cx");
        source->Height = ReadReal(element, "cy");
        source->X = ReadReal(element, "x");
        source->Y = ReadReal(element, "y");
        source->Render = ReadFlag(element, "render");
        source->Stale = false;
        AppendOnce(order, source, placed);
    }
    RemoveStaleSources(scene);
    scene->Sources.swap(order);
}

// Creates nothing and changes nothing but the order; unnamed sources are deleted.
void SceneModel::ReorderSources(SceneInfo* scene, json_t* names)
{
    CWinLock guard(&scene->SourcesLock);
    MarkSourcesStale(scene);
    std::vector<SourceInfo*> order;
    for (size_t i = 0, n = ArraySize(names); i < n; ++i) {
        SourceInfo* source = FindSource(scene, ArrayString(names, i), false);
        if (source == nullptr) {
            continue;
        }
        bool placed = !source->Stale;
        source->Stale = false;
        AppendOnce(order, source, placed);
    }
    RemoveStaleSources(scene);
    scene->Sources.swap(order);
}

SceneInfo* SceneModel::SceneBySerial(uint64_t serial)
{
    CWinLock guard(&ScenesLock);
    for (SceneInfo* scene : Scenes) {
        if (scene->Serial == serial) {
            return scene;
        }
    }
    return nullptr;
}

SourceInfo* SceneModel::SourceBySerial(uint64_t serial, CWinLock& sourcesGuard)
{
    CWinLock guard(&ScenesLock);
    for (SceneInfo* scene : Scenes) {
        sourcesGuard.Attach(&scene->SourcesLock);
        sourcesGuard.Lock();
        for (SourceInfo* source : scene->Sources) {
            if (source->Serial == serial) {
                return source;
            }
        }
        sourcesGuard.Unlock();
    }
    return nullptr;
}
