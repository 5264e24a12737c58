#include "client/decimal_text.h"

#include <cstdio>

void FormatDecimal(char* buffer, size_t size, int decimals, double value)
{
    if (buffer == nullptr || size == 0) {
        return;
    }
    std::snprintf(buffer, size, "%.*f", decimals, value);
    // Fixed notation has no grouping, so the only ',' a locale can put in is its decimal point.
    for (char* c = buffer; *c != '\0'; ++c) {
        if (*c == ',') {
            *c = '.';
        }
    }
}
