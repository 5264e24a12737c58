// The module's tie to the host's GUI library, which the "obsremoteframe" element needs.
// Where the library is linked in (POSIX builds, test programs) the tie always holds. The
// Windows module imports no GUI library at load time: it binds to one already loaded in
// the host process when the module loads, and only if that library offers every entry
// point the element calls, under the names of the C++ ABI the element is compiled for.
#pragma once

// Binds to the GUI library. Answers null when the element can be offered, otherwise a
// short text saying why not (for the one console line that reports it).
const char* BindGuiLibrary();
