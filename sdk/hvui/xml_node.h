// A handle to one element node of an XML document loaded by the GUI library. It does not
// own the node: it stays valid as long as the library keeps the document (templates live
// until the library drops them; layout nodes only while the layout is being built).
#pragma once

#include "hvui/hvui_api.h"

namespace pugi {
struct xml_node_struct;
}

class HVUI_API XMLNode {
public:
    XMLNode() = default;
    explicit XMLNode(pugi::xml_node_struct* node) : Node(node) {}

    // A default-made handle, or one for a missing node, is "none".
    bool IsNone() const { return Node == nullptr; }
    explicit operator bool() const { return Node != nullptr; }

    // The element's tag name; "" for none.
    const char* GetName() const;
    // The attribute's text, or nullptr when the node is none or has no such attribute.
    const char* GetAttribute(const char* name) const;
    // Element children only (text, comments and declarations are skipped).
    XMLNode FirstChild() const;
    XMLNode NextSibling() const;
    XMLNode FindChild(const char* name) const;

    pugi::xml_node_struct* Internal() const { return Node; }

    friend bool operator==(const XMLNode& a, const XMLNode& b) { return a.Node == b.Node; }
    friend bool operator!=(const XMLNode& a, const XMLNode& b) { return a.Node != b.Node; }

private:
    pugi::xml_node_struct* Node = nullptr;
};
