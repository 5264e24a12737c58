#include "client/event_args.h"

#include <cinttypes>
#include <cstdio>

namespace {

// printf honours the C locale's decimal point; the extension never changes LC_NUMERIC,
// but a host might. Any ',' that a locale put in is turned back into '.'.
void FixDecimalPoint(char* text)
{
    for (char* c = text; *c != '\0'; ++c) {
        if (*c == ',') {
            *c = '.';
        }
    }
}

} // namespace

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
    std::snprintf(arg.Buffer, sizeof(arg.Buffer), "%.2f", value);
    FixDecimalPoint(arg.Buffer);
    return arg;
}

EventArg EventArg::Volume(double value)
{
    EventArg arg;
    std::snprintf(arg.Buffer, sizeof(arg.Buffer), "%.4f", value);
    FixDecimalPoint(arg.Buffer);
    return arg;
}

EventArg EventArg::Counter(int64_t value)
{
    EventArg arg;
    std::snprintf(arg.Buffer, sizeof(arg.Buffer), "%" PRId64, value);
    return arg;
}
