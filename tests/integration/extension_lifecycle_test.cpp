// The real module, loaded as the host loads it: its exports, the start-up sequence and the
// shut-down sequence. The module keeps process-wide state (the extension object is made
// once), so every run loads it in a child process of its own and reports what happened
// through a pipe; the cases do not depend on each other or on their order.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "shell/extension.h"
#include "tests/support/client_test_support.h"
#include "tests/support/recording_host.h"

namespace {

using Lines = std::vector<std::string>;

// What a child reported: one line per item, "<kind> <text>".
struct ChildReport {
    bool ExitedCleanly = false;
    Lines Items;

    Lines Of(const std::string& kind) const
    {
        Lines found;
        for (const std::string& item : Items)
            if (item.compare(0, kind.size() + 1, kind + " ") == 0)
                found.push_back(item.substr(kind.size() + 1));
        return found;
    }
};

ChildReport RunInChild(const std::function<void(std::ostream&)>& body)
{
    ChildReport report;
    int fds[2];
    if (pipe(fds) != 0)
        return report;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::ostringstream out;
        body(out);
        FILE* pipeOut = fdopen(fds[1], "w");
        const bool written = pipeOut != nullptr && std::fputs(out.str().c_str(), pipeOut) >= 0;
        _exit(written && std::fclose(pipeOut) == 0 ? 0 : 3);
    }
    close(fds[1]);
    FILE* pipeIn = fdopen(fds[0], "r");
    char line[8192];
    while (pipeIn != nullptr && std::fgets(line, sizeof(line), pipeIn) != nullptr)
        report.Items.push_back(std::string(line, std::strcspn(line, "\n")));
    if (pipeIn != nullptr)
        std::fclose(pipeIn);
    int status = 0;
    waitpid(pid, &status, 0);
    report.ExitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    EXPECT_TRUE(report.ExitedCleanly) << "the child ended with status " << status;
    return report;
}

// The module as the host loads it, with its two creation functions.
struct Module {
    void* Handle = dlopen(HVE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    HVEInterface* (*Create)(uint32_t) = reinterpret_cast<HVEInterface* (*)(uint32_t)>(Symbol("CreateHVEInterface"));
    HVEInterface* (*CreateEx)(void*) = reinterpret_cast<HVEInterface* (*)(void*)>(Symbol("CreateHVEInterfaceEx"));

    void* Symbol(const char* name) const { return Handle != nullptr ? dlsym(Handle, name) : nullptr; }
    bool Loaded(std::ostream& out) const
    {
        if (Create == nullptr || CreateEx == nullptr)
            out << "error the module or its creation functions are missing\n";
        return Create != nullptr && CreateEx != nullptr;
    }
};

const char* Answer(const void* object) { return object != nullptr ? "object" : "none"; }

void ReportHost(std::ostream& out, const std::string& phase, const RecordingHost& host)
{
    for (const std::string& call : host.Calls())
        out << phase << ":call " << call << "\n";
    for (const std::string& line : host.Lines())
        out << phase << ":line " << line << "\n";
    for (const RecordedEvent& event : host.Events())
        out << phase << ":event " << FormatEvent(event) << "\n";
    out << phase << ":requests " << host.Requests().size() << "\n";
}

// Loads the module, creates the extension, starts it up with `host`, shuts it down and
// unloads the module, reporting what the host saw in each phase.
void StartAndStop(std::ostream& out, RecordingHost& host)
{
    Module module;
    HVEInterface* extension = nullptr;
    if (!module.Loaded(out) || (extension = module.Create(53)) == nullptr) {
        out << "error create\n";
        return;
    }
    out << "initialize " << (extension->Initialize(&host) ? "true" : "false") << "\n";
    ReportHost(out, "start", host);
    host.Clear();
    extension->Shutdown();
    ReportHost(out, "stop", host);
    out << "closed " << dlclose(module.Handle) << "\n";
}

template <typename Host>
ChildReport StartAndStopInChild()
{
    return RunInChild([](std::ostream& out) {
        Host host;
        StartAndStop(out, host);
    });
}

// Answers 0 for two of the services it is asked to connect.
class PartlyConnectingHost : public RecordingHost {
public:
    ServiceConnection ConnectService(void* client, const char* name, ServiceHandler handler) override
    {
        ServiceConnection connection = RecordingHost::ConnectService(client, name, handler);
        return std::strcmp(name, "Memory") == 0 || std::strcmp(name, "System") == 0 ? 0 : connection;
    }
};

TEST(ExtensionExports, CreateHVEInterfaceAnswersOnlyVersion53AndOnlyOnce)
{
    ChildReport report = RunInChild([](std::ostream& out) {
        Module module;
        if (!module.Loaded(out))
            return;
        auto data = [&](const char* name) { return *static_cast<const uint32_t*>(module.Symbol(name)); };
        out << "data " << data("HVEDK_Version") << " " << data("KGUI_Version") << "\n";
        out << "answer 52 " << Answer(module.Create(52)) << "\n";
        out << "answer 54 " << Answer(module.Create(54)) << "\n";
        HVEInterface* extension = module.Create(53);
        out << "answer 53 " << Answer(extension) << "\n";
        out << "answer 53 " << Answer(module.Create(53)) << "\n";
        out << "answer ex " << Answer(module.CreateEx(&module)) << "\n";
        if (extension != nullptr)
            out << "version " << extension->GetInterfaceVersion() << " unload " << extension->ConfirmUnload() << "\n";
    });
    EXPECT_EQ(report.Of("error"), Lines{});
    EXPECT_EQ(report.Of("data"), Lines{"53 18"});
    EXPECT_EQ(report.Of("answer"), (Lines{"52 none", "54 none", "53 object", "53 none", "ex none"}));
    EXPECT_EQ(report.Of("version"), Lines{"53 unload 1"});

    // CreateHVEInterfaceEx checks no version, and also answers only once.
    report = RunInChild([](std::ostream& out) {
        Module module;
        if (!module.Loaded(out))
            return;
        out << "answer ex " << Answer(module.CreateEx(nullptr)) << "\n";
        out << "answer ex " << Answer(module.CreateEx(&module)) << "\n";
        out << "answer 53 " << Answer(module.Create(53)) << "\n";
    });
    EXPECT_EQ(report.Of("answer"), (Lines{"ex object", "ex none", "53 none"}));
}

TEST(ExtensionLifecycle, StartUpRegistersEverythingInOrderAndWritesSettingsOnlyToASet)
{
    char resolved[PATH_MAX];
    ASSERT_NE(realpath(HVE_MODULE_PATH, resolved), nullptr);
    const std::string path = resolved;
    const std::string file = "Filename " + path.substr(path.rfind('/') + 1);
    const std::string directory = "Path " + path.substr(0, path.rfind('/'));
    Lines registrations;
    for (const char* type : {"string", "int", "int64", "uint", "bool", "float", "float64", "time", "byte", "intptr",
                             "boolptr", "floatptr", "byteptr"})
        registrations.push_back(std::string("FindType ") + type);
    for (const char* call : {"ConnectService Pulse", "ConnectService Memory", "ConnectService HTTP",
                             "ConnectService Triggers", "ConnectService System", "AddCommand OBSRemote yes no",
                             "RegisterType", "RegisterType", "RegisterType", "AddTopLevelObject OBSRemote",
                             "RegisterService OBSRemote Service"})
        registrations.push_back(call);
    for (uint32_t i = 0; i < ClientEventCount; ++i)
        registrations.push_back(std::string("RegisterEvent ") + ScriptEventName(static_cast<ClientEvent>(i)));

    // The settings set found, else the one created, else none: then nothing is written.
    for (const auto& [find, create, settings] : std::vector<std::tuple<SettingsSetId, SettingsSetId, Lines>>{
             {0, 7, {"FindExtensionSettings HVEOBSRemote", "CreateExtensionSettings HVEOBSRemote",
                     "SetSettingText 7 " + file, "SetSettingText 7 " + directory, "SetSettingText 7 Version 20140906"}},
             {5, 9, {"FindExtensionSettings HVEOBSRemote", "SetSettingText 5 " + file,
                     "SetSettingText 5 " + directory, "SetSettingText 5 Version 20140906"}},
             {0, 0, {"FindExtensionSettings HVEOBSRemote", "CreateExtensionSettings HVEOBSRemote"}}}) {
        ChildReport report = RunInChild([find = find, create = create](std::ostream& out) {
            RecordingHost host;
            host.FindSettingsAnswer = find;
            host.CreateSettingsAnswer = create;
            StartAndStop(out, host);
        });
        Lines expected = settings;
        expected.insert(expected.end(), registrations.begin(), registrations.end());
        EXPECT_EQ(report.Of("initialize"), Lines{"true"}) << testing::PrintToString(report.Of("error"));
        EXPECT_EQ(report.Of("start:call"), expected) << "find " << find << ", create " << create;
        EXPECT_EQ(report.Of("start:line"), Lines{"HVEOBSRemote version 20140906 Loaded"});
        EXPECT_EQ(report.Of("start:event"), Lines{"OBSRemote:StateChanged \"Disconnected\""});
        EXPECT_EQ(report.Of("start:requests"), Lines{"0"});
    }
}

TEST(ExtensionLifecycle, ShutDownWithdrawsOnlyWhatWasRegisteredAndTheModuleUnloads)
{
    // The recording host numbers its handles in order: connections 1 to 5, the service 6.
    const Lines withdrawals = {"ShutdownService 6", "RemoveTopLevelObject OBSRemote", "UnregisterType",
                               "UnregisterType", "UnregisterType", "RemoveCommand OBSRemote"};
    ChildReport report = StartAndStopInChild<RecordingHost>();
    Lines expected = {"DisconnectService 1", "DisconnectService 2", "DisconnectService 3", "DisconnectService 4",
                      "DisconnectService 5"};
    expected.insert(expected.end(), withdrawals.begin(), withdrawals.end());
    EXPECT_EQ(report.Of("stop:call"), expected);
    EXPECT_EQ(report.Of("stop:event"), Lines{});
    EXPECT_EQ(report.Of("stop:line"), Lines{});
    EXPECT_EQ(report.Of("closed"), Lines{"0"});

    // Services the host never connected are not disconnected.
    report = StartAndStopInChild<PartlyConnectingHost>();
    expected = {"DisconnectService 1", "DisconnectService 3", "DisconnectService 4"};
    expected.insert(expected.end(), withdrawals.begin(), withdrawals.end());
    EXPECT_EQ(report.Of("stop:call"), expected);
}

} // namespace
