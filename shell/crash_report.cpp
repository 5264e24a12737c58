#include "shell/crash_report.h"

#include <cstdarg>
#include <cstdio>

#include "shell/module_state.h"

void ReportCrash(void* exceptionInformation, const char* format, ...)
{
    HostInterface* host = g_Module.Host;
    if (host == nullptr || format == nullptr) {
        return;
    }
    char description[4096];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(description, sizeof description, format, args);
    va_end(args);
    // A description that does not fit is sent as its unformatted template, never cut short.
    const char* text = (length >= 0 && static_cast<size_t>(length) < sizeof description) ? description : format;
    CrashReport report = {exceptionInformation, text};
    host->ServiceRequest(g_Module.Identity, g_Module.SystemConnection, SystemCrashReport, &report);
}
