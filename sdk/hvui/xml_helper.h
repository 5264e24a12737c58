// Attribute readers for element definitions. A layout file is outside input: a value that
// does not parse is reported, never guessed.
#pragma once

#include <cstdint>

#include "hvui/hvui_api.h"
#include "hvui/xml_node.h"

class HVUI_API XMLHelper {
public:
    // The attribute's text, or `defaultText` when the node is none or lacks the attribute.
    static const char* GetStringAttribute(const XMLNode& node, const char* attribute, const char* defaultText);

    // Reads a decimal 32-bit integer. Answers true and leaves `value` alone when the
    // attribute is absent; false when it is present but not a whole number in range.
    static bool GetIntAttribute(const XMLNode& node, const char* attribute, int32_t& value);
    // Reads "true"/"false"/"1"/"0" (letters in any case), with the same rules.
    static bool GetBoolAttribute(const XMLNode& node, const char* attribute, bool& value);
};
