#include "shell/service_handlers.h"

void PulseServiceHandler(void*, uint32_t, void*) {}
void MemoryServiceHandler(void*, uint32_t, void*) {}
void HttpServiceHandler(void*, uint32_t, void*) {}
void TriggersServiceHandler(void*, uint32_t, void*) {}
void SystemServiceHandler(void*, uint32_t, void*) {}
