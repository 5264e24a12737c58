// The library's static objects, in one place so their order is fixed: the built-in
// element types exist before the manager and outlive it, so the manager's elements are
// destroyed through their factories.
#include "hvui/kgui_factory.h"
#include "hvui/kgui_frame.h"
#include "hvui/kgui_text.h"
#include "hvui/ui_manager.h"

namespace {

KGUIFactory<KGUIFrame> g_FrameFactory("frame", KGUIInterfaceVersion);
KGUIFactory<KGUIText> g_TextFactory("text", KGUIInterfaceVersion);

} // namespace

CUIManager g_UIManager;
