// The host's built-in script types, looked up by name once at start-up and kept for the
// life of the module. Each is the host's answer to FindType, or none when it has no such type.
#pragma once

class HostInterface;
class KSTypeDefinition;

extern KSTypeDefinition* pStringType;
extern KSTypeDefinition* pIntType;
extern KSTypeDefinition* pInt64Type;
extern KSTypeDefinition* pUintType;
extern KSTypeDefinition* pBoolType;
extern KSTypeDefinition* pFloatType;
extern KSTypeDefinition* pFloat64Type;
extern KSTypeDefinition* pTimeType;
extern KSTypeDefinition* pByteType;
extern KSTypeDefinition* pIntPtrType;
extern KSTypeDefinition* pBoolPtrType;
extern KSTypeDefinition* pFloatPtrType;
extern KSTypeDefinition* pBytePtrType;
