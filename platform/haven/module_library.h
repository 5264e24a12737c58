// A dynamic library opened by path, with its exports looked up by name. The platform file
// (module_library_posix.cpp or module_library_windows.cpp) holds the system calls.
#pragma once

#include <string>

namespace haven {

class ModuleLibrary {
public:
    ModuleLibrary() = default;
    ~ModuleLibrary() { Close(); }
    ModuleLibrary(const ModuleLibrary&) = delete;
    ModuleLibrary& operator=(const ModuleLibrary&) = delete;

    // False with `error` filled when the library cannot be loaded.
    bool Open(const std::string& path, std::string& error);
    // The address of an export, or none.
    void* Symbol(const char* name) const;
    void Close();
    bool IsOpen() const { return Handle != nullptr; }

private:
    void* Handle = nullptr;
};

} // namespace haven
