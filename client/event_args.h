// Texts of event arguments: flags "%d", the version "%.2f", volumes and strain "%.4f",
// 64-bit counters in signed decimal, always with "." as the decimal point. The buffer is
// large enough for any double in fixed notation, so no argument is ever cut.
#pragma once

#include <cstdint>

class EventArg {
public:
    static EventArg Flag(bool value);
    static EventArg Version(double value);
    static EventArg Volume(double value);
    static EventArg Counter(int64_t value);

    const char* Text() const { return Buffer; }

private:
    EventArg() : Buffer{} {}
    char Buffer[352];
};
