// Texts from scripts (scene, source and channel names, passwords' derivatives) are put
// into requests as JSON strings. The plug-in drops a request it cannot parse without any
// answer, so a quote or backslash in a name must not break the request.
#pragma once

#include <string>
#include <vector>

// Appends text with '"', '\\' and the control characters below 0x20 escaped; every other
// byte (UTF-8 included) is copied as it stands.
void AppendJsonEscaped(std::string& out, const char* text);
std::string JsonEscaped(const char* text);

// The names, each escaped and in double quotes, joined by single commas: the inside of a
// JSON array of strings.
std::string JsonQuotedList(const std::vector<std::string>& names);
