#include "script/live_records.h"

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

// The model answers a found source with its scene's SourcesLock held in SourcesGuard, so the
// record stays alive for as long as this accessor does.
LiveSource::LiveSource(SceneModel& model, const KSValue& value) : ScenesGuard(&model.ScenesLock)
{
    if (value.IsNone()) {
        return;
    }
    SourceInfo* source = model.SourceBySerial(value.Word2, SourcesGuard);
    if (source != nullptr && source == value.Pointer) {
        Record = source;
        return;
    }
    SourcesGuard.Unlock();
}
