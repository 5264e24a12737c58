// The real module, loaded as the host loads it: its exports, the start-up sequence and the
// shut-down sequence. The module keeps process-wide state (the extension object is made
// once), so every case loads it in a child process of its own and reports what happened
// through a pipe; the cases do not depend on each other or on their order.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "shell/extension.h"
#include "tests/support/recording_host.h"

namespace {

// What a child reported: one line per item, "<kind> <text>".
struct ChildReport {
    bool ExitedCleanly = false;
    std::vector<std::string> Items;

    std::vector<std::string> Of(const std::string& kind) const
    {
        std::vector<std::string> found;
        for (const std::string& item : Items) {
            if (item.compare(0, kind.size() + 1, kind + " ") == 0) {
                found.push_back(item.substr(kind.size() + 1));
            }
        }
        return found;
    }
};

ChildReport RunInChild(const std::function<void(std::ostream&)>& body)
{
    ChildReport report;
    int fds[2];
    if (pipe(fds) != 0) {
        return report;
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::ostringstream out;
        body(out);
        std::string text = out.str();
        size_t written = 0;
        while (written < text.size()) {
            ssize_t n = write(fds[1], text.data() + written, text.size() - written);
            if (n <= 0) {
                _exit(3);
            }
            written += static_cast<size_t>(n);
        }
        close(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    report.ExitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        report.Items.push_back(line);
    }
    return report;
}

struct Module {
    void* Handle = nullptr;
    HVEInterface* (*Create)(uint32_t) = nullptr;
    HVEInterface* (*CreateEx)(void*) = nullptr;
    const uint32_t* DevelopmentKitVersion = nullptr;
    const uint32_t* GuiVersion = nullptr;

    bool Load(std::ostream& out)
    {
        Handle = dlopen(HVE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (Handle == nullptr) {
            out << "error dlopen " << dlerror() << "\n";
            return false;
        }
        Create = reinterpret_cast<HVEInterface* (*)(uint32_t)>(dlsym(Handle, "CreateHVEInterface"));
        CreateEx = reinterpret_cast<HVEInterface* (*)(void*)>(dlsym(Handle, "CreateHVEInterfaceEx"));
        DevelopmentKitVersion = static_cast<const uint32_t*>(dlsym(Handle, "HVEDK_Version"));
        GuiVersion = static_cast<const uint32_t*>(dlsym(Handle, "KGUI_Version"));
        if (Create == nullptr || CreateEx == nullptr || DevelopmentKitVersion == nullptr || GuiVersion == nullptr) {
            out << "error dlsym\n";
            return false;
        }
        return true;
    }
};

const char* Answer(const void* object) { return object != nullptr ? "object" : "none"; }

void ReportHost(std::ostream& out, const std::string& phase, const RecordingHost& host)
{
    for (const std::string& call : host.Calls()) {
        out << phase << ":call " << call << "\n";
    }
    for (const std::string& line : host.Lines()) {
        out << phase << ":line " << line << "\n";
    }
    for (const RecordedEvent& event : host.Events()) {
        out << phase << ":event " << event.Name;
        for (const std::string& arg : event.Args) {
            out << "|" << arg;
        }
        out << "\n";
    }
    for (const RecordedServiceRequest& request : host.Requests()) {
        out << phase << ":request " << request.Connection << " " << request.Request << "\n";
    }
}

// Loads the module, creates the extension, starts it up with `host` and shuts it down,
// reporting what the host saw in each phase.
void StartAndStop(std::ostream& out, RecordingHost& host)
{
    Module module;
    if (!module.Load(out)) {
        return;
    }
    HVEInterface* extension = module.Create(53);
    if (extension == nullptr) {
        out << "error create\n";
        return;
    }
    out << "initialize " << (extension->Initialize(&host) ? "true" : "false") << "\n";
    ReportHost(out, "start", host);
    host.Clear();
    extension->Shutdown();
    ReportHost(out, "stop", host);
}

std::vector<std::string> Without(std::vector<std::string> calls, const std::vector<std::string>& dropped)
{
    std::vector<std::string> kept;
    for (const std::string& call : calls) {
        bool drop = false;
        for (const std::string& d : dropped) {
            drop = drop || call == d;
        }
        if (!drop) {
            kept.push_back(call);
        }
    }
    return kept;
}

struct ModuleLocation {
    std::string Directory;
    std::string FileName;
};

ModuleLocation RealLocation()
{
    char resolved[PATH_MAX];
    EXPECT_NE(realpath(HVE_MODULE_PATH, resolved), nullptr);
    std::string path = resolved;
    size_t cut = path.rfind('/');
    return {path.substr(0, cut), path.substr(cut + 1)};
}

const std::vector<std::string> BuiltinTypeLookups = {
    "FindType string", "FindType int",      "FindType int64",    "FindType uint",    "FindType bool",
    "FindType float",  "FindType float64",  "FindType time",     "FindType byte",    "FindType intptr",
    "FindType boolptr", "FindType floatptr", "FindType byteptr",
};

const std::vector<std::string> EventRegistrations = {
    "RegisterEvent OBSRemote:StateChanged",      "RegisterEvent OBSRemote:Error",
    "RegisterEvent OBSRemote:AuthAccepted",      "RegisterEvent OBSRemote:AuthFailed",
    "RegisterEvent OBSRemote:VersionRsp",        "RegisterEvent OBSRemote:VolumesRsp",
    "RegisterEvent OBSRemote:AuthRequiredRsp",   "RegisterEvent OBSRemote:StreamStatusRsp",
    "RegisterEvent OBSRemote:SceneListRsp",      "RegisterEvent OBSRemote:CurrentSceneRsp",
    "RegisterEvent OBSRemote:StreamStarting",    "RegisterEvent OBSRemote:StreamStopping",
    "RegisterEvent OBSRemote:StreamStatus",      "RegisterEvent OBSRemote:SwitchScenes",
    "RegisterEvent OBSRemote:ScenesChanged",     "RegisterEvent OBSRemote:SourceOrderChanged",
    "RegisterEvent OBSRemote:RepopulateSources", "RegisterEvent OBSRemote:SourceChanged",
    "RegisterEvent OBSRemote:VolumeChanged",
};

TEST(ExtensionExports, CreateHVEInterfaceAnswersOnlyVersion53AndOnlyOnce)
{
    ChildReport report = RunInChild([](std::ostream& out) {
        Module module;
        if (!module.Load(out)) {
            return;
        }
        out << "data " << *module.DevelopmentKitVersion << " " << *module.GuiVersion << "\n";
        out << "answer 52 " << Answer(module.Create(52)) << "\n";
        out << "answer 54 " << Answer(module.Create(54)) << "\n";
        HVEInterface* extension = module.Create(53);
        out << "answer 53 " << Answer(extension) << "\n";
        out << "answer 53 " << Answer(module.Create(53)) << "\n";
        out << "answer ex " << Answer(module.CreateEx(&module)) << "\n";
        if (extension != nullptr) {
            out << "version " << extension->GetInterfaceVersion() << "\n";
            out << "unload " << (extension->ConfirmUnload() ? "true" : "false") << "\n";
        }
    });
    ASSERT_TRUE(report.ExitedCleanly);
    EXPECT_TRUE(report.Of("error").empty()) << report.Of("error")[0];
    EXPECT_EQ(report.Of("data"), std::vector<std::string>{"53 18"});
    EXPECT_EQ(report.Of("answer"),
              (std::vector<std::string>{"52 none", "54 none", "53 object", "53 none", "ex none"}));
    EXPECT_EQ(report.Of("version"), std::vector<std::string>{"53"});
    EXPECT_EQ(report.Of("unload"), std::vector<std::string>{"true"});
}

TEST(ExtensionExports, CreateHVEInterfaceExChecksNoVersionAndAlsoAnswersOnlyOnce)
{
    ChildReport report = RunInChild([](std::ostream& out) {
        Module module;
        if (!module.Load(out)) {
            return;
        }
        out << "answer ex " << Answer(module.CreateEx(nullptr)) << "\n";
        out << "answer ex " << Answer(module.CreateEx(&module)) << "\n";
        out << "answer 53 " << Answer(module.Create(53)) << "\n";
    });
    ASSERT_TRUE(report.ExitedCleanly);
    EXPECT_TRUE(report.Of("error").empty());
    EXPECT_EQ(report.Of("answer"), (std::vector<std::string>{"ex object", "ex none", "53 none"}));
}

TEST(ExtensionLifecycle, StartUpRegistersEverythingInOrderAndAnnouncesItself)
{
    ChildReport report = RunInChild([](std::ostream& out) {
        RecordingHost host;
        host.FindSettingsAnswer = 0;
        host.CreateSettingsAnswer = 7;
        StartAndStop(out, host);
    });
    ASSERT_TRUE(report.ExitedCleanly);
    ASSERT_TRUE(report.Of("error").empty()) << report.Of("error")[0];
    EXPECT_EQ(report.Of("initialize"), std::vector<std::string>{"true"});

    ModuleLocation location = RealLocation();
    std::vector<std::string> calls = report.Of("start:call");
    std::vector<std::string> expected = {"FindExtensionSettings HVEOBSRemote", "CreateExtensionSettings HVEOBSRemote",
                                         "SetSettingText 7 Filename " + location.FileName,
                                         "SetSettingText 7 Path " + location.Directory,
                                         "SetSettingText 7 Version 20140906"};
    expected.insert(expected.end(), BuiltinTypeLookups.begin(), BuiltinTypeLookups.end());
    for (const char* call : {"ConnectService Pulse", "ConnectService Memory", "ConnectService HTTP",
                             "ConnectService Triggers", "ConnectService System", "AddCommand OBSRemote yes no",
                             "AddTopLevelObject OBSRemote", "RegisterService OBSRemote Service"}) {
        expected.push_back(call);
    }
    expected.insert(expected.end(), EventRegistrations.begin(), EventRegistrations.end());
    EXPECT_EQ(Without(calls, {"RegisterType"}), expected);

    // The three types are registered between the command and the top-level object.
    size_t command = 0, topLevel = 0, types = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        command = calls[i] == "AddCommand OBSRemote yes no" ? i : command;
        topLevel = calls[i] == "AddTopLevelObject OBSRemote" ? i : topLevel;
        if (calls[i] == "RegisterType") {
            ++types;
            EXPECT_GT(i, command);
            EXPECT_EQ(topLevel, 0u);
        }
    }
    EXPECT_EQ(types, 3u);

    EXPECT_EQ(report.Of("start:line"), std::vector<std::string>{"HVEOBSRemote version 20140906 Loaded"});
    EXPECT_EQ(report.Of("start:event"), std::vector<std::string>{"OBSRemote:StateChanged|Disconnected"});
    EXPECT_TRUE(report.Of("start:request").empty());
}

TEST(ExtensionLifecycle, FoundSettingsAreWrittenWithoutCreatingNewOnes)
{
    ChildReport report = RunInChild([](std::ostream& out) {
        RecordingHost host;
        host.FindSettingsAnswer = 5;
        host.CreateSettingsAnswer = 9;
        StartAndStop(out, host);
    });
    ASSERT_TRUE(report.ExitedCleanly);
    ModuleLocation location = RealLocation();
    std::vector<std::string> calls = report.Of("start:call");
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 4),
              (std::vector<std::string>{"FindExtensionSettings HVEOBSRemote",
                                        "SetSettingText 5 Filename " + location.FileName,
                                        "SetSettingText 5 Path " + location.Directory,
                                        "SetSettingText 5 Version 20140906"}));
}

TEST(ExtensionLifecycle, WithoutASettingsSetNothingIsWrittenAndStartUpCompletes)
{
    ChildReport report = RunInChild([](std::ostream& out) {
        RecordingHost host;
        host.FindSettingsAnswer = 0;
        host.CreateSettingsAnswer = 0;
        StartAndStop(out, host);
    });
    ASSERT_TRUE(report.ExitedCleanly);
    EXPECT_EQ(report.Of("initialize"), std::vector<std::string>{"true"});
    std::vector<std::string> calls = report.Of("start:call");
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "FindExtensionSettings HVEOBSRemote");
    EXPECT_EQ(calls[1], "CreateExtensionSettings HVEOBSRemote");
    for (const std::string& call : calls) {
        EXPECT_NE(call.rfind("SetSettingText", 0), 0u) << call;
    }
    EXPECT_EQ(report.Of("start:line"), std::vector<std::string>{"HVEOBSRemote version 20140906 Loaded"});
    EXPECT_EQ(report.Of("start:event"), std::vector<std::string>{"OBSRemote:StateChanged|Disconnected"});
}

TEST(ExtensionLifecycle, ShutDownWithdrawsTheRegistrationsInOrderAndRaisesNothing)
{
    ChildReport report = RunInChild([](std::ostream& out) {
        RecordingHost host;
        StartAndStop(out, host);
    });
    ASSERT_TRUE(report.ExitedCleanly);
    // The recording host numbers its handles in order: connections 1 to 5, the service 6.
    EXPECT_EQ(Without(report.Of("stop:call"), {"UnregisterType"}),
              (std::vector<std::string>{"DisconnectService 1", "DisconnectService 2", "DisconnectService 3",
                                        "DisconnectService 4", "DisconnectService 5", "ShutdownService 6",
                                        "RemoveTopLevelObject OBSRemote", "RemoveCommand OBSRemote"}));
    std::vector<std::string> calls = report.Of("stop:call");
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "UnregisterType");
    EXPECT_TRUE(report.Of("stop:event").empty());
    EXPECT_TRUE(report.Of("stop:line").empty());
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

TEST(ExtensionLifecycle, ShutDownSkipsServicesThatWereNeverConnected)
{
    ChildReport report = RunInChild([](std::ostream& out) {
        PartlyConnectingHost host;
        StartAndStop(out, host);
    });
    ASSERT_TRUE(report.ExitedCleanly);
    std::vector<std::string> calls = report.Of("stop:call");
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 4),
              (std::vector<std::string>{"DisconnectService 1", "DisconnectService 3", "DisconnectService 4",
                                        "ShutdownService 6"}));
}

TEST(ExtensionLifecycle, UnloadingAfterShutDownEndsCleanly)
{
    ChildReport report = RunInChild([](std::ostream& out) {
        RecordingHost host;
        Module module;
        if (!module.Load(out)) {
            return;
        }
        HVEInterface* extension = module.CreateEx(nullptr);
        extension->Initialize(&host);
        extension->Shutdown();
        out << "closed " << dlclose(module.Handle) << "\n";
    });
    EXPECT_TRUE(report.ExitedCleanly);
    EXPECT_EQ(report.Of("closed"), std::vector<std::string>{"0"});
}

} // namespace
