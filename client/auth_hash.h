// The digest the plug-in's password check is built on: Base64 (standard alphabet, "="
// padding, no line breaks) of SHA-256 over two texts joined byte for byte.
#pragma once

#include <string>

// 44 characters for any input, the empty texts included.
std::string Base64Sha256(const std::string& first, const std::string& second);
