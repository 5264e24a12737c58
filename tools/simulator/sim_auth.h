// The plug-in's password check: a salt kept for the simulator's life, a challenge per
// connection, and the two SHA-256/Base64 rounds that a client must reproduce.
#pragma once

#include <string>

// Base64 (standard alphabet, padded) of 32 random bytes: 44 characters.
std::string SimRandomToken();

// Base64(SHA-256(text)).
std::string SimHashText(const std::string& text);

// What a client must send for "auth": Base64(SHA-256(Base64(SHA-256(password ‖ salt)) ‖ challenge)).
std::string SimExpectedAuth(const std::string& authHash, const std::string& challenge);
