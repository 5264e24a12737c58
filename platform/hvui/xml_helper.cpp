#include "hvui/xml_helper.h"

#include <cerrno>
#include <cstdlib>

#include "ascii_case.h"

const char* XMLHelper::GetStringAttribute(const XMLNode& node, const char* attribute, const char* defaultText)
{
    const char* text = node.GetAttribute(attribute);
    return text ? text : defaultText;
}

bool XMLHelper::GetIntAttribute(const XMLNode& node, const char* attribute, int32_t& value)
{
    const char* text = node.GetAttribute(attribute);
    if (!text)
        return true;
    // strtol alone would accept leading blanks and stop quietly at junk.
    if (*text != '-' && (*text < '0' || *text > '9'))
        return false;
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    value = static_cast<int32_t>(parsed);
    return true;
}

bool XMLHelper::GetBoolAttribute(const XMLNode& node, const char* attribute, bool& value)
{
    const char* text = node.GetAttribute(attribute);
    if (!text)
        return true;
    if (hvui::EqualsIgnoringAsciiCase(text, "true") || hvui::EqualsIgnoringAsciiCase(text, "1")) {
        value = true;
        return true;
    }
    if (hvui::EqualsIgnoringAsciiCase(text, "false") || hvui::EqualsIgnoringAsciiCase(text, "0")) {
        value = false;
        return true;
    }
    return false;
}
