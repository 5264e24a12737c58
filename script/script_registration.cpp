#include "script/script_registration.h"

#include "script/builtin_types.h"
#include "haven/ks_type_definition.h"
#include "script/obsremote_scene_type.h"
#include "script/obsremote_source_type.h"
#include "script/obsremote_type.h"
#include "haven/host_interface.h"

KSTypeDefinition* pOBSRemoteType = nullptr;
KSTypeDefinition* pOBSRemoteSourceType = nullptr;
KSTypeDefinition* pOBSRemoteSceneType = nullptr;

void LookUpBuiltinTypes(HostInterface* host)
{
    if (host == nullptr) {
        return;
    }
    pStringType = host->FindType("string", 0, 0);
    pIntType = host->FindType("int", 0, 0);
    pInt64Type = host->FindType("int64", 0, 0);
    pUintType = host->FindType("uint", 0, 0);
    pBoolType = host->FindType("bool", 0, 0);
    pFloatType = host->FindType("float", 0, 0);
    pFloat64Type = host->FindType("float64", 0, 0);
    pTimeType = host->FindType("time", 0, 0);
    pByteType = host->FindType("byte", 0, 0);
    pIntPtrType = host->FindType("intptr", 0, 0);
    pBoolPtrType = host->FindType("boolptr", 0, 0);
    pFloatPtrType = host->FindType("floatptr", 0, 0);
    pBytePtrType = host->FindType("byteptr", 0, 0);
}

namespace {

void Register(HostInterface* host, KSTypeDefinition*& stored, KSTypeDefinition* type)
{
    stored = type;
    if (host != nullptr) {
        host->RegisterType(type);
    }
    type->SetInheritance(nullptr);
}

void Unregister(HostInterface* host, KSTypeDefinition*& stored)
{
    if (stored == nullptr) {
        return;
    }
    if (host != nullptr) {
        host->UnregisterType(stored);
    }
    delete stored;
    stored = nullptr;
}

} // namespace

void RegisterScriptTypes(HostInterface* host, OBSRemoteClient* client)
{
    Register(host, pOBSRemoteType, new OBSRemoteType(client));
    Register(host, pOBSRemoteSourceType, new OBSRemoteSourceType(client));
    Register(host, pOBSRemoteSceneType, new OBSRemoteSceneType(client));
}

void UnregisterScriptTypes(HostInterface* host)
{
    Unregister(host, pOBSRemoteType);
    Unregister(host, pOBSRemoteSourceType);
    Unregister(host, pOBSRemoteSceneType);
}

// Every obsremote value stands for the one client, so the object is always the number 1.
bool OBSRemoteTopLevelObject(int32_t, const char* const*, KSTypedValue* result)
{
    if (result == nullptr) {
        return false;
    }
    result->Type = pOBSRemoteType;
    result->Value = KSValue();
    result->Value.SetLow32(1);
    return true;
}
