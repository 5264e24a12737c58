// The GUI library is linked into this program: nothing to bind.
#include "shell/gui_binding.h"

const char* BindGuiLibrary() { return nullptr; }
