#include "client/event_args.h"

#include <cinttypes>
#include <cstdio>

#include "client/decimal_text.h"

EventArg EventArg::Flag(bool value)
{
    EventArg arg;
    arg.Buffer[0] = value ? '1' : '0';
    arg.Buffer[1] = '\0';
    return arg;
}

EventArg EventArg::Version(double value)
{
    EventArg arg;
    FormatDecimal(arg.Buffer, sizeof(arg.Buffer), 2, value);
    return arg;
}

EventArg EventArg::Volume(double value)
{
    EventArg arg;
    FormatDecimal(arg.Buffer, sizeof(arg.Buffer), 4, value);
    return arg;
}

EventArg EventArg::Counter(int64_t value)
{
    EventArg arg;
    std::snprintf(arg.Buffer, sizeof(arg.Buffer), "%" PRId64, value);
    return arg;
}
