#include "platform/haven/gui_commands.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "hvui/kgui_element.h"
#include "hvui/kgui_text.h"
#include "hvui/ui_manager.h"
#include "platform/haven/console_command_registry.h"

namespace {

constexpr const char* kUsage = "gui load <layout.xml> | gui render [count] | gui tree";
// A typo in the count must not hang the console.
constexpr long kMaxRenderCount = 1000000;

bool Load(const std::vector<std::string>& args, std::string& error)
{
    if (args.size() != 2) {
        error = "usage: gui load <layout.xml>";
        return false;
    }
    const size_t before = g_UIManager.GetDesktop()->GetChildren().size();
    const bool loaded = g_UIManager.LoadLayout(args[1].c_str());
    const size_t added = g_UIManager.GetDesktop()->GetChildren().size() - before;
    if (!loaded) {
        error = "load: " + std::string(g_UIManager.GetLastError());
        if (added != 0) {
            error += " (" + std::to_string(added) + " element(s) loaded)";
        }
        return false;
    }
    HostConsoleLine("Loaded " + args[1] + ": " + std::to_string(added) + " element(s)");
    return true;
}

bool Render(const std::vector<std::string>& args, std::string& error)
{
    long count = 1;
    if (args.size() > 2) {
        error = "usage: gui render [count]";
        return false;
    }
    if (args.size() == 2) {
        const char* text = args[1].c_str();
        char* end = nullptr;
        errno = 0;
        count = std::strtol(text, &end, 10);
        if (*text < '0' || *text > '9' || *end != '\0' || errno != 0 || count < 1 || count > kMaxRenderCount) {
            error = "render: the count must be a whole number from 1 to " + std::to_string(kMaxRenderCount);
            return false;
        }
    }
    for (long i = 0; i < count; ++i) {
        g_UIManager.Render();
    }
    HostConsoleLine("Rendered " + std::to_string(count) + " time(s)");
    return true;
}

void PrintTree(const KGUIElement* element, size_t depth)
{
    std::string line(depth * 2, ' ');
    line += element->GetTypeName();
    line += " \"";
    line += element->GetName();
    line += "\"";
    if (const auto* text = dynamic_cast<const KGUIText*>(element)) {
        line += ": \"";
        line += text->GetText();
        line += "\"";
    }
    HostConsoleLine(line);
    for (const KGUIElement* child : element->GetChildren()) {
        PrintTree(child, depth + 1);
    }
}

bool Tree(const std::vector<std::string>& args, std::string& error)
{
    if (args.size() != 1) {
        error = "usage: gui tree";
        return false;
    }
    PrintTree(g_UIManager.GetDesktop(), 0);
    return true;
}

} // namespace

void RegisterGuiCommands()
{
    RegisterConsoleCommand("gui", kUsage, [](const std::vector<std::string>& args, std::string& error) {
        if (!args.empty()) {
            if (args[0] == "load") {
                return Load(args, error);
            }
            if (args[0] == "render") {
                return Render(args, error);
            }
            if (args[0] == "tree") {
                return Tree(args, error);
            }
        }
        error = std::string("usage: ") + kUsage;
        return false;
    });
}
