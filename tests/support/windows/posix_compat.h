// POSIX calls the tests use that MinGW's C library lacks. Force-included into every test
// source of the Windows build (see tests/CMakeLists.txt).
#pragma once

#ifdef __cplusplus
#include <cstdlib>
#include <cstring>
#include <direct.h>
#include <io.h>

// Replaces the trailing XXXXXX of the pattern and creates that folder; the pattern on
// failure, as POSIX says, is left unspecified and the answer is none.
inline char* mkdtemp(char* pattern)
{
    const size_t length = std::strlen(pattern);
    if (length < 6 || std::strcmp(pattern + length - 6, "XXXXXX") != 0) {
        return nullptr;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::memcpy(pattern + length - 6, "XXXXXX", 6);
        if (_mktemp_s(pattern, length + 1) != 0) {
            return nullptr;
        }
        if (_mkdir(pattern) == 0) {
            return pattern;
        }
    }
    return nullptr;
}
#endif
