#include "hvui/kgui_element.h"

#include <algorithm>
#include <atomic>

#include "ascii_case.h"
#include "element_attributes.h"
#include "element_type_registry.h"
#include "hvui/kgui_element_factory.h"

namespace {

std::atomic<int64_t> g_LiveElements{0};

KGUIElement* Root(KGUIElement* element)
{
    while (element->GetParent())
        element = element->GetParent();
    return element;
}

} // namespace

KGUIElement::KGUIElement(const char* typeName, KGUIElement* parent, const char* elementName)
    : TypeName(typeName ? typeName : ""), Name(elementName ? elementName : ""), Parent(parent)
{
    if (Parent)
        Parent->Children.push_back(this);
    ++g_LiveElements;
}

KGUIElement::~KGUIElement()
{
    DestroyChildren();
    // Only an element destroyed without DeleteChild still has its parent here.
    if (Parent)
        Parent->DetachChild(this);
    --g_LiveElements;
}

int64_t KGUIElement::LiveElementCount()
{
    return g_LiveElements.load();
}

bool KGUIElement::FromXML(const XMLNode& node, const XMLNode& tmpl)
{
    hvui::ElementAttributes attributes(node, tmpl);
    int32_t x = X, y = Y, width = Width, height = Height;
    bool visible = Visible;
    if (!attributes.ReadInt("x", x) || !attributes.ReadInt("y", y) || !attributes.ReadInt("width", width) ||
        !attributes.ReadInt("height", height) || !attributes.ReadBool("visible", visible))
        return false;
    if (width < 0 || height < 0)
        return false;
    X = x;
    Y = y;
    Width = width;
    Height = height;
    Visible = visible;
    return TextureFromXML(node, tmpl) && FontFromXML(node, tmpl) && FixedFontFromXML(node, tmpl) &&
           EmbeddedScriptFromXML(node, tmpl);
}

// Nothing is drawn, so textures, fonts and scripts have nothing to load.
bool KGUIElement::TextureFromXML(const XMLNode&, const XMLNode&) { return true; }
bool KGUIElement::FontFromXML(const XMLNode&, const XMLNode&) { return true; }
bool KGUIElement::FixedFontFromXML(const XMLNode&, const XMLNode&) { return true; }
bool KGUIElement::EmbeddedScriptFromXML(const XMLNode&, const XMLNode&) { return true; }

bool KGUIElement::IsTypeOf(const char* typeName) const
{
    return hvui::EqualsIgnoringAsciiCase(typeName, "element");
}

void KGUIElement::RecalculateSize()
{
    RecalculateChildrenSize();
    SizeRecalculated();
}

void KGUIElement::RecalculateChildrenSize()
{
    for (size_t i = 0; i < Children.size(); ++i)
        Children[i]->RecalculateSize();
}

void KGUIElement::SizeRecalculated() {}

void KGUIElement::Render()
{
    if (Visible)
        RenderChildren();
}

void KGUIElement::RenderChildren()
{
    // By index, re-reading the size: a child's render may remove elements. Hidden
    // children are not asked to render at all.
    for (size_t i = 0; i < Children.size(); ++i) {
        if (Children[i]->Visible)
            Children[i]->Render();
    }
}

void KGUIElement::Show(bool visible)
{
    Visible = visible;
}

void KGUIElement::Center()
{
    if (!Parent)
        return;
    X = static_cast<int32_t>((static_cast<int64_t>(Parent->Width) - Width) / 2);
    Y = static_cast<int32_t>((static_cast<int64_t>(Parent->Height) - Height) / 2);
}

bool KGUIElement::OnLMouseUp(int32_t, int32_t) { return false; }
bool KGUIElement::OnLMouseDown(int32_t, int32_t) { return false; }
bool KGUIElement::OnRMouseUp(int32_t, int32_t) { return false; }
bool KGUIElement::OnRMouseDown(int32_t, int32_t) { return false; }
bool KGUIElement::OnLMouseDoubleClick(int32_t, int32_t) { return false; }
bool KGUIElement::OnRMouseDoubleClick(int32_t, int32_t) { return false; }
bool KGUIElement::OnMouseMove(int32_t, int32_t) { return false; }
bool KGUIElement::OnMouseWheel(int32_t, int32_t, int32_t) { return false; }
bool KGUIElement::OnKeyUp(uint32_t) { return false; }
bool KGUIElement::OnKeyDown(uint32_t) { return false; }

// Notifications bubble up until an element takes them.
bool KGUIElement::OnNotify(KGUIElement* source, uint32_t message)
{
    return Parent ? Parent->OnNotify(source, message) : false;
}

void KGUIElement::OnMouseEnter() { MouseOver = true; }
void KGUIElement::OnMouseExit() { MouseOver = false; }
void KGUIElement::OnKeyboardEnter() { Focused = true; }
void KGUIElement::OnKeyboardExit() { Focused = false; }
void KGUIElement::OnLMouseDownOther(KGUIElement*) {}

void KGUIElement::OnCreate()
{
    Created = true;
}

void KGUIElement::OnDestroy()
{
    Focused = false;
    MouseOver = false;
}

KSTypeDefinition* KGUIElement::GetKSType()
{
    return nullptr;
}

int32_t KGUIElement::GetStoragePosition() const
{
    if (!Parent)
        return -1;
    auto it = std::find(Parent->Children.begin(), Parent->Children.end(), this);
    return static_cast<int32_t>(it - Parent->Children.begin());
}

KGUIElement* KGUIElement::FindChild(const char* elementName)
{
    if (!elementName)
        return nullptr;
    for (KGUIElement* child : Children) {
        if (child->Name == elementName)
            return child;
        if (KGUIElement* found = child->FindChild(elementName))
            return found;
    }
    return nullptr;
}

namespace {

void ClearFocusBelow(KGUIElement* element)
{
    if (element->HasFocus())
        element->OnKeyboardExit();
    for (KGUIElement* child : element->GetChildren())
        ClearFocusBelow(child);
}

} // namespace

// One element of a tree has the focus.
void KGUIElement::SetFocus()
{
    ClearFocusBelow(Root(this));
    OnKeyboardEnter();
}

void KGUIElement::SetMouseOver(bool over)
{
    if (over != MouseOver) {
        if (over)
            OnMouseEnter();
        else
            OnMouseExit();
    }
}

KGUIElement* KGUIElement::FindMouseOver(int32_t x, int32_t y)
{
    if (!Visible)
        return nullptr;
    int64_t left = 0, top = 0;
    for (const KGUIElement* e = this; e; e = e->Parent) {
        left += e->X;
        top += e->Y;
    }
    if (x < left || y < top || x >= left + Width || y >= top + Height)
        return nullptr;
    // The child rendered last lies on top.
    for (auto it = Children.rbegin(); it != Children.rend(); ++it) {
        if (KGUIElement* found = (*it)->FindMouseOver(x, y))
            return found;
    }
    return this;
}

void KGUIElement::MoveZUp()
{
    int32_t at = GetStoragePosition();
    if (at >= 0 && static_cast<size_t>(at) + 1 < Parent->Children.size())
        std::swap(Parent->Children[at], Parent->Children[at + 1]);
}

void KGUIElement::MoveZDown()
{
    int32_t at = GetStoragePosition();
    if (at > 0)
        std::swap(Parent->Children[at], Parent->Children[at - 1]);
}

void KGUIElement::MoveZTop()
{
    if (!Parent)
        return;
    Parent->DetachChild(this);
    Parent->Children.push_back(this);
}

void KGUIElement::MoveZBottom()
{
    if (!Parent)
        return;
    Parent->DetachChild(this);
    Parent->Children.insert(Parent->Children.begin(), this);
}

bool KGUIElement::DeleteChild(KGUIElement* child)
{
    auto it = std::find(Children.begin(), Children.end(), child);
    if (it == Children.end())
        return false;
    Children.erase(it);
    child->Parent = nullptr;
    KGUIElementFactory* factory = hvui::FindElementFactory(child->TypeName.c_str());
    if (factory && factory->Deleter) {
        factory->ElementDestroyed(child);
        factory->Deleter->DeleteElement(child);
    } else {
        child->OnDestroy();
        delete child;
    }
    return true;
}

KGUIElement* KGUIElement::FindUsableChild(const char* elementName, const char* typeName)
{
    if (!elementName || !typeName)
        return nullptr;
    for (KGUIElement* child : Children) {
        if (child->Name == elementName && child->IsTypeOf(typeName))
            return child;
        if (KGUIElement* found = child->FindUsableChild(elementName, typeName))
            return found;
    }
    return nullptr;
}

bool KGUIElement::Contains(const KGUIElement* element) const
{
    if (element == this)
        return true;
    for (const KGUIElement* child : Children) {
        if (child->Contains(element))
            return true;
    }
    return false;
}

void KGUIElement::SetPosition(int32_t x, int32_t y)
{
    X = x;
    Y = y;
}

void KGUIElement::SetSize(int32_t width, int32_t height)
{
    Width = std::max(width, 0);
    Height = std::max(height, 0);
}

void KGUIElement::DetachChild(KGUIElement* child)
{
    Children.erase(std::remove(Children.begin(), Children.end(), child), Children.end());
}

void KGUIElement::DestroyChildren()
{
    while (!Children.empty())
        DeleteChild(Children.back());
}
