// Scene and source objects carry the model record's address in the first word of their
// value and the record's serial in the second. A script may keep such an object after a
// rebuild deleted the record, so the address is never followed until the model, under its
// own locks, confirms that a live record with that serial stands at that address. The locks
// stay held for as long as the accessor lives, so the record cannot vanish while it is read.
#pragma once

#include "client/scene_model.h"
#include "haven/ks_type_definition.h"
#include "support/portable_lock.h"

// The value of a scene or source object for a live record; read its Serial under the lock
// that guards the record.
KSValue SceneValue(SceneInfo* scene);
KSValue SourceValue(SourceInfo* source);

// Holds ScenesLock; Scene() is the record the value names, or none when it is gone.
class LiveScene {
public:
    LiveScene(SceneModel& model, const KSValue& value);
    LiveScene(const LiveScene&) = delete;
    LiveScene& operator=(const LiveScene&) = delete;

    SceneInfo* Scene() const { return Record; }

private:
    CWinLock ScenesGuard;
    SceneInfo* Record = nullptr;
};

// Holds ScenesLock and the owning scene's SourcesLock; Source() is the record the value
// names, or none when it is gone.
class LiveSource {
public:
    LiveSource(SceneModel& model, const KSValue& value);
    LiveSource(const LiveSource&) = delete;
    LiveSource& operator=(const LiveSource&) = delete;

    SourceInfo* Source() const { return Record; }

private:
    CWinLock ScenesGuard;
    CWinLock SourcesGuard;
    SourceInfo* Record = nullptr;
};
