#include "shell/frame_element_factory.h"

#include <algorithm>

#include "shell/gui_binding.h"

namespace {

// The element interface version; the module exports the same value as KGUI_Version.
constexpr uint32_t kFrameElementVersion = 18;

class FrameDeleter final : public KGUIElementDeleter {
public:
    void DeleteElement(KGUIElement* element) override
    {
        element->OnDestroy();
        delete element;
    }
};

} // namespace

KGUIFactory<KGUIOBSRemoteFrame>::KGUIFactory()
{
    Register(kOBSRemoteFrameType, kFrameElementVersion);
    Deleter = new FrameDeleter;
}

// Frames still alive at unload would outlive the code behind them, so each is taken out of
// the tree first.
KGUIFactory<KGUIOBSRemoteFrame>::~KGUIFactory()
{
    if (!ElementType.empty()) {
        // Each round looks for the first live entry afresh: removing a frame also removes
        // any frames below it, and with them their entries.
        for (;;) {
            auto live = std::find_if(Elements.begin(), Elements.end(),
                                     [](const auto& entry) { return entry.second != 0; });
            if (live == Elements.end()) {
                break;
            }
            KGUIElement* element = live->first;
            live->second = 0;
            element->OnDestroy();
            if (KGUIElement* parent = element->GetParent()) {
                parent->DeleteChild(element);
            }
        }
    }
    Unregister();
    delete static_cast<FrameDeleter*>(Deleter);
    Deleter = nullptr;
    Elements.clear();
}

KGUIElement* KGUIFactory<KGUIOBSRemoteFrame>::CreateElement(KGUIElement* parent, const char* elementName)
{
    auto* frame = new KGUIOBSRemoteFrame(ElementType.c_str(), parent, elementName);
    Elements[frame] = 1;
    return frame;
}

// A frame is recorded only once it has accepted its node, so a rejected one never leaves
// an entry behind, with or without a parent.
KGUIElement* KGUIFactory<KGUIOBSRemoteFrame>::CreateElementFromXML(KGUIElement* parent, const char* elementName,
                                                                   const XMLNode& node, const char* templateName)
{
    auto* frame = new KGUIOBSRemoteFrame(ElementType.c_str(), parent, elementName);
    if (!frame->FromXML(node, g_UIManager.FindTemplate(templateName))) {
        if (parent) {
            parent->DeleteChild(frame);
        } else {
            Deleter->DeleteElement(frame);
        }
        return nullptr;
    }
    Elements[frame] = 1;
    return frame;
}

FrameElementType::FrameElementType() : Reason(BindGuiLibrary())
{
    if (Reason == nullptr) {
        Factory.emplace();
    }
}

FrameElementType::~FrameElementType() { Factory.reset(); }
