// Handlers for the five host services the extension connects to. The extension does no
// work on a pulse or on any other notification: results of the worker thread reach the
// host directly, and the HTTP service's answers to the stream announcement are not needed.
#pragma once

#include <cstdint>

void PulseServiceHandler(void* client, uint32_t message, void* record);
void MemoryServiceHandler(void* client, uint32_t message, void* record);
void HttpServiceHandler(void* client, uint32_t message, void* record);
void TriggersServiceHandler(void* client, uint32_t message, void* record);
void SystemServiceHandler(void* client, uint32_t message, void* record);
