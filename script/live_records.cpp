#include "script/live_records.h"

#include <algorithm>

KSValue SceneValue(SceneInfo* scene)
{
    KSValue value;
    value.Pointer = scene;
    value.Word2 = scene->Serial;
    return value;
}

KSValue SourceValue(SourceInfo* source)
{
    KSValue value;
    value.Pointer = source;
    value.Word2 = source->Serial;
    return value;
}

LiveScene::LiveScene(SceneModel& model, const KSValue& value) : ScenesGuard(&model.ScenesLock)
{
    if (value.IsNone()) {
        return;
    }
    SceneInfo* scene = model.SceneBySerial(value.Word2);
    if (scene != nullptr && scene == value.Pointer) {
        Record = scene;
    }
}

// Sources may be deleted by an update that holds only their scene's SourcesLock, so the
// address is compared against each scene's list while that scene's lock is held, and the
// record is touched only once it is found there.
LiveSource::LiveSource(SceneModel& model, const KSValue& value) : ScenesGuard(&model.ScenesLock)
{
    if (value.IsNone()) {
        return;
    }
    const auto* wanted = static_cast<const SourceInfo*>(value.Pointer);
    for (SceneInfo* scene : model.Scenes) {
        SourcesGuard.Attach(&scene->SourcesLock);
        SourcesGuard.Lock();
        const auto found = std::find(scene->Sources.begin(), scene->Sources.end(), wanted);
        if (found != scene->Sources.end() && (*found)->Serial == value.Word2 && (*found)->Scene == scene) {
            Record = *found;
            return;
        }
        SourcesGuard.Unlock();
    }
}
