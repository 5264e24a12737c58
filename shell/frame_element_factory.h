// The factory that makes "obsremoteframe" known to the GUI library. Its one instance is
// held by a static object of the module: built at load (registering the type), destroyed
// at unload (destroying every frame still alive, then withdrawing the type).
#pragma once

#include <optional>

#include "hvui/kgui_factory.h"
#include "shell/frame_element.h"

template <>
class KGUIFactory<KGUIOBSRemoteFrame> final : public KGUIElementFactory {
public:
    KGUIFactory();
    ~KGUIFactory();

    KGUIElement* CreateElement(KGUIElement* parent, const char* elementName) override;
    KGUIElement* CreateElementFromXML(KGUIElement* parent, const char* elementName, const XMLNode& node,
                                      const char* templateName) override;
};

// The element type as the module offers it: at load it binds to the GUI library and, if
// that succeeds, builds the factory; without a usable library the module works on without
// the element.
class FrameElementType {
public:
    FrameElementType();
    ~FrameElementType();
    FrameElementType(const FrameElementType&) = delete;
    FrameElementType& operator=(const FrameElementType&) = delete;

    // Null while the type is offered; otherwise why it is not.
    const char* NotOfferedReason() const { return Reason; }

private:
    std::optional<KGUIFactory<KGUIOBSRemoteFrame>> Factory;
    const char* Reason = nullptr;
};

extern FrameElementType g_FrameElementType;
