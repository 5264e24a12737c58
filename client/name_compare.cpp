#include "client/name_compare.h"

namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

bool NamesEqualIgnoringCase(const char* a, const char* b)
{
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    for (;; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) {
            return false;
        }
        if (*a == '\0') {
            return true;
        }
    }
}
