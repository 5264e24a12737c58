// The host stand-in with a small test module loaded in-process: module checks, events,
// console lines from several threads, services, the console language and its errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/haven/haven_host.h"

namespace {

namespace fs = std::filesystem;
using haven::HavenHost;
using haven::HostOptions;
using haven::LineResult;

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "haven-host-XXXXXX").string();
        Path = mkdtemp(pattern.data());
    }
    ~TempFolder()
    {
        std::error_code error;
        fs::remove_all(Path, error);
    }
    fs::path Path;
};

HostOptions OptionsFor(const fs::path& root)
{
    HostOptions options;
    options.Root = root;
    options.HttpLog = root / "http.log";
    options.EchoToStdout = false;
    options.DefaultTimeout = std::chrono::seconds(10);
    return options;
}

size_t CountLines(const std::vector<std::string>& lines, const std::string& wanted)
{
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), wanted));
}

bool HasLine(const std::vector<std::string>& lines, const std::string& wanted)
{
    return CountLines(lines, wanted) > 0;
}

// "chatter A|B <number> <200 dots> end", as the test module prints it.
bool IsWholeChatterLine(const std::string& line)
{
    const std::string head = line.substr(0, 10);
    if (head != "chatter A " && head != "chatter B ") {
        return false;
    }
    size_t pos = 10;
    const size_t digits = pos;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
        ++pos;
    }
    return pos > digits && line.substr(pos) == " " + std::string(200, '.') + " end";
}

std::vector<std::string> ReadLines(const fs::path& path)
{
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

class HavenHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Host = std::make_unique<HavenHost>(OptionsFor(Root.Path));
        ASSERT_TRUE(Host->LoadModule(HAVEN_FAKE_MODULE_PATH));
    }

    // Runs a line that must work and answers its output.
    std::vector<std::string> Ok(const std::string& line)
    {
        const LineResult result = Host->RunLine(line);
        EXPECT_TRUE(result.Ok) << line;
        return result.Output;
    }

    // Runs a line that must fail with exactly one line of output, and answers that line.
    std::string Error(const std::string& line)
    {
        const LineResult result = Host->RunLine(line);
        EXPECT_FALSE(result.Ok) << line;
        EXPECT_EQ(result.Output.size(), 1u) << line;
        return result.Output.empty() ? "" : result.Output.front();
    }

    int64_t Number(const std::string& expression)
    {
        const std::vector<std::string> output = Ok(expression);
        const std::string prefix = expression + " = ";
        if (output.size() != 1 || output[0].rfind(prefix, 0) != 0) {
            ADD_FAILURE() << expression;
            return -1;
        }
        return std::atoll(output[0].c_str() + prefix.size());
    }

    TempFolder Root;
    std::unique_ptr<HavenHost> Host;
};

TEST(HavenModuleLoading, RefusesMissingFilesAndOtherDevelopmentKitVersions)
{
    TempFolder root;
    HavenHost host(OptionsFor(root.Path));
    EXPECT_FALSE(host.LoadModule((root.Path / "absent.so").string()));
    EXPECT_FALSE(host.LoadModule(HAVEN_FAKE_MODULE_V52_PATH));
    EXPECT_FALSE(host.IsLoaded());
    const std::vector<std::string> lines = host.ConsoleLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[1].find("HVEDK version 52; this host needs 53"), std::string::npos) << lines[1];
    // The refused module never ran: it registered nothing.
    EXPECT_TRUE(host.Scripts().TopLevelNames().empty());
    EXPECT_FALSE(host.EventTable().IsRegistered("Fake:Started"));
    // The host is still usable.
    EXPECT_TRUE(host.LoadModule(HAVEN_FAKE_MODULE_PATH));
}

TEST(HavenModuleLoading, UnloadRemovesEverythingAndReportsWhatTheModuleLeft)
{
    TempFolder root;
    HavenHost host(OptionsFor(root.Path));
    ASSERT_TRUE(host.LoadModule(HAVEN_FAKE_MODULE_PATH));
    EXPECT_FALSE(host.LoadModule(HAVEN_FAKE_MODULE_PATH)) << "a second module while one is loaded";
    ASSERT_TRUE(host.RunLine("Fake.Leave()").Ok);
    const LineResult quit = host.RunLine("quit");
    EXPECT_TRUE(quit.Ok);
    EXPECT_TRUE(quit.Quit);
    EXPECT_FALSE(host.IsLoaded());
    EXPECT_TRUE(HasLine(quit.Output, "host: the module left command \"fake\" registered; dropped"));
    EXPECT_TRUE(host.Scripts().CommandNames().empty());
    EXPECT_TRUE(host.Scripts().TypeNames().empty());
    // Loaded again, the module finds its events under the ids they had.
    const EventId started = host.EventTable().Register("Fake:Started");
    ASSERT_TRUE(host.LoadModule(HAVEN_FAKE_MODULE_PATH));
    EXPECT_EQ(host.RaisedEvents().back().Id, started);
}

TEST(HavenModuleLoading, TheRealModuleLoadsAndQuitsCleanly)
{
    TempFolder root;
    HavenHost host(OptionsFor(root.Path));
    ASSERT_TRUE(host.LoadModule(HVE_MODULE_PATH));
    const LineResult quit = host.RunLine("quit");
    EXPECT_TRUE(quit.Ok);
    EXPECT_FALSE(host.IsLoaded());
    for (const std::string& line : host.ConsoleLines()) {
        EXPECT_EQ(line.find("host: the module left"), std::string::npos) << line;
    }
}

TEST(HavenEvents, IdsCountFromOneAndArgumentsAreCopied)
{
    TempFolder root;
    HavenHost host(OptionsFor(root.Path));
    EXPECT_EQ(host.RegisterEvent("A:One"), 1u);
    EXPECT_EQ(host.RegisterEvent("A:Two"), 2u);
    EXPECT_EQ(host.RegisterEvent("A:One"), 1u);
    EXPECT_EQ(host.RegisterEvent(""), 0u);
    EXPECT_EQ(host.RegisterEvent(nullptr), 0u);

    std::string text = "first";
    const char* args[] = {text.c_str(), nullptr};
    host.RaiseEvent(2, 0, 2, args, nullptr);
    text = "changed";
    host.RaiseEvent(7, 0, 0, nullptr, nullptr);
    host.RaiseEvent(1, 0, 1, nullptr, nullptr);

    const std::vector<haven::HostEvent> raised = host.RaisedEvents();
    ASSERT_EQ(raised.size(), 2u);
    EXPECT_EQ(raised[0].Args, (std::vector<std::string>{"first", ""}));
    EXPECT_TRUE(raised[1].Args.empty());
    EXPECT_EQ(host.ConsoleLines(), (std::vector<std::string>{"event A:Two \"first\" \"\"",
                                                             "host: RaiseEvent with unknown event id 7 ignored",
                                                             "event A:One"}));
}

TEST_F(HavenHostTest, EachEventIsShownOnceWithQuotedArguments)
{
    const std::vector<std::string> output = Ok(R"(Fake.Ping("a b", "say \"hi\"", "line\nbreak"))");
    EXPECT_EQ(CountLines(Host->ConsoleLines(), R"(event Fake:Ping "a b" "say \"hi\"" "line\nbreak")"), 1u);
    EXPECT_EQ(output.back(), R"(Fake.Ping("a b", "say \"hi\"", "line\nbreak") -> true)");
}

TEST_F(HavenHostTest, EventsFromAWorkerThreadArriveWholeAndInOrder)
{
    Ok("Fake.Burst(300)");
    ASSERT_TRUE(Host->WaitForEvent("Fake:Done", std::chrono::seconds(10)));
    std::vector<std::string> ticks;
    for (const haven::HostEvent& event : Host->RaisedEvents()) {
        if (event.Name == "Fake:Tick") {
            ASSERT_EQ(event.Args.size(), 1u);
            ticks.push_back(event.Args[0]);
        }
    }
    ASSERT_EQ(ticks.size(), 300u);
    for (size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i], std::to_string(i));
        EXPECT_EQ(CountLines(Host->ConsoleLines(), "event Fake:Tick \"" + std::to_string(i) + "\""), 1u);
    }
}

TEST_F(HavenHostTest, ConsoleLinesFromTwoThreadsStayWhole)
{
    const std::vector<std::string> output = Ok("Fake.Chatter(400)");
    size_t a = 0;
    size_t b = 0;
    for (const std::string& line : output) {
        if (line.rfind("chatter", 0) != 0) {
            continue;
        }
        EXPECT_TRUE(IsWholeChatterLine(line)) << line;
        (line[8] == 'A' ? a : b)++;
    }
    EXPECT_EQ(a, 400u);
    EXPECT_EQ(b, 400u);

    Host->ConsolePrintf("%s|%d\n\n", "two\nparts", 5);
    EXPECT_EQ(Host->ConsoleLines().back(), "two\\nparts|5\\n");
}

TEST_F(HavenHostTest, MembersAndMethodsAreReachedByPath)
{
    EXPECT_EQ(Ok("Fake"), (std::vector<std::string>{"Fake = FakeObject"}));
    EXPECT_EQ(Ok("Fake.Name"), (std::vector<std::string>{"Fake.Name = Fake One"}));
    EXPECT_EQ(Ok("Fake.Item[2].Label"), (std::vector<std::string>{"Fake.Item[2].Label = item 2"}));
    EXPECT_EQ(Ok("Fake . Item( \"3\" )"), (std::vector<std::string>{"Fake.Item(3) = item 3"}));
    // A last call that is no method is read as a member.
    EXPECT_EQ(Ok("Fake.Count()"), (std::vector<std::string>{"Fake.Count() = 3"}));
    EXPECT_EQ(Ok("Fake.Sum(1, 2)"), (std::vector<std::string>{"Fake.Sum(1, 2) -> true"}));
    EXPECT_EQ(Ok("command fake a \"b c\""), (std::vector<std::string>{"command fake answered 2"}));
}

TEST_F(HavenHostTest, EveryKindOfErrorIsOneLineAndTheConsoleGoesOn)
{
    EXPECT_EQ(Error("Fake.Nope"), "error: unknown member \"Nope\" of type fakeobject in Fake.Nope");
    EXPECT_EQ(Error("Fake.Nope(1)"), "error: unknown member or method \"Nope\" of type fakeobject in Fake.Nope(1)");
    EXPECT_EQ(Error("Fake.Missing"), "error: Fake.Missing has no value");
    EXPECT_EQ(Error("Fake.Item[9].Label"), "error: Fake.Item[9] has no value");
    EXPECT_EQ(Error("Fake.Fail()"), "error: Fake.Fail() answered false");
    EXPECT_EQ(Error("Fake.Sum(1)"), "error: Fake.Sum(1) answered false");
    EXPECT_EQ(Error("Nobody.Name"), "error: unknown name \"Nobody\"");
    EXPECT_EQ(Error("Fake.Item[2"), "error: syntax error at column 12: expected ',' or ']'");
    EXPECT_EQ(Error("Fake..Name"), "error: syntax error at column 6: expected a name");
    EXPECT_EQ(Error("Fake.Name extra"), "error: syntax error at column 11: unexpected 'e'");
    EXPECT_EQ(Error("Fake.Item(\"2)"), "error: syntax error at column 11: unterminated quoted text");
    EXPECT_EQ(Error("Fake.Item(1,)"), "error: syntax error at column 13: expected an argument");
    EXPECT_EQ(Error("print \"no end"), "error: syntax error at column 7: unterminated quoted text");
    EXPECT_EQ(Error("sleep soon"), "error: sleep: expected sleep <milliseconds> (0 to 86400000)");
    EXPECT_EQ(Error("pulse -1"), "error: pulse: expected pulse [count] (0 to 100000)");
    EXPECT_EQ(Error("command nothing"), "error: command: no command named \"nothing\"");
    EXPECT_EQ(Ok("print \"still \\\"here\\\"\""), (std::vector<std::string>{"still \"here\""}));
    EXPECT_TRUE(Ok("# a comment").empty());
    EXPECT_TRUE(Ok("   ").empty());
}

TEST_F(HavenHostTest, ExpectComparesTextsAndNoValue)
{
    EXPECT_EQ(Ok("expect Fake.Name == \"Fake One\""), (std::vector<std::string>{"ok: Fake.Name = Fake One"}));
    Ok("expect Fake.Item[1].Label == item 1");
    Ok("expect Fake.Name != Someone");
    Ok("expect Fake.Ping() == true");
    Ok("expect-no-value Fake.Missing");
    EXPECT_EQ(Error("expect Fake.Name == Other"),
              "error: expect failed: Fake.Name = \"Fake One\", expected == \"Other\"");
    EXPECT_EQ(Error("expect Fake.Name != \"Fake One\""),
              "error: expect failed: Fake.Name = \"Fake One\", expected != \"Fake One\"");
    EXPECT_EQ(Error("expect-no-value Fake.Name"), "error: expect-no-value failed: Fake.Name = Fake One");
    EXPECT_EQ(Error("expect-no-value Fake.Nope"),
              "error: expect-no-value failed: unknown member \"Nope\" of type fakeobject in Fake.Nope");
    EXPECT_EQ(Error("expect Fake.Missing == x"), "error: expect failed: Fake.Missing has no value");
    EXPECT_EQ(Error("expect Fake.Name"),
              "error: expect: expected <expression> == <text> or <expression> != <text>");
}

TEST_F(HavenHostTest, WaitTakesPendingEventsOnceAndTimesOut)
{
    // Raised before the wait began, still taken: scripts never race the events they wait for.
    Ok("Fake.Ping(\"early\")");
    Ok("wait Fake:Ping");
    EXPECT_EQ(Error("wait Fake:Ping 30"), "error: wait: no event Fake:Ping within 30 ms");

    // With arguments, the matching event and every older one of that name are taken.
    Ok("Fake.Ping(\"a\")");
    Ok("Fake.Ping(\"b\", \"x\")");
    Ok("Fake.Ping(\"c\")");
    Ok("wait Fake:Ping 1000 \"b\"");
    EXPECT_EQ(Error("wait Fake:Ping 30 \"a\""), "error: wait: no event Fake:Ping \"a\" within 30 ms");
    Ok("wait Fake:Ping 30 \"c\"");

    Ok("Fake.Ping()");
    EXPECT_EQ(Ok("events"), (std::vector<std::string>{"pending event Fake:Started", "pending event Fake:Ping"}));
    Ok("clear-events");
    EXPECT_EQ(Ok("events"), (std::vector<std::string>{"no pending events"}));
    Error("wait Fake:Ping 30");
    EXPECT_EQ(Error("wait Fake:Pong"), "error: wait: no event named \"Fake:Pong\" is registered");

    // Events of a worker thread that end after the wait began.
    Ok("Fake.Burst(50)");
    Ok("wait Fake:Done");
    Ok("wait Fake:Tick 1000 \"49\"");
}

TEST_F(HavenHostTest, PulsesAndOtherNotificationsReachHostServiceClients)
{
    const int64_t pulses = Number("Fake.Pulses");
    EXPECT_EQ(Ok("pulse 3"), (std::vector<std::string>{"pulse: 3 pulse(s) to 1 client(s)"}));
    EXPECT_EQ(Number("Fake.Pulses"), pulses + 3);
    // Waiting idles, and an idle host pulses.
    Error("wait Fake:Ping 1000");
    EXPECT_GT(Number("Fake.Pulses"), pulses + 3);

    const int64_t notes = Number("Fake.Notes");
    EXPECT_EQ(Ok("notify Memory 77"), (std::vector<std::string>{"notify: message 77 sent to 1 client(s) of Memory"}));
    Ok("notify HTTP 2");
    EXPECT_EQ(Number("Fake.Notes"), notes + 2);
    EXPECT_EQ(Error("notify Bogus 1"),
              "error: notify: \"Bogus\" is not a host service (Pulse, Memory, HTTP, Triggers, System)");
}

TEST_F(HavenHostTest, HttpRequestsAreShownAndLoggedOneLineEach)
{
    Ok("Fake.Announce(\"http://example.test/a?x=1&y=two words\")");
    const std::vector<std::string> output = Ok("Fake.Announce(\"http://example.test/b\nforged\")");
    EXPECT_EQ(output.front(), "http GET http://example.test/b\\nforged");
    EXPECT_EQ(ReadLines(Root.Path / "http.log"),
              (std::vector<std::string>{"http://example.test/a?x=1&y=two words", "http://example.test/b\\nforged"}));

    EXPECT_EQ(Ok("Fake.Crash()").front(), "system: crash report: fake crash");
    CrashReport early{nullptr, "before any connection"};
    Host->ServiceRequest(nullptr, 0, SystemCrashReport, &early);
    EXPECT_EQ(Host->ConsoleLines().back(), "system: crash report: before any connection");
    // A connection the caller does not hold is refused.
    HttpUrlRequest request{"http://example.test/c", nullptr};
    Host->ServiceRequest(nullptr, 1, HttpRequestUrl, &request);
    EXPECT_EQ(Host->ConsoleLines().back(), "host: ServiceRequest 1001 on unknown connection 1 ignored");
    EXPECT_EQ(ReadLines(Root.Path / "http.log").size(), 2u);
}

TEST_F(HavenHostTest, TheConsoleIsAClientOfOfferedServices)
{
    EXPECT_EQ(Error("service foo Ann 30 172.5"), "error: service foo: not connected; service connect <name> first");
    EXPECT_EQ(Error("service connect Pulse"), "error: service connect: no extension offers a service named \"Pulse\"");
    const std::vector<std::string> added = Ok("service connect \"Fake Service\"");
    ASSERT_EQ(added.size(), 2u);
    ASSERT_EQ(added[0].rfind("fake service: client added ", 0), 0u);
    const std::string client = added[0].substr(std::string("fake service: client added ").size());

    EXPECT_EQ(Ok("service foo Ann 30 172.5"),
              (std::vector<std::string>{"fake service: Foo: Ann. Age 30. Height: 172.500000cm",
                                        "service: FooRequest Handled = true"}));
    EXPECT_EQ(Error("service foo Ann 3000000000 1"), "error: service foo: age \"3000000000\" is not a 32-bit whole number");
    EXPECT_EQ(Error("service foo Ann 30 tall"), "error: service foo: height \"tall\" is not a number");
    Error("service connect \"Fake Service\"");

    const std::vector<std::string> removed = Ok("service disconnect");
    EXPECT_EQ(removed.front(), "fake service: client removed " + client);
    Error("service disconnect");

    // Unloading while connected: the module still hears the console leave.
    Ok("service connect \"Fake Service\"");
    Host->Unload();
    EXPECT_TRUE(HasLine(Host->ConsoleLines(), "service: left \"Fake Service\""));
}

TEST_F(HavenHostTest, ExtensionSettingsAreSavedAndReadBackByTheNextHost)
{
    Host->Unload();
    const fs::path saved = Root.Path / "Settings" / "FakeModule.xml";
    EXPECT_TRUE(fs::exists(saved));
    HavenHost second(OptionsFor(Root.Path));
    ASSERT_TRUE(second.LoadModule(HAVEN_FAKE_MODULE_PATH));
    SettingsSetId set = second.FindExtensionSettings("FakeModule");
    ASSERT_NE(set, 0u);
    char loads[8] = {};
    second.GetSettingText(set, "Loads", loads, sizeof loads);
    EXPECT_STREQ(loads, "2");
    EXPECT_EQ(second.FindExtensionSettings("NoSuchExtension"), 0u);
}

} // namespace
