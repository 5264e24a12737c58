// Splitting the module's own path into the directory and the file name that the extension
// writes to its settings at start-up.
#pragma once

#include <string>

struct ModulePathParts {
    std::string Directory; // everything before the last separator, or "." when there is none
    std::string FileName;  // everything after it, or the whole path when there is none
};

// The separator is a parameter so that both the Windows ('\\') and the POSIX ('/') rule
// can be exercised on any machine. A null path counts as empty.
ModulePathParts SplitModulePath(const char* path, char separator);

// Keeps the path, its file name and its directory in the module state. A path whose parts
// do not fit the fixed buffers is not kept at all (file name empty, directory "."), never
// kept cut short. Answers whether the path was kept.
bool RecordModulePath(const char* path, char separator);
