// The module's path is cut at its last separator into the directory and file name that
// start-up writes to the extension's settings.
#include <gtest/gtest.h>

#include <string>

#include "shell/module_path.h"
#include "shell/module_state.h"

namespace {

void ExpectSplit(const char* path, char separator, const char* directory, const char* fileName)
{
    ModulePathParts parts = SplitModulePath(path, separator);
    EXPECT_EQ(parts.Directory, directory) << "path " << (path ? path : "<null>");
    EXPECT_EQ(parts.FileName, fileName) << "path " << (path ? path : "<null>");
}

TEST(PathSplit, CutsAtTheLastSeparatorOfEitherPlatform)
{
    ExpectSplit("C:\\Haven\\Extensions\\HVEOBSRemote.dll", '\\', "C:\\Haven\\Extensions", "HVEOBSRemote.dll");
    ExpectSplit("/opt/haven/extensions/HVEOBSRemote.so", '/', "/opt/haven/extensions", "HVEOBSRemote.so");
    // The other platform's separator is an ordinary character.
    ExpectSplit("/opt/haven/a\\b.so", '/', "/opt/haven", "a\\b.so");
    ExpectSplit("C:\\Haven/x\\y.dll", '\\', "C:\\Haven/x", "y.dll");
}

TEST(PathSplit, WithoutSeparatorTheWholePathIsTheFileAndTheDirectoryIsDot)
{
    ExpectSplit("HVEOBSRemote.dll", '\\', ".", "HVEOBSRemote.dll");
    ExpectSplit("/opt/HVEOBSRemote.so", '\\', ".", "/opt/HVEOBSRemote.so");
    ExpectSplit("", '/', ".", "");
    ExpectSplit(nullptr, '/', ".", "");
}

TEST(PathSplit, EdgesOfThePath)
{
    ExpectSplit("/opt/haven/", '/', "/opt/haven", "");
    ExpectSplit("/HVEOBSRemote.so", '/', "", "HVEOBSRemote.so");
    ExpectSplit("\\", '\\', "", "");
    ExpectSplit("a//b", '/', "a/", "b");
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
