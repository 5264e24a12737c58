// The crash report of the extension's start-up: sent to the host's "System" service.
#pragma once

#if defined(__GNUC__)
#define HVE_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define HVE_PRINTF_FORMAT(f, a)
#endif

// Formats the description by the printf rules into a 4096-byte buffer and sends
// ServiceRequest (extension object, System connection, 1002, CrashReport) to the host.
void ReportCrash(void* exceptionInformation, const char* format, ...) HVE_PRINTF_FORMAT(2, 3);
