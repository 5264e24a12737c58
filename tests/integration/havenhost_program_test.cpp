// The havenhost program: script runs and their exit codes, standard input, options.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int ExitCode = -1;
    std::string Output;
    bool Shows(const std::string& part) const { return Output.find(part) != std::string::npos; }
};

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class HavenProgramTest : public ::testing::Test {
protected:
    void TearDown() override { std::error_code ignored; fs::remove_all(Folder, ignored); }

    // Writes a file into the test's folder and answers its quoted path.
    std::string File(const std::string& name, const std::string& text)
    {
        std::ofstream(Folder / name) << text;
        return Quoted((Folder / name).string());
    }

    // Runs havenhost with the arguments and standard input, and answers its output.
    ProgramRun Havenhost(const std::string& arguments, const std::string& input = "")
    {
        const std::string command = Quoted(HVE_HAVENHOST_PATH) + " " + arguments + " < " + File("stdin.txt", input) + " 2>&1";
        ProgramRun run; // exit code -1 when the program could not run or did not exit
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[4096];
            for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
                run.Output.append(buffer, got);
            const int status = pclose(pipe);
            run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return run;
    }

    const fs::path Folder = mkdtemp((fs::temp_directory_path() / "havenhost-XXXXXX").string().data());
    const std::string FakeHost = "--module " + Quoted(HAVEN_FAKE_MODULE_PATH) + " --root " + Quoted(Folder.string());
};

TEST_F(HavenProgramTest, ExitCodesTellWorkedFromFailedLinesAndBadStarts)
{
    for (const std::string& arguments : {"--module " + Quoted(HAVEN_FAKE_MODULE_V52_PATH), std::string("--no-such-option"),
             FakeHost + " --timeout-default soon", FakeHost + " --script " + Quoted((Folder / "absent").string())})
        EXPECT_EQ(Havenhost(arguments).ExitCode, 2) << arguments;
    const ProgramRun help = Havenhost("--help");
    EXPECT_TRUE(help.ExitCode == 0 && help.Shows("--script FILE")) << help.ExitCode << ": " << help.Output;
    const ProgramRun run = Havenhost(FakeHost + " --script " + File("ok.txt", "# greeting\nprint hello\nexpect Fake.Name == Fake One\n"));
    EXPECT_TRUE(run.ExitCode == 0 && run.Shows("> print hello\nhello\n") && run.Shows("host: unloaded"))
        << run.ExitCode << ": " << run.Output;

    // A failed line makes the run fail, but the script goes on unless told to stop.
    const std::string script = File("failing.txt", "wait Fake:Ping 20\nprint after\n");
    const ProgramRun failed = Havenhost(FakeHost + " --script " + script);
    EXPECT_TRUE(failed.ExitCode == 1 && failed.Shows("error: wait: no event Fake:Ping within 20 ms") && failed.Shows("\nafter\n") &&
        failed.Shows("host: 1 line(s) failed")) << failed.ExitCode << ": " << failed.Output;
    const ProgramRun stopped = Havenhost(FakeHost + " --stop-on-error --script " + script);
    EXPECT_TRUE(stopped.ExitCode == 1 && !stopped.Shows("\nafter\n") && stopped.Shows("host: unloaded"))
        << stopped.ExitCode << ": " << stopped.Output;

    // Standard input runs until quit; the options place settings and the HTTP log.
    const ProgramRun piped = Havenhost(FakeHost + " --settings " + Quoted((Folder / "elsewhere").string()) + " --http-log " +
            Quoted((Folder / "requests.log").string()), "Fake.Announce(\"http://example.test/x\")\nquit\nprint never\n");
    EXPECT_TRUE(piped.ExitCode == 0 && piped.Shows("host: unloaded") && !piped.Shows("never\n")) << piped.ExitCode << ": " << piped.Output;
    EXPECT_TRUE(fs::exists(Folder / "elsewhere" / "FakeModule.xml"));
    std::ifstream log(Folder / "requests.log");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(log), {}), "http://example.test/x\n");
    EXPECT_EQ(Havenhost(FakeHost, "Fake.Nope\nquit\n").ExitCode, 1);
}

} // namespace
