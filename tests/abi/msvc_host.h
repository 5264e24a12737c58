// The entry of the MSVC-ABI host (msvc_host.cpp), called from a MinGW-built main.
#pragma once

enum class MsvcHostMode : int {
    Drive = 0,             // load, initialise, read, call, connect, shut down, unload
    ThrowInInitialize = 1, // a host call inside Initialize throws an MSVC C++ exception
};

extern "C" int MsvcHostRun(const char* modulePath, MsvcHostMode mode, int quiet);
