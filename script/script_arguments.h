// How the script types read their arguments. Scripts hand every argument over as text, and
// none of it is trusted: a missing, empty, huge or malformed text gives a defined answer.
#pragma once

#include <cstdint>

// argv[index] when it exists and is not null, otherwise an empty text.
const char* ArgumentText(int32_t argc, const char* const* argv, int32_t index);

// Reads a real number the way scripts expect: leading white space, an optional sign, digits
// with an optional decimal point and an optional exponent, up to the first character that
// does not fit. A text that does not begin with a number reads as 0. The decimal point is
// always '.', whatever the process locale says.
double ReadRealArgument(const char* text);

// True for "TRUE" in any letter case, or for a text that reads as a real number other than 0.
bool ReadFlagArgument(const char* text);

// Narrows a real number to a 32-bit float; values beyond float's range become infinities,
// as IEEE narrowing does, instead of being left to undefined conversion.
float NarrowToFloat(double value);

// The "index or name" rule of the Scene and Source members: when the text is numeric (one
// optional leading minus, then only digits and full stops), it is read as a decimal integer
// saturated to 32 bits, and the zero-based position is that number minus 1. Answers whether
// the text is numeric and the position is not negative; `position` is then filled.
bool SelectorPosition(const char* text, uint32_t& position);

// Copies text into a host buffer of `size` bytes (terminator included), cut to fit and always
// terminated. Answers false only when there is no room even for the terminator.
bool CopyTextToBuffer(const char* text, char* buffer, uint32_t size);
