// Settings sets of the host stand-in: settings files below the root, their text read
// into fixed buffers, and paths that try to leave the root.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/haven/haven_host.h"

namespace {

namespace fs = std::filesystem;

class HavenSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(Root / "Scripts");
        std::ofstream(Root / "Scripts" / "TwitchStreamInfo.XML") << "<Settings><StreamUser>Example &amp; Co</StreamUser></Settings>";
        Options.Root = Root;
        Options.EchoToStdout = false;
        Host = std::make_unique<haven::HavenHost>(Options);
    }
    void TearDown() override { Host.reset(); std::error_code ignored; fs::remove_all(Base, ignored); }

    std::string Read(SettingsSetId set, const char* key)
    {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        Host->GetSettingText(set, key, buffer, sizeof buffer);
        return buffer;
    }

    const fs::path Base = mkdtemp((fs::temp_directory_path() / "haven-settings-XXXXXX").string().data());
    const fs::path Root = Base / "root";
    haven::HostOptions Options;
    std::unique_ptr<haven::HavenHost> Host;
};

TEST_F(HavenSettingsTest, TextsAreReadByKeyAndCutToTheBufferAlwaysTerminated)
{
    // The Windows host finds files whatever their letter case; so does the stand-in.
    SettingsSetId set = Host->OpenSettingsFile("scripts\\twitchstreaminfo.xml");
    ASSERT_NE(set, 0u);
    EXPECT_EQ(Read(set, "StreamUser"), "Example & Co");
    EXPECT_EQ(Read(set, "TwitchUser"), "") << "an absent key reads as an empty text";
    EXPECT_EQ(Read(set, nullptr), "");
    // Nothing past the given size is written.
    const std::pair<uint32_t, std::string> cuts[] = {{5, std::string("Exam\0###", 8)}, {1, std::string("\0#######", 8)}, {0, "########"}};
    for (const auto& [size, wanted] : cuts) {
        char buffer[8];
        std::memset(buffer, '#', sizeof buffer);
        Host->GetSettingText(set, "StreamUser", buffer, size);
        EXPECT_EQ(std::string(buffer, sizeof buffer), wanted) << size;
    }
    Host->GetSettingText(set, "StreamUser", nullptr, 8);
    Host->CloseSettings(set);
    EXPECT_EQ(Host->Settings().OpenFileCount(), 0u);
}

TEST_F(HavenSettingsTest, PathsOutOfTheRootAndBadNamesAreRefusedAndGoodSettingsKept)
{
    std::ofstream(Base / "outside.xml") << "<Settings><Secret>leaked</Secret></Settings>";
#ifdef _WIN32
    // Making a symbolic link takes a privilege on Windows; without one the link case is left out.
    std::error_code noLink;
    fs::create_symlink(Base / "outside.xml", Root / "Scripts" / "link.xml", noLink);
#else
    fs::create_symlink(Base / "outside.xml", Root / "Scripts" / "link.xml");
#endif
    std::ofstream(Root / "broken.xml") << "<Settings><Open>";
    for (const char* path : {"../outside.xml", "Scripts/../../outside.xml", "/etc/passwd", "\\Windows\\win.ini",
                             "C:\\outside.xml", "", "Scripts/link.xml", "broken.xml", "Scripts", "absent.xml"})
        EXPECT_EQ(Host->OpenSettingsFile(path), 0u) << path;
    EXPECT_EQ(Host->OpenSettingsFile(nullptr), 0u);
    for (const char* name : {"../escape", "a/b", "a\\b", "", ".hidden", "x\ny"})
        EXPECT_EQ(Host->CreateExtensionSettings(name), 0u) << name;
    EXPECT_FALSE(fs::exists(Base / "escape.xml"));

    // A good name's settings are saved and read back by the next host.
    SettingsSetId set = Host->CreateExtensionSettings("Tester");
    ASSERT_NE(set, 0u);
    EXPECT_EQ(Host->CreateExtensionSettings("Tester"), set);
    Host->SetSettingText(set, "Path", "C:\\Haven <&> \"quoted\"");
    Host->SetSettingText(set, "Empty", nullptr);
    Host = std::make_unique<haven::HavenHost>(Options);
    SettingsSetId again = Host->FindExtensionSettings("Tester");
    ASSERT_NE(again, 0u);
    EXPECT_EQ(Read(again, "Path"), "C:\\Haven <&> \"quoted\"");
    EXPECT_EQ(Host->Settings().Text(again, "Empty"), std::optional<std::string>(""));
}

} // namespace
