// Settings sets of the host stand-in: settings files below the root, their text read
// into fixed buffers, and paths that try to leave the root.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/haven/haven_host.h"
#include "platform/haven/settings_path.h"

namespace {

namespace fs = std::filesystem;

class HavenSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "haven-settings-XXXXXX").string();
        Base = mkdtemp(pattern.data());
        Root = Base / "root";
        fs::create_directories(Root / "Scripts");
        fs::copy_file(fs::path(HVE_SOURCE_DIR) / "platform/haven/example-root/Scripts/TwitchStreamInfo.XML",
                      Root / "Scripts" / "TwitchStreamInfo.XML");
        std::ofstream(Base / "outside.xml") << "<Settings><Secret>leaked</Secret></Settings>";
        haven::HostOptions options;
        options.Root = Root;
        options.EchoToStdout = false;
        Host = std::make_unique<haven::HavenHost>(options);
    }
    void TearDown() override
    {
        Host.reset();
        std::error_code error;
        fs::remove_all(Base, error);
    }

    std::string Read(SettingsSetId set, const char* key)
    {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        Host->GetSettingText(set, key, buffer, sizeof buffer);
        return buffer;
    }

    fs::path Base;
    fs::path Root;
    std::unique_ptr<haven::HavenHost> Host;
};

TEST_F(HavenSettingsTest, TheStreamInfoFileIsReadByKey)
{
    SettingsSetId set = Host->OpenSettingsFile("Scripts/TwitchStreamInfo.XML");
    ASSERT_NE(set, 0u);
    EXPECT_EQ(Read(set, "KestrelKey"), "example-kestrel-key-0001");
    EXPECT_EQ(Read(set, "StreamUser"), "ExampleStreamer");
    EXPECT_EQ(Read(set, "StreamSite"), "Twitch");
    EXPECT_EQ(Read(set, "TwitchUser"), "") << "an absent key reads as an empty text";
    EXPECT_EQ(Read(set, nullptr), "");
    Host->CloseSettings(set);
    EXPECT_EQ(set, 0u);
    EXPECT_EQ(Read(set, "StreamUser"), "") << "a closed set reads as empty";
    Host->CloseSettings(set);

    // The Windows host finds files whatever their letter case; so does the stand-in.
    SettingsSetId other = Host->OpenSettingsFile("scripts\\twitchstreaminfo.xml");
    EXPECT_NE(other, 0u);
    Host->CloseSettings(other);
    EXPECT_EQ(Host->Settings().OpenFileCount(), 0u);
}

TEST_F(HavenSettingsTest, TextsAreCutToTheBufferAndAlwaysTerminated)
{
    SettingsSetId set = Host->OpenSettingsFile("Scripts/TwitchStreamInfo.XML");
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    Host->GetSettingText(set, "StreamUser", buffer, 5);
    EXPECT_STREQ(buffer, "Exam");
    EXPECT_EQ(buffer[5], '#') << "nothing past the given size is written";
    Host->GetSettingText(set, "StreamUser", buffer, 1);
    EXPECT_EQ(buffer[0], '\0');
    std::memset(buffer, '#', sizeof buffer);
    Host->GetSettingText(set, "StreamUser", buffer, 0);
    EXPECT_EQ(buffer[0], '#');
    Host->GetSettingText(set, "StreamUser", nullptr, 8);
    Host->CloseSettings(set);
}

TEST_F(HavenSettingsTest, PathsOutOfTheRootAndBadFilesAreRefused)
{
    fs::create_symlink(Base / "outside.xml", Root / "Scripts" / "link.xml");
    std::ofstream(Root / "broken.xml") << "<Settings><Open>";
    std::ofstream(Root / "elements.xml") << "<Settings><KestrelKey>k &amp; 1</KestrelKey><Setting>x</Setting></Settings>";
    for (const char* path : {"../outside.xml", "Scripts/../../outside.xml", "/etc/passwd", "\\Windows\\win.ini",
                             "C:\\outside.xml", "", "Scripts/link.xml", "broken.xml", "Scripts", "absent.xml"}) {
        EXPECT_EQ(Host->OpenSettingsFile(path), 0u) << path;
    }
    EXPECT_EQ(Host->OpenSettingsFile(nullptr), 0u);
    SettingsSetId set = Host->OpenSettingsFile("./elements.xml");
    ASSERT_NE(set, 0u);
    EXPECT_EQ(Read(set, "KestrelKey"), "k & 1");
    Host->CloseSettings(set);
}

TEST_F(HavenSettingsTest, ExtensionSettingsLiveInOneFilePerExtension)
{
    EXPECT_EQ(Host->FindExtensionSettings("Tester"), 0u);
    for (const char* name : {"../escape", "a/b", "a\\b", "", ".hidden", "x\ny"}) {
        EXPECT_EQ(Host->CreateExtensionSettings(name), 0u) << name;
    }
    SettingsSetId set = Host->CreateExtensionSettings("Tester");
    ASSERT_NE(set, 0u);
    EXPECT_EQ(Host->CreateExtensionSettings("Tester"), set);
    Host->SetSettingText(set, "Path", "C:\\Haven <&> \"quoted\"");
    Host->SetSettingText(set, "Empty", nullptr);
    EXPECT_EQ(Host->FindExtensionSettings("Tester"), set);
    EXPECT_FALSE(fs::exists(Base / "escape.xml"));

    Host = std::make_unique<haven::HavenHost>([this] {
        haven::HostOptions options;
        options.Root = Root;
        options.EchoToStdout = false;
        return options;
    }());
    SettingsSetId again = Host->FindExtensionSettings("Tester");
    ASSERT_NE(again, 0u);
    EXPECT_EQ(Read(again, "Path"), "C:\\Haven <&> \"quoted\"");
    EXPECT_EQ(Read(again, "Empty"), "");
    EXPECT_EQ(Host->Settings().Text(again, "Empty"), std::optional<std::string>(""));
}

} // namespace
