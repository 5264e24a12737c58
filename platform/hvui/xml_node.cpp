#include "hvui/xml_node.h"

#include <pugixml.hpp>

namespace {

pugi::xml_node FirstElementFrom(pugi::xml_node node)
{
    while (node && node.type() != pugi::node_element)
        node = node.next_sibling();
    return node;
}

} // namespace

const char* XMLNode::GetName() const
{
    return Node ? pugi::xml_node(Node).name() : "";
}

const char* XMLNode::GetAttribute(const char* name) const
{
    if (!Node || !name)
        return nullptr;
    pugi::xml_attribute attribute = pugi::xml_node(Node).attribute(name);
    return attribute ? attribute.value() : nullptr;
}

XMLNode XMLNode::FirstChild() const
{
    if (!Node)
        return XMLNode();
    return XMLNode(FirstElementFrom(pugi::xml_node(Node).first_child()).internal_object());
}

XMLNode XMLNode::NextSibling() const
{
    if (!Node)
        return XMLNode();
    return XMLNode(FirstElementFrom(pugi::xml_node(Node).next_sibling()).internal_object());
}

XMLNode XMLNode::FindChild(const char* name) const
{
    if (!Node || !name)
        return XMLNode();
    return XMLNode(pugi::xml_node(Node).child(name).internal_object());
}
