#include "client/event_args.h"

#include <charconv>

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
    std::to_chars_result written = std::to_chars(arg.Buffer, arg.Buffer + sizeof(arg.Buffer) - 1, value);
    *written.ptr = '\0'; // 20 characters at most
    return arg;
}
