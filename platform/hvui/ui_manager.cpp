#include "hvui/ui_manager.h"

#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "element_type_registry.h"
#include "hvui/kgui_element_factory.h"
#include "hvui/kgui_frame.h"
#include "hvui/xml_helper.h"

namespace {

// Layout files are outside input: a hostile nesting depth must not exhaust the stack of
// the builder (or of the element destructors, which recurse the same way).
constexpr int kMaxDepth = 64;

constexpr const char* kRootTag = "ui";
constexpr const char* kTemplateTag = "template";

bool IsTag(const XMLNode& node, const char* tag)
{
    return std::string(node.GetName()) == tag;
}

} // namespace

struct CUIManager::State {
    // Documents stay loaded while the templates that point into them are in use.
    std::vector<std::unique_ptr<pugi::xml_document>> Documents;
    std::map<std::string, XMLNode> Templates;
    KGUIElement* Desktop = nullptr;
    std::string LastError;

    void Fail(const std::string& error)
    {
        if (LastError.empty())
            LastError = error;
    }

    // Parses a UI file (or text) and answers its <ui> root, or none after recording why.
    XMLNode Parse(const char* source, bool isFile)
    {
        LastError.clear();
        if (!source) {
            Fail("no file given");
            return XMLNode();
        }
        auto document = std::make_unique<pugi::xml_document>();
        pugi::xml_parse_result result = isFile ? document->load_file(source) : document->load_string(source);
        std::string where = isFile ? std::string(source) : std::string("text");
        if (!result) {
            Fail(where + ": " + result.description() + " at offset " + std::to_string(result.offset));
            return XMLNode();
        }
        pugi::xml_node root = document->document_element();
        if (std::string(root.name()) != kRootTag) {
            Fail(where + ": the root element is <" + root.name() + ">, not <" + kRootTag + ">");
            return XMLNode();
        }
        Documents.push_back(std::move(document));
        return XMLNode(root.internal_object());
    }

    void AddTemplates(const XMLNode& root)
    {
        for (XMLNode node = root.FirstChild(); node; node = node.NextSibling()) {
            if (!IsTag(node, kTemplateTag))
                continue;
            const char* name = XMLHelper::GetStringAttribute(node, "name", "");
            if (!*name) {
                Fail("a template without a name");
                continue;
            }
            Templates[name] = node;
        }
    }

    // Builds the element for `node`, then its children, then runs its OnCreate.
    KGUIElement* Build(KGUIElement* parent, const XMLNode& node, int depth)
    {
        const char* type = node.GetName();
        const char* name = XMLHelper::GetStringAttribute(node, "name", "");
        if (depth >= kMaxDepth) {
            Fail(std::string("element '") + name + "' is nested more than " + std::to_string(kMaxDepth) +
                 " levels deep");
            return nullptr;
        }
        if (IsTag(node, kTemplateTag)) {
            Fail("templates belong directly under <ui>");
            return nullptr;
        }
        KGUIElementFactory* factory = hvui::FindElementFactory(type);
        if (!factory) {
            Fail(std::string("unknown element type '") + type + "'");
            return nullptr;
        }
        KGUIElement* element =
            factory->CreateElementFromXML(parent, name, node, XMLHelper::GetStringAttribute(node, "Template", nullptr));
        if (!element) {
            Fail(std::string("element '") + name + "' of type '" + type + "' rejected its attributes");
            return nullptr;
        }
        for (XMLNode child = node.FirstChild(); child; child = child.NextSibling())
            Build(element, child, depth + 1);
        // The element may look up its children now.
        element->OnCreate();
        return element;
    }
};

CUIManager::CUIManager() : Impl(new State)
{
    Impl->Desktop = new KGUIFrame("frame", nullptr, "Desktop");
}

CUIManager::~CUIManager()
{
    delete Impl->Desktop;
    delete Impl;
}

XMLNode CUIManager::FindTemplate(const char* name) const
{
    if (!name || !*name)
        return XMLNode();
    auto it = Impl->Templates.find(name);
    return it == Impl->Templates.end() ? XMLNode() : it->second;
}

bool CUIManager::LoadTemplates(const char* path)
{
    XMLNode root = Impl->Parse(path, true);
    if (root)
        Impl->AddTemplates(root);
    return Impl->LastError.empty();
}

bool CUIManager::LoadTemplatesFromText(const char* xml)
{
    XMLNode root = Impl->Parse(xml, false);
    if (root)
        Impl->AddTemplates(root);
    return Impl->LastError.empty();
}

namespace {

bool BuildLayout(CUIManager& manager, const XMLNode& root, KGUIElement* parent)
{
    bool built = true;
    for (XMLNode node = root.FirstChild(); node; node = node.NextSibling()) {
        if (!IsTag(node, kTemplateTag) && !manager.CreateElementFromXML(parent, node))
            built = false;
    }
    return built;
}

} // namespace

bool CUIManager::LoadLayout(const char* path, KGUIElement* parent)
{
    XMLNode root = Impl->Parse(path, true);
    if (!root)
        return false;
    Impl->AddTemplates(root);
    bool built = BuildLayout(*this, root, parent ? parent : Impl->Desktop);
    return built && Impl->LastError.empty();
}

bool CUIManager::LoadLayoutFromText(const char* xml, KGUIElement* parent)
{
    XMLNode root = Impl->Parse(xml, false);
    if (!root)
        return false;
    Impl->AddTemplates(root);
    bool built = BuildLayout(*this, root, parent ? parent : Impl->Desktop);
    return built && Impl->LastError.empty();
}

KGUIElement* CUIManager::CreateElementFromXML(KGUIElement* parent, const XMLNode& node)
{
    if (!node) {
        Impl->Fail("no element node given");
        return nullptr;
    }
    return Impl->Build(parent, node, 0);
}

KGUIElement* CUIManager::CreateElement(const char* typeName, KGUIElement* parent, const char* elementName)
{
    KGUIElementFactory* factory = hvui::FindElementFactory(typeName);
    return factory ? factory->CreateElement(parent, elementName) : nullptr;
}

KGUIElementFactory* CUIManager::FindFactory(const char* typeName) const
{
    return hvui::FindElementFactory(typeName);
}

KGUIElement* CUIManager::GetDesktop() const
{
    return Impl->Desktop;
}

void CUIManager::Render()
{
    Impl->Desktop->Render();
}

void CUIManager::ClearLayout()
{
    KGUIElement* desktop = Impl->Desktop;
    while (!desktop->GetChildren().empty())
        desktop->DeleteChild(desktop->GetChildren().back());
}

void CUIManager::ClearTemplates()
{
    Impl->Templates.clear();
    Impl->Documents.clear();
}

const char* CUIManager::GetLastError() const
{
    return Impl->LastError.c_str();
}
