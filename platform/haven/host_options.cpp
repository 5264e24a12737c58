#include "platform/haven/host_options.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace haven {

namespace {

#ifdef _WIN32
constexpr const char* ModuleFileName = "HVEOBSRemote.dll";
#else
constexpr const char* ModuleFileName = "HVEOBSRemote.so";
#endif

bool ReadMilliseconds(const std::string& text, long long& value)
{
    errno = 0;
    char* end = nullptr;
    const long long read = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || end == nullptr || *end != '\0' || read < 0 || read > 24LL * 3600 * 1000) {
        return false;
    }
    value = read;
    return true;
}

} // namespace

std::string ProgramUsage()
{
    return "usage: havenhost [options]\n"
           "Loads an extension module into a stand-in of the Haven host and runs console lines\n"
           "(from --script FILE, else from standard input; type help for the console's commands).\n"
           "\n"
           "  --module PATH           the extension module (default: HVEOBSRemote next to this\n"
           "                          program, else the one of the build tree)\n"
           "  --root DIR              the host's root folder; settings files are read below it\n"
           "                          (default: the current folder)\n"
           "  --settings DIR          where extension settings are kept (default: <root>/Settings)\n"
           "  --http-log FILE         append every HTTP request's URL to FILE, one per line\n"
           "  --script FILE           run the lines of FILE, then shut down and end\n"
           "  --stop-on-error         end a script run at its first failed line\n"
           "  --timeout-default MS    how long wait waits without a time-out of its own (5000)\n"
           "  --help                  this text\n"
           "\n"
           "The exit code is 0 when every line worked, 1 when a line failed, 2 when the module\n"
           "could not be loaded or the command line is wrong.\n";
}

bool ParseProgramOptions(int argc, const char* const* argv, ProgramOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            options.ShowHelp = true;
            continue;
        }
        if (option == "--stop-on-error") {
            options.StopOnError = true;
            continue;
        }
        const bool takesValue = option == "--module" || option == "--root" || option == "--settings" ||
                                option == "--http-log" || option == "--script" || option == "--timeout-default";
        if (!takesValue) {
            error = "unknown option " + option;
            return false;
        }
        if (i + 1 >= argc) {
            error = option + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (option == "--module") {
            options.ModulePath = value;
        } else if (option == "--root") {
            options.Host.Root = value;
        } else if (option == "--settings") {
            options.Host.SettingsFolder = value;
        } else if (option == "--http-log") {
            options.Host.HttpLog = value;
        } else if (option == "--script") {
            options.ScriptPath = value;
        } else {
            long long ms = 0;
            if (!ReadMilliseconds(value, ms)) {
                error = "--timeout-default needs milliseconds, not " + value;
                return false;
            }
            options.Host.DefaultTimeout = std::chrono::milliseconds(ms);
        }
    }
    return true;
}

std::string DefaultModulePath(const std::string& programPath)
{
    std::error_code error;
    const std::filesystem::path program(programPath);
    const std::filesystem::path beside = program.parent_path() / ModuleFileName;
    if (!program.parent_path().empty() && std::filesystem::exists(beside, error)) {
        return beside.string();
    }
#ifdef HVE_BUILD_TREE_MODULE
    if (std::filesystem::exists(HVE_BUILD_TREE_MODULE, error)) {
        return HVE_BUILD_TREE_MODULE;
    }
#endif
    return ModuleFileName;
}

} // namespace haven
