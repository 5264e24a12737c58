// Texts handed to the host as a "string" value must stay unchanged until the host has copied
// them, while the worker thread may rename, replace or delete the model text they came from.
// The types therefore hand out a copy kept in a small ring of slots. The host copies a
// member's text before it calls into a type again, so a slot is only reused after
// HostTextSlots further texts have been handed out.
//
// The ring is a plain module-wide object rather than per-thread storage: a thread-local
// object with a destructor pins the module in the process, so it could never be unloaded.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t HostTextSlots = 16;

// Keeps a copy of `text` in the next slot and answers its address.
const char* HoldTextForHost(const std::string& text);
