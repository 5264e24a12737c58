// The base of every GUI element. Elements form a tree: an element made with a parent
// appends itself to that parent's children, and a parent destroys its children with it.
// A child leaves the tree through its parent's DeleteChild, which hands it to the factory
// that made its type (so the module that allocated it also frees it) or, for a type with
// no registered factory, destroys it directly.
//
// The virtual operations are an interface shared with extensions: their order is fixed.
// Never insert, remove or reorder one. The GUI runs on the host's thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hvui/hvui_api.h"
#include "hvui/xml_node.h"

class KSTypeDefinition;

class HVUI_API KGUIElement {
public:
    KGUIElement(const char* typeName, KGUIElement* parent, const char* elementName);
    KGUIElement(const KGUIElement&) = delete;
    KGUIElement& operator=(const KGUIElement&) = delete;

#ifdef __MINGW32__
    // The host's GUI library is built with MSVC, which gives this declaration one "scalar
    // deleting destructor" slot (flags bit 0: free the memory too) where MinGW's g++ puts
    // two destructor slots. This branch spells MSVC's slot out; the real virtual destructor
    // is declared last, past the slots the library knows, so that the first slot destroys
    // the most-derived element. scripts/check_vtable_layout.py compares the two tables.
    virtual void* ScalarDeletingDestructor(unsigned int flags)
    {
        if ((flags & 1u) != 0) {
            delete this;
        } else {
            this->~KGUIElement();
        }
        return this;
    }
#else
    virtual ~KGUIElement();
#endif
    // Reads the element's attributes from `node`, falling back to `tmpl` (which may be
    // none) for each one the node lacks. Answers false when a value does not parse.
    virtual bool FromXML(const XMLNode& node, const XMLNode& tmpl);
    virtual bool TextureFromXML(const XMLNode& node, const XMLNode& tmpl);
    virtual bool FontFromXML(const XMLNode& node, const XMLNode& tmpl);
    virtual bool FixedFontFromXML(const XMLNode& node, const XMLNode& tmpl);
    virtual bool EmbeddedScriptFromXML(const XMLNode& node, const XMLNode& tmpl);
    // Type names compare without regard to ASCII case.
    virtual bool IsTypeOf(const char* typeName) const;
    virtual void RecalculateSize();
    virtual void RecalculateChildrenSize();
    virtual void SizeRecalculated();
    // Rendering is headless: a visible element renders its visible children in z-order.
    virtual void Render();
    virtual void RenderChildren();
    virtual void Show(bool visible);
    virtual void Center();
    // Input handlers answer true when they consumed the input.
    virtual bool OnLMouseUp(int32_t x, int32_t y);
    virtual bool OnLMouseDown(int32_t x, int32_t y);
    virtual bool OnRMouseUp(int32_t x, int32_t y);
    virtual bool OnRMouseDown(int32_t x, int32_t y);
    virtual bool OnLMouseDoubleClick(int32_t x, int32_t y);
    virtual bool OnRMouseDoubleClick(int32_t x, int32_t y);
    virtual bool OnMouseMove(int32_t x, int32_t y);
    virtual bool OnMouseWheel(int32_t x, int32_t y, int32_t delta);
    virtual bool OnKeyUp(uint32_t key);
    virtual bool OnKeyDown(uint32_t key);
    virtual bool OnNotify(KGUIElement* source, uint32_t message);
    virtual void OnMouseEnter();
    virtual void OnMouseExit();
    virtual void OnKeyboardEnter();
    virtual void OnKeyboardExit();
    virtual void OnLMouseDownOther(KGUIElement* other);
    // Called once the element and all its children exist.
    virtual void OnCreate();
    // Called when the element is about to go away; may come more than once.
    virtual void OnDestroy();
    // The script type that stands for this element, or none.
    virtual KSTypeDefinition* GetKSType();
    // The element's place among its parent's children (0 = rendered first), or -1.
    virtual int32_t GetStoragePosition() const;
    // The first descendant, depth first, with this exact name, or none.
    virtual KGUIElement* FindChild(const char* elementName);
    virtual void SetFocus();
    virtual void SetMouseOver(bool over);
    // The deepest visible element under the point (absolute coordinates), or none.
    virtual KGUIElement* FindMouseOver(int32_t x, int32_t y);
    virtual void MoveZUp();
    virtual void MoveZDown();
    virtual void MoveZTop();
    virtual void MoveZBottom();
#ifdef __MINGW32__
    virtual ~KGUIElement();
#endif

    // Takes `child` out of this element's children and destroys it (through its type's
    // factory when one is registered). Answers false, doing nothing, when `child` is not a
    // direct child of this element.
    bool DeleteChild(KGUIElement* child);
    // The first descendant, depth first, with this exact name that is of the given type.
    KGUIElement* FindUsableChild(const char* elementName, const char* typeName);
    // Whether `element` is this element or lies below it. Never dereferences `element`.
    bool Contains(const KGUIElement* element) const;

    const char* GetTypeName() const { return TypeName.c_str(); }
    const char* GetName() const { return Name.c_str(); }
    KGUIElement* GetParent() const { return Parent; }
    const std::vector<KGUIElement*>& GetChildren() const { return Children; }
    bool IsVisible() const { return Visible; }
    bool IsCreated() const { return Created; }
    bool HasFocus() const { return Focused; }
    bool IsMouseOver() const { return MouseOver; }
    int32_t GetX() const { return X; }
    int32_t GetY() const { return Y; }
    int32_t GetWidth() const { return Width; }
    int32_t GetHeight() const { return Height; }
    void SetPosition(int32_t x, int32_t y);
    void SetSize(int32_t width, int32_t height);

    // Elements alive in the process (made minus destroyed), for leak checks of the tree.
    static int64_t LiveElementCount();

private:
    void DetachChild(KGUIElement* child);
    void DestroyChildren();

    std::string TypeName;
    std::string Name;
    KGUIElement* Parent = nullptr;
    std::vector<KGUIElement*> Children;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    bool Visible = true;
    bool Created = false;
    bool Focused = false;
    bool MouseOver = false;
};
