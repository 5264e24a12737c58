// Run-time binding of the GUI library on Windows. The element's code is compiled against
// the SDK headers like any other; every GUI library name it uses is defined here instead
// of being imported: a data slot __imp_<name> (what code compiled for an imported name
// reads) and, for functions, a jump through that slot under the plain name (what vtables
// and direct calls use). Binding fills the slots from the library's own export table.
// The linker refuses the module if the element ever uses a name missing from this list.
//
// The names are those of the Itanium C++ ABI that MinGW's g++ uses: a library exporting
// them was built with that ABI, so its object layouts, vtables and type information are
// the ones the element is compiled for. An MSVC-built library exports MSVC-decorated
// names instead and is left alone: the element's layout could not be checked against it.
#include "shell/gui_binding.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstddef>

// clang-format off
#define HVE_GUI_FUNCTIONS(X) \
    X(_ZN11KGUIElement10OnLMouseUpEii) \
    X(_ZN11KGUIElement10OnRMouseUpEii) \
    X(_ZN11KGUIElement11DeleteChildEPS_) \
    X(_ZN11KGUIElement11FontFromXMLERK7XMLNodeS2_) \
    X(_ZN11KGUIElement11MoveZBottomEv) \
    X(_ZN11KGUIElement11OnMouseExitEv) \
    X(_ZN11KGUIElement11OnMouseMoveEii) \
    X(_ZN11KGUIElement12OnLMouseDownEii) \
    X(_ZN11KGUIElement12OnMouseEnterEv) \
    X(_ZN11KGUIElement12OnMouseWheelEiii) \
    X(_ZN11KGUIElement12OnRMouseDownEii) \
    X(_ZN11KGUIElement12SetMouseOverEb) \
    X(_ZN11KGUIElement13FindMouseOverEii) \
    X(_ZN11KGUIElement14OnKeyboardExitEv) \
    X(_ZN11KGUIElement14RenderChildrenEv) \
    X(_ZN11KGUIElement14TextureFromXMLERK7XMLNodeS2_) \
    X(_ZN11KGUIElement15FindUsableChildEPKcS1_) \
    X(_ZN11KGUIElement15OnKeyboardEnterEv) \
    X(_ZN11KGUIElement15RecalculateSizeEv) \
    X(_ZN11KGUIElement16FixedFontFromXMLERK7XMLNodeS2_) \
    X(_ZN11KGUIElement16SizeRecalculatedEv) \
    X(_ZN11KGUIElement17OnLMouseDownOtherEPS_) \
    X(_ZN11KGUIElement19OnLMouseDoubleClickEii) \
    X(_ZN11KGUIElement19OnRMouseDoubleClickEii) \
    X(_ZN11KGUIElement21EmbeddedScriptFromXMLERK7XMLNodeS2_) \
    X(_ZN11KGUIElement23RecalculateChildrenSizeEv) \
    X(_ZN11KGUIElement4ShowEb) \
    X(_ZN11KGUIElement6CenterEv) \
    X(_ZN11KGUIElement7MoveZUpEv) \
    X(_ZN11KGUIElement7OnKeyUpEj) \
    X(_ZN11KGUIElement8MoveZTopEv) \
    X(_ZN11KGUIElement8OnCreateEv) \
    X(_ZN11KGUIElement8OnNotifyEPS_j) \
    X(_ZN11KGUIElement8SetFocusEv) \
    X(_ZN11KGUIElement9FindChildEPKc) \
    X(_ZN11KGUIElement9GetKSTypeEv) \
    X(_ZN11KGUIElement9MoveZDownEv) \
    X(_ZN11KGUIElement9OnDestroyEv) \
    X(_ZN11KGUIElement9OnKeyDownEj) \
    X(_ZN18KGUIElementFactory10UnregisterEv) \
    X(_ZN18KGUIElementFactory8RegisterEPKcj) \
    X(_ZN8KGUIText7SetTextEPKc) \
    X(_ZN9KGUIFrame6RenderEv) \
    X(_ZN9KGUIFrame7FromXMLERK7XMLNodeS2_) \
    X(_ZN9KGUIFrameC2EPKcP11KGUIElementS1_) \
    X(_ZN9KGUIFrameD2Ev) \
    X(_ZN9XMLHelper18GetStringAttributeERK7XMLNodePKcS4_) \
    X(_ZNK10CUIManager12FindTemplateEPKc) \
    X(_ZNK11KGUIElement18GetStoragePositionEv) \
    X(_ZNK9KGUIFrame8IsTypeOfEPKc) \

#define HVE_GUI_DATA(X) \
    X(g_UIManager) \
    X(_ZTV18KGUIElementFactory) \

// clang-format on

// Data slots, filled by BindGuiLibrary.
#define HVE_GUI_SLOT(name) extern "C" void* __imp_##name;
#define HVE_GUI_SLOT_DEFINITION(name) void* __imp_##name = nullptr;
HVE_GUI_FUNCTIONS(HVE_GUI_SLOT)
HVE_GUI_DATA(HVE_GUI_SLOT)
HVE_GUI_FUNCTIONS(HVE_GUI_SLOT_DEFINITION)
HVE_GUI_DATA(HVE_GUI_SLOT_DEFINITION)

// Function entries: one indirect jump each, like the thunks of an import library.
#define HVE_GUI_THUNK(name)                                                                                         \
    asm(".text\n\t.globl " #name "\n\t.def " #name "; .scl 2; .type 32; .endef\n\t.p2align 4\n" #name                \
        ":\n\tjmp *__imp_" #name "(%rip)\n");
HVE_GUI_FUNCTIONS(HVE_GUI_THUNK)

namespace {

struct GuiEntryPoint {
    const char* Name;
    void** Slot;
};

#define HVE_GUI_ENTRY(name) {#name, &__imp_##name},
const GuiEntryPoint g_EntryPoints[] = {HVE_GUI_FUNCTIONS(HVE_GUI_ENTRY) HVE_GUI_DATA(HVE_GUI_ENTRY)};

// The stand-in's file name first, then the host's own.
const char* const g_LibraryNames[] = {"libhvui.dll", "HVUI.dll"};

void ClearSlots()
{
    for (const GuiEntryPoint& entry : g_EntryPoints) {
        *entry.Slot = nullptr;
    }
}

} // namespace

const char* BindGuiLibrary()
{
    HMODULE library = nullptr;
    for (const char* name : g_LibraryNames) {
        library = GetModuleHandleA(name);
        if (library != nullptr) {
            break;
        }
    }
    if (library == nullptr) {
        return "no GUI library loaded in the host";
    }
    for (const GuiEntryPoint& entry : g_EntryPoints) {
        FARPROC address = GetProcAddress(library, entry.Name);
        if (address == nullptr) {
            ClearSlots();
            return "the GUI library does not offer the element's entry points";
        }
        *entry.Slot = reinterpret_cast<void*>(address);
    }
    return nullptr;
}
