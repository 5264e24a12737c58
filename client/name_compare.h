// Name comparison ignoring ASCII case, as OBS compares names: the "error" status, update
// types, volume channels, scene and source names, the peer's host name.
#pragma once

// Names compare equal when they match with the letters A-Z folded to a-z; every other byte
// is compared unchanged. Two null names are equal; a null name equals no text.
bool NamesEqualIgnoringCase(const char* a, const char* b);
