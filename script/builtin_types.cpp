#include "script/builtin_types.h"

KSTypeDefinition* pStringType = nullptr;
KSTypeDefinition* pIntType = nullptr;
KSTypeDefinition* pInt64Type = nullptr;
KSTypeDefinition* pUintType = nullptr;
KSTypeDefinition* pBoolType = nullptr;
KSTypeDefinition* pFloatType = nullptr;
KSTypeDefinition* pFloat64Type = nullptr;
KSTypeDefinition* pTimeType = nullptr;
KSTypeDefinition* pByteType = nullptr;
KSTypeDefinition* pIntPtrType = nullptr;
KSTypeDefinition* pBoolPtrType = nullptr;
KSTypeDefinition* pFloatPtrType = nullptr;
KSTypeDefinition* pBytePtrType = nullptr;
