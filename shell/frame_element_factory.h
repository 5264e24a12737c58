// The factory that makes "obsremoteframe" known to the GUI library. Its one instance is a
// static object of the module: built at load (registering the type), destroyed at unload
// (destroying every frame still alive, then withdrawing the type).
#pragma once

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

extern KGUIFactory<KGUIOBSRemoteFrame> g_FrameElementFactory;
