// Placeholder until the script types land.
#include "script/script_registration.h"

void LookUpBuiltinTypes(HostInterface*) {}
void RegisterScriptTypes(HostInterface*, OBSRemoteClient*) {}
void UnregisterScriptTypes(HostInterface*) {}
bool OBSRemoteTopLevelObject(int32_t, const char* const*, KSTypedValue*) { return false; }
