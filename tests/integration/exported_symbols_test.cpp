// The module shows exactly its four entry points; everything linked into it stays hidden.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

TEST(ExportedSymbols, TheModuleDefinesExactlyItsFourExports)
{
    std::string command = std::string("nm -D --defined-only '") + HVE_MODULE_PATH + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string address, kind, name;
        fields >> address >> kind >> name;
        if (name.empty()) {
            // A symbol without an address: nm printed only the kind and the name.
            name = kind;
        }
        names.insert(name);
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(names, (std::set<std::string>{"CreateHVEInterface", "CreateHVEInterfaceEx", "HVEDK_Version",
                                             "KGUI_Version"}));
}

} // namespace
