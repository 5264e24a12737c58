// The havenhost program: script runs and their exit codes, standard input, options.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int ExitCode = -1;
    std::string Output;
};

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

class HavenProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "havenhost-XXXXXX").string();
        Folder = mkdtemp(pattern.data());
    }
    void TearDown() override
    {
        std::error_code error;
        fs::remove_all(Folder, error);
    }

    fs::path Script(const std::string& text)
    {
        const fs::path path = Folder / "script.txt";
        std::ofstream(path) << text;
        return path;
    }

    // Runs havenhost with the arguments (and standard input, when given) and its output.
    ProgramRun Havenhost(const std::string& arguments, const std::string& input = "")
    {
        std::string command = Quoted(HVE_HAVENHOST_PATH) + " " + arguments;
        if (!input.empty()) {
            const fs::path stdinFile = Folder / "stdin.txt";
            std::ofstream(stdinFile) << input;
            command += " < " + Quoted(stdinFile.string());
        } else {
            command += " < /dev/null";
        }
        command += " 2>&1";
        ProgramRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            ADD_FAILURE() << "cannot run " << command;
            return run;
        }
        char buffer[4096];
        for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            run.Output.append(buffer, got);
        }
        const int status = pclose(pipe);
        run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    std::string FakeHost() const
    {
        return "--module " + Quoted(HAVEN_FAKE_MODULE_PATH) + " --root " + Quoted(Folder.string());
    }

    fs::path Folder;
};

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(HavenProgramTest, AScriptWhoseLinesAllWorkEndsWithZero)
{
    const ProgramRun run = Havenhost(FakeHost() + " --script " +
                              Quoted(Script("# greeting\nprint hello\nexpect Fake.Name == Fake One\n").string()));
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_TRUE(Contains(run.Output, "> print hello\nhello\n")) << run.Output;
    EXPECT_TRUE(Contains(run.Output, "host: unloaded")) << run.Output;
}

TEST_F(HavenProgramTest, AFailedLineMakesTheRunFailButTheScriptGoesOn)
{
    const std::string script = Script("wait Fake:Ping 20\nprint after\n").string();
    const ProgramRun run = Havenhost(FakeHost() + " --script " + Quoted(script));
    EXPECT_EQ(run.ExitCode, 1) << run.Output;
    EXPECT_TRUE(Contains(run.Output, "error: wait: no event Fake:Ping within 20 ms")) << run.Output;
    EXPECT_TRUE(Contains(run.Output, "\nafter\n")) << run.Output;
    EXPECT_TRUE(Contains(run.Output, "host: 1 line(s) failed")) << run.Output;

    const ProgramRun stopped = Havenhost(FakeHost() + " --stop-on-error --script " + Quoted(script));
    EXPECT_EQ(stopped.ExitCode, 1) << stopped.Output;
    EXPECT_FALSE(Contains(stopped.Output, "\nafter\n")) << stopped.Output;
    EXPECT_TRUE(Contains(stopped.Output, "host: unloaded")) << stopped.Output;
}

TEST_F(HavenProgramTest, QuitEndsTheRunAfterUnloading)
{
    const ProgramRun run = Havenhost(FakeHost(), "print one\nquit\nprint never\n");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_TRUE(Contains(run.Output, "host: unloaded")) << run.Output;
    EXPECT_FALSE(Contains(run.Output, "never\n")) << run.Output;

    const ProgramRun failed = Havenhost(FakeHost(), "Fake.Nope\nquit\n");
    EXPECT_EQ(failed.ExitCode, 1) << failed.Output;
}

TEST_F(HavenProgramTest, OptionsPlaceSettingsAndTheHttpLog)
{
    const fs::path settings = Folder / "elsewhere";
    const fs::path log = Folder / "requests.log";
    const ProgramRun run = Havenhost(FakeHost() + " --settings " + Quoted(settings.string()) + " --http-log " +
                                  Quoted(log.string()),
                              "Fake.Announce(\"http://example.test/x\")\n");
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    EXPECT_TRUE(fs::exists(settings / "FakeModule.xml"));
    std::ifstream file(log);
    std::string line;
    ASSERT_TRUE(std::getline(file, line));
    EXPECT_EQ(line, "http://example.test/x");
}

TEST_F(HavenProgramTest, BadStartsEndWithTwo)
{
    EXPECT_EQ(Havenhost("--module " + Quoted(HAVEN_FAKE_MODULE_V52_PATH)).ExitCode, 2);
    EXPECT_EQ(Havenhost("--no-such-option").ExitCode, 2);
    EXPECT_EQ(Havenhost(FakeHost() + " --timeout-default soon").ExitCode, 2);
    EXPECT_EQ(Havenhost(FakeHost() + " --script " + Quoted((Folder / "absent").string())).ExitCode, 2);
    const ProgramRun help = Havenhost("--help");
    EXPECT_EQ(help.ExitCode, 0);
    EXPECT_TRUE(Contains(help.Output, "--script FILE")) << help.Output;
}

} // namespace
