// havenhost: the Haven host stand-in as a program. It loads one extension module, runs
// console lines from a script or from standard input, then shuts the module down.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/haven/host_options.h"
#include "platform/haven/line_reader.h"

#if __has_include("platform/haven/gui_commands.h")
#include "platform/haven/gui_commands.h"
#define HAVEN_HAS_GUI_COMMANDS 1
#endif

namespace {

constexpr int ExitOk = 0;
constexpr int ExitLineFailed = 1;
constexpr int ExitCannotStart = 2;

std::string ProgramPath(const char* argv0)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(argv0 != nullptr ? argv0 : "") : self.string();
}

} // namespace

int main(int argc, char** argv)
{
    haven::ProgramOptions options;
    std::string error;
    if (!haven::ParseProgramOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "havenhost: %s\n%s", error.c_str(), haven::ProgramUsage().c_str());
        return ExitCannotStart;
    }
    if (options.ShowHelp) {
        std::fputs(haven::ProgramUsage().c_str(), stdout);
        return ExitOk;
    }
    std::unique_ptr<haven::LineReader> reader;
    if (!options.ScriptPath.empty()) {
        reader = haven::OpenScriptReader(options.ScriptPath, error);
        if (!reader) {
            std::fprintf(stderr, "havenhost: %s\n", error.c_str());
            return ExitCannotStart;
        }
    } else {
        reader = haven::OpenStandardInputReader();
    }
    const std::string module =
        options.ModulePath.empty() ? haven::DefaultModulePath(ProgramPath(argc > 0 ? argv[0] : nullptr))
                                   : options.ModulePath;

#ifdef HAVEN_HAS_GUI_COMMANDS
    RegisterGuiCommands();
#endif

    haven::HavenHost host(options.Host);
    if (!host.LoadModule(module)) {
        return ExitCannotStart;
    }
    const bool interactive = reader->Interactive();
    size_t failed = 0;
    std::string line;
    size_t shownLines = host.Output().Count();
    const auto idle = [&host, &shownLines] {
        host.DeliverPulse();
        const size_t now = host.Output().Count();
        const bool printed = now != shownLines;
        shownLines = now;
        return printed;
    };
    while (reader->Next(line, idle, host.Options().PulseInterval)) {
        if (!interactive) {
            host.Print("> " + line);
        }
        const haven::LineResult result = host.RunLine(line);
        if (!result.Ok) {
            ++failed;
            if (options.StopOnError && !interactive) {
                host.Print("host: stopping at the first failed line");
                break;
            }
        }
        if (result.Quit) {
            break;
        }
        shownLines = host.Output().Count();
    }
    host.Unload();
    if (interactive || failed == 0) {
        return ExitOk;
    }
    host.Print("host: " + std::to_string(failed) + " line(s) failed");
    return ExitLineFailed;
}
