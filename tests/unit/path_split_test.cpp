// The module's path is cut at its last separator into the directory and file name that
// start-up writes to the extension's settings.
#include <gtest/gtest.h>

#include <string>

#include "shell/module_path.h"
#include "shell/module_state.h"

namespace {

// The other platform's separator is an ordinary character; without a separator the whole
// path is the file and the directory is ".".
TEST(PathSplit, CutsAtTheLastSeparatorOfEitherPlatform)
{
    const char* const cases[][4] = {
        {"C:\\Haven\\Extensions\\HVEOBSRemote.dll", "\\", "C:\\Haven\\Extensions", "HVEOBSRemote.dll"},
        {"/opt/haven/extensions/HVEOBSRemote.so", "/", "/opt/haven/extensions", "HVEOBSRemote.so"},
        {"/opt/haven/a\\b.so", "/", "/opt/haven", "a\\b.so"},
        {"C:\\Haven/x\\y.dll", "\\", "C:\\Haven/x", "y.dll"},
        {"HVEOBSRemote.dll", "\\", ".", "HVEOBSRemote.dll"},
        {"/opt/HVEOBSRemote.so", "\\", ".", "/opt/HVEOBSRemote.so"},
        {"", "/", ".", ""},
        {nullptr, "/", ".", ""},
        {"/opt/haven/", "/", "/opt/haven", ""},
        {"/HVEOBSRemote.so", "/", "", "HVEOBSRemote.so"},
        {"\\", "\\", "", ""},
        {"a//b", "/", "a/", "b"},
    };
    for (const auto& [path, separator, directory, fileName] : cases) {
        const ModulePathParts parts = SplitModulePath(path, separator[0]);
        EXPECT_EQ(parts.Directory, directory) << "path " << (path ? path : "<null>");
        EXPECT_EQ(parts.FileName, fileName) << "path " << (path ? path : "<null>");
    }
}

TEST(PathSplit, RecordingKeepsThePartsOrNothingWhenTheyDoNotFit)
{
    EXPECT_TRUE(RecordModulePath("/opt/haven/HVEOBSRemote.so", '/'));
    EXPECT_STREQ(g_Module.ModulePath, "/opt/haven/HVEOBSRemote.so");
    EXPECT_STREQ(g_Module.ModuleDirectory, "/opt/haven");
    EXPECT_STREQ(g_Module.ModuleFileName, "HVEOBSRemote.so");

    std::string longest(ModulePathCapacity - 1, 'd');
    longest[0] = '/';
    EXPECT_TRUE(RecordModulePath(longest.c_str(), '/'));
    EXPECT_EQ(std::string(g_Module.ModulePath), longest);

    std::string tooLong = longest + "/x.so";
    EXPECT_FALSE(RecordModulePath(tooLong.c_str(), '/'));
    EXPECT_STREQ(g_Module.ModulePath, "");
    EXPECT_STREQ(g_Module.ModuleDirectory, ".");
    EXPECT_STREQ(g_Module.ModuleFileName, "");
}

} // namespace
