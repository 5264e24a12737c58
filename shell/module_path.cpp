#include "shell/module_path.h"

#include <cstring>

#include "shell/module_state.h"

ModulePathParts SplitModulePath(const char* path, char separator)
{
    ModulePathParts parts;
    std::string whole = path != nullptr ? path : "";
    size_t cut = whole.rfind(separator);
    if (cut == std::string::npos) {
        parts.Directory = ".";
        parts.FileName = whole;
    } else {
        parts.Directory = whole.substr(0, cut);
        parts.FileName = whole.substr(cut + 1);
    }
    return parts;
}

namespace {

bool Fits(const std::string& text) { return text.size() < ModulePathCapacity; }

void Store(char (&buffer)[ModulePathCapacity], const std::string& text)
{
    std::memcpy(buffer, text.c_str(), text.size() + 1);
}

} // namespace

bool RecordModulePath(const char* path, char separator)
{
    std::string whole = path != nullptr ? path : "";
    ModulePathParts parts = SplitModulePath(whole.c_str(), separator);
    bool kept = Fits(whole) && Fits(parts.Directory) && Fits(parts.FileName);
    if (!kept) {
        whole.clear();
        parts.Directory = ".";
        parts.FileName.clear();
    }
    Store(g_Module.ModulePath, whole);
    Store(g_Module.ModuleDirectory, parts.Directory);
    Store(g_Module.ModuleFileName, parts.FileName);
    return kept;
}
