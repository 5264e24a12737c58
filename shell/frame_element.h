// The element type "obsremoteframe" that the extension adds to the host's GUI library: a
// frame that shows, in its child text "Output", how many times it has been rendered.
#pragma once

#include <cstdint>

#include "hvui/kgui_frame.h"
#include "hvui/kgui_text.h"

constexpr const char* kOBSRemoteFrameType = "obsremoteframe";

class KGUIOBSRemoteFrame : public KGUIFrame {
public:
    KGUIOBSRemoteFrame(const char* typeName, KGUIElement* parent, const char* elementName);
    ~KGUIOBSRemoteFrame() override;

    // Without a template from the caller, the node's "Template" is used, and when no
    // template has that name, the one named "obsremoteframe".
    bool FromXML(const XMLNode& node, const XMLNode& tmpl) override;
    bool IsTypeOf(const char* typeName) const override;
    void Render() override;
    void OnCreate() override;

    KGUIText* OutputText = nullptr; // the child "Output" of type "text", found at OnCreate
    int32_t RenderCount = 0;
};
