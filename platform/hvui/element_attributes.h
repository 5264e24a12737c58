// Reads an element's attributes from its node, falling back on its template for each one
// the node lacks.
#pragma once

#include <cstdint>

#include "hvui/xml_helper.h"

namespace hvui {

class ElementAttributes {
public:
    ElementAttributes(const XMLNode& node, const XMLNode& tmpl) : Node(node), Template(tmpl) {}

    const XMLNode& Source(const char* attribute) const
    {
        return Node.GetAttribute(attribute) ? Node : Template;
    }
    const char* Text(const char* attribute, const char* defaultText) const
    {
        return XMLHelper::GetStringAttribute(Source(attribute), attribute, defaultText);
    }
    bool ReadInt(const char* attribute, int32_t& value) const
    {
        return XMLHelper::GetIntAttribute(Source(attribute), attribute, value);
    }
    bool ReadBool(const char* attribute, bool& value) const
    {
        return XMLHelper::GetBoolAttribute(Source(attribute), attribute, value);
    }

private:
    XMLNode Node;
    XMLNode Template;
};

} // namespace hvui
