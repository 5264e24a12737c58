// What the extension's start-up and shut-down call into the script interface for.
#pragma once

#include <cstdint>

class HostInterface;
class OBSRemoteClient;
struct KSTypedValue;

// Looks up the thirteen built-in types by name, in their fixed order, and keeps the answers.
void LookUpBuiltinTypes(HostInterface* host);

// Constructs obsremote, obsremotesource and obsremotescene (in that order), hands each to
// RegisterType and sets its inheritance to none. The types read and drive `client`.
void RegisterScriptTypes(HostInterface* host, OBSRemoteClient* client);

// Withdraws the three types with UnregisterType and destroys them, in the same order.
void UnregisterScriptTypes(HostInterface* host);

// The function behind the top-level object "OBSRemote".
bool OBSRemoteTopLevelObject(int32_t argc, const char* const* argv, KSTypedValue* result);
