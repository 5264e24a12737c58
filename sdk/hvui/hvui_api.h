// Export marker of the HVUI GUI library. The library itself is built with HVUI_BUILDING
// defined; the host and extensions see its classes as imports.
#pragma once

#if defined(_WIN32)
#if defined(HVUI_BUILDING)
#define HVUI_API __declspec(dllexport)
#else
#define HVUI_API __declspec(dllimport)
#endif
#else
#define HVUI_API __attribute__((visibility("default")))
#endif
