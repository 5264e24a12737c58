// Numbers in fixed notation with "." as the decimal point, whatever the process locale
// (printf would honour LC_NUMERIC, which the extension never changes but a host might). Event
// arguments (version, volumes, strain) and the SetVolume request use it.
#pragma once

#include <cstddef>

// Writes value with `decimals` digits after the point, as "%.*f" would, terminated. Callers
// size the buffer for the widest value they pass; a text that would not fit is left empty,
// never cut.
void FormatDecimal(char* buffer, size_t size, int decimals, double value);
