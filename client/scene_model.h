// The client's copy of OBS's scenes and of the sources in each scene.
//
// Scenes owns its SceneInfo records and each scene owns its SourceInfo records. A record
// keeps its identity while it lives: rebuilds update it in place. Names are compared with
// ASCII case ignored and keep the spelling under which the record was created.
//
// Locks, outermost first: ScenesLock (the scene list and CurrentSceneName), then a scene's
// SourcesLock (its sources and every field of them). Both are re-entrant.
//
// Every record carries a serial number that is never reused while the module is loaded, so
// a holder of (record, serial) can ask, under the locks, whether the record still lives.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <jansson.h>

#include "support/critical_section.h"
#include "support/portable_lock.h"

struct SceneInfo;

struct SourceInfo {
    std::string Name;
    bool Render = false;
    double X = 0.0;
    double Y = 0.0;
    double Width = 0.0;
    double Height = 0.0;
    bool Stale = false;
    SceneInfo* Scene = nullptr; // owning scene, not owned
    uint64_t Serial = 0;
};

struct SceneInfo {
    std::string Name;
    bool Stale = false;
    CCriticalSection SourcesLock;
    std::vector<SourceInfo*> Sources; // owned
    uint64_t Serial = 0;
};

class SceneModel {
public:
    SceneModel();
    ~SceneModel();
    SceneModel(const SceneModel&) = delete;
    SceneModel& operator=(const SceneModel&) = delete;

    // Scene list operations; each takes ScenesLock for its duration.
    uint32_t SceneCount();
    SceneInfo* SceneAt(uint32_t index);
    SceneInfo* FindScene(const char* name, bool create);
    SceneInfo* CurrentScene();
    bool IsCurrentScene(const SceneInfo* scene);
    void SetCurrentSceneName(const char* name);
    std::string CurrentSceneNameCopy();
    void MarkScenesStale();
    void RemoveStaleScenes();
    void ClearScenes();

    // Source operations on one scene; each takes the scene's SourcesLock for its duration.
    static uint32_t SourceCount(SceneInfo* scene);
    static SourceInfo* SourceAt(SceneInfo* scene, uint32_t index);
    static SourceInfo* FindSource(SceneInfo* scene, const char* name, bool create);
    static void MarkSourcesStale(SceneInfo* scene);
    static void RemoveStaleSources(SceneInfo* scene);
    static void PopulateSources(SceneInfo* scene, json_t* sources);
    static void ReorderSources(SceneInfo* scene, json_t* names);

    // Liveness: the record that bears this serial, or none once it was deleted. Callers hold
    // ScenesLock while they use the answer. A source may be deleted by an update that holds
    // only its scene's SourcesLock, so a found source comes with `sourcesGuard` holding that
    // lock; the caller reads the source's fields before the guard lets go.
    SceneInfo* SceneBySerial(uint64_t serial);
    SourceInfo* SourceBySerial(uint64_t serial, CWinLock& sourcesGuard);

    CCriticalSection ScenesLock;
    std::string CurrentSceneName; // under ScenesLock
    std::vector<SceneInfo*> Scenes; // owned, under ScenesLock
};
