// Numbers in fixed notation with "." as the decimal point, whatever the process locale:
// printf honours LC_NUMERIC, which the extension never changes but a host might. Event
// arguments (version, volumes, strain) and the SetVolume request use it.
#pragma once

#include <cstddef>

// Writes value with `decimals` digits after the point ("%.*f"), terminated. Callers size the
// buffer for the widest value they pass, so no text is ever cut.
void FormatDecimal(char* buffer, size_t size, int decimals, double value);
