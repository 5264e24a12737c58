// The host's "gui" console command with the real module loaded: the shipped example layout
// loads, renders and prints as a user at the console would see it; bad input is refused.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

#include "hvui/ui_manager.h"
#include "platform/haven/console_command_table.h"
#include "platform/haven/console_output.h"
#include "platform/haven/gui_commands.h"

namespace {

const std::string kExampleLayout = std::string(HVE_SOURCE_DIR) + "/platform/haven/example-root/UI/obsremote-layout.xml";

class GuiCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        Module = dlopen(HVE_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(Module, nullptr) << dlerror();
        RegisterGuiCommands();
        haven::SetActiveConsole(&Console);
    }
    void TearDown() override
    {
        haven::ClearActiveConsole(&Console);
        g_UIManager.ClearLayout();
        g_UIManager.ClearTemplates();
        if (Module)
            dlclose(Module);
    }

    // Runs "gui <args>" and answers the lines it printed.
    std::vector<std::string> Run(const std::vector<std::string>& args, bool expectSuccess = true)
    {
        const size_t first = Console.Count();
        LastError.clear();
        EXPECT_EQ(haven::FindConsoleCommand("gui").value().Command(args, LastError), expectSuccess) << LastError;
        return Console.LinesSince(first);
    }

    void* Module = nullptr;
    haven::ConsoleOutput Console{false};
    std::string LastError;
};

TEST_F(GuiCommands, BadInputIsRefusedAndTheExampleLayoutLoadsRendersAndPrints)
{
    const std::vector<std::vector<std::string>> refused = {{}, {"draw"}, {"load"}, {"load", "a.xml", "b.xml"},
        {"load", "/nonexistent/layout.xml"}, {"render", "0"}, {"render", "-1"}, {"render", "5x"}, {"render", " 5"},
        {"render", "99999999999999999999"}, {"render", "1000001"}, {"render", "1", "2"}, {"tree", "extra"}};
    for (const auto& args : refused)
        EXPECT_TRUE(Run(args, false).empty() && !LastError.empty()) << args.size();
    EXPECT_EQ(Run({"tree"}), (std::vector<std::string>{"frame \"Desktop\""})) << "nothing was built or rendered";

    EXPECT_EQ(Run({"load", kExampleLayout}), (std::vector<std::string>{"Loaded " + kExampleLayout + ": 2 element(s)"}));
    EXPECT_EQ(Run({"render", "3"}), (std::vector<std::string>{"Rendered 3 time(s)"}));
    EXPECT_EQ(Run({"tree"}), (std::vector<std::string>{"frame \"Desktop\"", "  obsremoteframe \"RenderCounter\"",
                                 "    text \"Output\": \"This frame has been rendered 3 times.\"", "  obsremoteframe \"SilentCounter\""}));
}

} // namespace
