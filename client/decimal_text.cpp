#include "client/decimal_text.h"

#include <charconv>

void FormatDecimal(char* buffer, size_t size, int decimals, double value)
{
    if (buffer == nullptr || size == 0) {
        return;
    }
    // The conversion ignores the locale and rounds as "%.*f" does.
    std::to_chars_result written = std::to_chars(buffer, buffer + size - 1, value, std::chars_format::fixed, decimals);
    *(written.ec == std::errc() ? written.ptr : buffer) = '\0';
}
