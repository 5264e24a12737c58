#include "shell/module_state.h"

ModuleState g_Module = {};
