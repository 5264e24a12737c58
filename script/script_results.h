// How the script types fill a member's result: the built-in type pointer in Type and the
// value in the first word. Each answers true, so a member can end with `return Result...`.
#pragma once

#include <cstdint>

#include "script/builtin_types.h"
#include "haven/ks_type_definition.h"

inline bool ResultBool(KSTypedValue& result, bool value)
{
    result.Type = pBoolType;
    result.Value = KSValue();
    result.Value.SetLow32(value ? 1u : 0u);
    return true;
}

inline bool ResultInt64(KSTypedValue& result, int64_t value)
{
    result.Type = pInt64Type;
    result.Value = KSValue();
    result.Value.Int64 = value;
    return true;
}

inline bool ResultFloat64(KSTypedValue& result, double value)
{
    result.Type = pFloat64Type;
    result.Value = KSValue();
    result.Value.Float64 = value;
    return true;
}

// `text` must stay valid until the host has copied it: a literal or a held copy.
inline bool ResultString(KSTypedValue& result, const char* text)
{
    result.Type = pStringType;
    result.Value = KSValue();
    result.Value.Pointer = const_cast<char*>(text);
    return true;
}
