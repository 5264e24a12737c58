// The host stand-in with a small test module loaded in-process: module checks, events,
// console lines from several threads, services, the console language and its errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/haven/haven_host.h"

namespace {

namespace fs = std::filesystem;
using haven::HavenHost;
using Lines = std::vector<std::string>;

class TempFolder {
public:
    TempFolder() : Path(mkdtemp((fs::temp_directory_path() / "haven-host-XXXXXX").string().data())) {}
    ~TempFolder() { std::error_code ignored; fs::remove_all(Path, ignored); }
    const fs::path Path;
};

haven::HostOptions OptionsFor(const fs::path& root)
{
    haven::HostOptions options;
    options.Root = root;
    options.HttpLog = root / "http.log";
    options.EchoToStdout = false;
    options.DefaultTimeout = std::chrono::seconds(10);
    return options;
}

size_t CountLines(const Lines& lines, const std::string& wanted)
{
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), wanted));
}

class HavenHostTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Host->LoadModule(HAVEN_FAKE_MODULE_PATH)); }

    // Runs a line that must work and answers its output.
    Lines Ok(const std::string& line)
    {
        const haven::LineResult result = Host->RunLine(line);
        EXPECT_TRUE(result.Ok) << line;
        return result.Output;
    }

    // Runs a line that must fail with exactly one line of output, and answers that line.
    std::string Error(const std::string& line)
    {
        const haven::LineResult result = Host->RunLine(line);
        EXPECT_FALSE(result.Ok) << line;
        EXPECT_EQ(result.Output.size(), 1u) << line;
        return result.Output.empty() ? "" : result.Output.front();
    }

    TempFolder Root;
    std::unique_ptr<HavenHost> Host = std::make_unique<HavenHost>(OptionsFor(Root.Path));
};

TEST(HavenModuleLoading, RefusesMissingFilesAndOtherDevelopmentKitVersions)
{
    TempFolder root;
    HavenHost host(OptionsFor(root.Path));
    EXPECT_FALSE(host.LoadModule((root.Path / "absent.so").string()));
    EXPECT_FALSE(host.LoadModule(HAVEN_FAKE_MODULE_V52_PATH));
    ASSERT_EQ(host.ConsoleLines().size(), 2u);
    EXPECT_NE(host.ConsoleLines()[1].find("HVEDK version 52; this host needs 53"), std::string::npos) << host.ConsoleLines()[1];
    // The refused module never ran: it registered nothing, and the host is still usable.
    EXPECT_TRUE(host.Scripts().TopLevelNames().empty());
    EXPECT_FALSE(host.EventTable().IsRegistered("Fake:Started"));
    EXPECT_TRUE(host.LoadModule(HAVEN_FAKE_MODULE_PATH));
    EXPECT_FALSE(host.LoadModule(HAVEN_FAKE_MODULE_PATH)) << "a second module while one is loaded";
}

TEST(HavenEvents, IdsCountFromOneAndArgumentsAreCopied)
{
    TempFolder root;
    HavenHost host(OptionsFor(root.Path));
    const std::vector<EventId> ids{host.RegisterEvent("A:One"), host.RegisterEvent("A:Two"), host.RegisterEvent("A:One"),
        host.RegisterEvent(""), host.RegisterEvent(nullptr)};
    EXPECT_EQ(ids, (std::vector<EventId>{1, 2, 1, 0, 0}));
    std::string text = "first";
    const char* args[] = {text.c_str(), nullptr};
    host.RaiseEvent(2, 0, 2, args, nullptr);
    text = "changed";
    host.RaiseEvent(7, 0, 0, nullptr, nullptr);
    EXPECT_EQ(host.RaisedEvents().at(0).Args, (Lines{"first", ""}));
    EXPECT_EQ(host.ConsoleLines(), (Lines{"event A:Two \"first\" \"\"", "host: RaiseEvent with unknown event id 7 ignored"}));
}

TEST_F(HavenHostTest, EachEventIsShownOnceAlsoFromAWorkerThread)
{
    EXPECT_EQ(Ok(R"(Fake.Ping("a b", "say \"hi\"", "line\nbreak"))").back(), R"(Fake.Ping("a b", "say \"hi\"", "line\nbreak") -> true)");
    EXPECT_EQ(CountLines(Host->ConsoleLines(), R"(event Fake:Ping "a b" "say \"hi\"" "line\nbreak")"), 1u);

    Ok("Fake.Burst(300)");
    ASSERT_TRUE(Host->WaitForEvent("Fake:Done", std::chrono::seconds(10)));
    Lines ticks;
    Lines expected;
    for (const haven::HostEvent& event : Host->RaisedEvents())
        if (event.Name == "Fake:Tick")
            ticks.push_back(event.Args.size() == 1 ? event.Args[0] : "?");
    for (int i = 0; i < 300; ++i)
        expected.push_back(std::to_string(i));
    EXPECT_EQ(ticks, expected) << "whole and in order";
    const Lines console = Host->ConsoleLines();
    for (const std::string& tick : expected)
        EXPECT_EQ(CountLines(console, "event Fake:Tick \"" + tick + "\""), 1u);
}

TEST_F(HavenHostTest, ConsoleLinesFromTwoThreadsStayWhole)
{
    // "chatter A|B <number> <200 dots> end"
    const std::string tail = " " + std::string(200, '.') + " end";
    size_t counts[2] = {};
    for (const std::string& line : Ok("Fake.Chatter(400)")) {
        if (line.rfind("chatter", 0) != 0)
            continue;
        const size_t end = line.find_first_not_of("0123456789", std::min<size_t>(10, line.size()));
        ASSERT_TRUE(line.size() > 10 && (line[8] == 'A' || line[8] == 'B') && line[9] == ' ' && end > 10 &&
            end != std::string::npos && line.substr(end) == tail) << line;
        counts[line[8] == 'B']++;
    }
    EXPECT_EQ(counts[0], 400u);
    EXPECT_EQ(counts[1], 400u);
    Host->ConsolePrintf("%s|%d\n\n", "two\nparts", 5);
    EXPECT_EQ(Host->ConsoleLines().back(), "two\\nparts|5\\n");
}

TEST_F(HavenHostTest, PathsReachMembersAndMethodsAndEveryErrorIsOneLine)
{
    EXPECT_EQ(Ok("Fake.Item[2].Label"), (Lines{"Fake.Item[2].Label = item 2"}));
    EXPECT_EQ(Ok("expect Fake.Name == \"Fake One\""), (Lines{"ok: Fake.Name = Fake One"}));
    const std::pair<const char*, const char*> errors[] = {
        {"Fake.Nope", "unknown member \"Nope\" of type fakeobject in Fake.Nope"},
        {"Fake.Missing", "Fake.Missing has no value"},
        {"Fake.Item[9].Label", "Fake.Item[9] has no value"},
        {"Fake.Fail()", "Fake.Fail() answered false"},
        {"Nobody.Name", "unknown name \"Nobody\""},
        {"print \"no end", "syntax error at column 7: unterminated quoted text"},
        {"sleep soon", "sleep: expected sleep <milliseconds> (0 to 86400000)"},
        {"command nothing", "command: no command named \"nothing\""},
        {"notify Bogus 1", "notify: \"Bogus\" is not a host service (Pulse, Memory, HTTP, Triggers, System)"},
        {"expect Fake.Name == Other", "expect failed: Fake.Name = \"Fake One\", expected == \"Other\""},
        {"wait Fake:Pong", "wait: no event named \"Fake:Pong\" is registered"},
        {"expect Fake.Name", "expect: expected <expression> == <text> or <expression> != <text>"},
    };
    for (const auto& [line, error] : errors)
        EXPECT_EQ(Error(line), std::string("error: ") + error);
    EXPECT_EQ(Ok("print \"still \\\"here\\\"\""), (Lines{"still \"here\""}));
}

TEST_F(HavenHostTest, WaitTakesPendingEventsOnceAndTimesOut)
{
    // Raised before the wait began, still taken: scripts never race the events they wait for.
    Ok("Fake.Ping(\"early\")");
    Ok("wait Fake:Ping");
    EXPECT_EQ(Error("wait Fake:Ping 30"), "error: wait: no event Fake:Ping within 30 ms");
    // With arguments, the matching event and every older one of that name are taken.
    for (const char* line : {"Fake.Ping(\"a\")", "Fake.Ping(\"b\", \"x\")", "Fake.Ping(\"c\")"})
        Ok(line);
    Ok("wait Fake:Ping 1000 \"b\"");
    EXPECT_EQ(Error("wait Fake:Ping 30 \"a\""), "error: wait: no event Fake:Ping \"a\" within 30 ms");
    Ok("wait Fake:Ping 30 \"c\"");
    // Events of a worker thread that end after the wait began.
    Ok("Fake.Burst(50)");
    Ok("wait Fake:Done");
    Ok("wait Fake:Tick 1000 \"49\"");
}

TEST_F(HavenHostTest, HttpRequestsAreShownAndLoggedOneLineEach)
{
    Ok("Fake.Announce(\"http://example.test/a?x=1&y=two words\")");
    EXPECT_EQ(Ok("Fake.Announce(\"http://example.test/b\nforged\")").front(), "http GET http://example.test/b\\nforged");
    std::ifstream log(Root.Path / "http.log");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}),
        "http://example.test/a?x=1&y=two words\nhttp://example.test/b\\nforged\n");
}

} // namespace
