#include "script/script_arguments.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The white space the C library's number readers skip.
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Decimal order of magnitude of a number that from_chars found out of range: positive means
// it overflowed, otherwise it underflowed. The exponent saturates so that a text of any
// length is measured without overflow.
bool Overflowed(const char* begin, const char* end)
{
    const char* p = begin;
    int64_t magnitude = 0;
    bool seenNonZero = false;
    while (p < end && IsDigit(*p)) {
        if (*p != '0') {
            seenNonZero = true;
        }
        if (seenNonZero && magnitude < 1000000000) {
            ++magnitude;
        }
        ++p;
    }
    if (p < end && *p == '.') {
        ++p;
        while (p < end && IsDigit(*p) && !seenNonZero) {
            if (*p != '0') {
                seenNonZero = true;
            } else if (magnitude > -1000000000) {
                --magnitude;
            }
            ++p;
        }
        while (p < end && IsDigit(*p)) {
            ++p;
        }
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative = false;
        if (*p == '+' || *p == '-') {
            negative = *p == '-';
            ++p;
        }
        int64_t exponent = 0;
        while (p < end && IsDigit(*p)) {
            if (exponent < 1000000000) {
                exponent = exponent * 10 + (*p - '0');
            }
            ++p;
        }
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude > 0;
}

} // namespace

const char* ArgumentText(int32_t argc, const char* const* argv, int32_t index)
{
    if (argv == nullptr || index < 0 || index >= argc || argv[index] == nullptr) {
        return "";
    }
    return argv[index];
}

double ReadRealArgument(const char* text)
{
    if (text == nullptr) {
        return 0.0;
    }
    const char* p = text;
    while (IsSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const char* begin = p;
    size_t digits = 0;
    while (IsDigit(*p)) {
        ++p;
        ++digits;
    }
    if (*p == '.') {
        const char* fraction = p + 1;
        while (IsDigit(*fraction)) {
            ++fraction;
            ++digits;
        }
        if (digits > 0) {
            p = fraction;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (*p == 'e' || *p == 'E') {
        const char* exponent = p + 1;
        if (*exponent == '+' || *exponent == '-') {
            ++exponent;
        }
        if (IsDigit(*exponent)) {
            while (IsDigit(*exponent)) {
                ++exponent;
            }
            p = exponent;
        }
    }
    double value = 0.0;
    const std::from_chars_result read = std::from_chars(begin, p, value, std::chars_format::general);
    if (read.ec == std::errc::result_out_of_range) {
        value = Overflowed(begin, p) ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (read.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

bool ReadFlagArgument(const char* text)
{
    if (text == nullptr) {
        return false;
    }
    static const char True[] = "true";
    size_t i = 0;
    while (i < sizeof(True) - 1 && text[i] != '\0' && FoldAscii(text[i]) == True[i]) {
        ++i;
    }
    if (i == sizeof(True) - 1 && text[i] == '\0') {
        return true;
    }
    return ReadRealArgument(text) != 0.0;
}

float NarrowToFloat(double value)
{
    if (std::isnan(value)) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    if (value > static_cast<double>(std::numeric_limits<float>::max())) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -static_cast<double>(std::numeric_limits<float>::max())) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

bool SelectorPosition(const char* text, uint32_t& position)
{
    if (text == nullptr || text[0] == '\0') {
        return false;
    }
    const char* p = text[0] == '-' ? text + 1 : text;
    for (const char* c = p; *c != '\0'; ++c) {
        if (!IsDigit(*c) && *c != '.') {
            return false;
        }
    }
    // Decimal integer with an optional sign, saturated at the 32-bit signed bounds; digits
    // beyond the bound are still consumed but change nothing.
    const bool negative = text[0] == '-';
    int64_t magnitude = 0;
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : static_cast<int64_t>(std::numeric_limits<int32_t>::max());
    for (const char* c = p; IsDigit(*c); ++c) {
        magnitude = magnitude * 10 + (*c - '0');
        if (magnitude > limit) {
            magnitude = limit;
        }
    }
    const int64_t number = negative ? -magnitude : magnitude;
    // Scripts count from 1.
    const int64_t zeroBased = number - 1;
    if (zeroBased < 0) {
        return false;
    }
    position = static_cast<uint32_t>(zeroBased);
    return true;
}

bool CopyTextToBuffer(const char* text, char* buffer, uint32_t size)
{
    if (buffer == nullptr || size == 0) {
        return false;
    }
    if (text == nullptr) {
        text = "";
    }
    const size_t room = static_cast<size_t>(size) - 1;
    size_t length = 0;
    while (length < room && text[length] != '\0') {
        ++length;
    }
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return true;
}
