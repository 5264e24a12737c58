// The module as the Haven host loads it on Windows: the creation exports answer once, the
// entry point records the module's Windows file name and folder, start-up without a GUI
// library says so in one line, and FreeLibrary unloads the module with its extension object.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>

#include "shell/extension.h"
#include "tests/support/recording_host.h"

namespace {

struct LoadedModule {
    HMODULE Handle = LoadLibraryA(HVE_MODULE_PATH);
    HVEInterface* (*Create)(uint32_t) =
        reinterpret_cast<HVEInterface* (*)(uint32_t)>(reinterpret_cast<void*>(Export("CreateHVEInterface")));
    HVEInterface* (*CreateEx)(void*) =
        reinterpret_cast<HVEInterface* (*)(void*)>(reinterpret_cast<void*>(Export("CreateHVEInterfaceEx")));

    FARPROC Export(const char* name) const { return Handle != nullptr ? GetProcAddress(Handle, name) : nullptr; }
    bool Usable() const { return Create != nullptr && CreateEx != nullptr; }
    // True when the module really left the process.
    bool Unload()
    {
        FreeLibrary(Handle);
        HMODULE still = nullptr;
        return !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, HVE_MODULE_PATH, &still);
    }
};

TEST(ExtensionLifecycleWindows, CreationAnswersOnceAndEachLoadStartsAfresh)
{
    {
        LoadedModule module;
        ASSERT_TRUE(module.Usable()) << "error " << GetLastError();
        EXPECT_EQ(module.Create(52), nullptr);
        EXPECT_EQ(module.Create(54), nullptr);
        EXPECT_NE(module.Create(53), nullptr);
        EXPECT_EQ(module.Create(53), nullptr);
        EXPECT_EQ(module.CreateEx(nullptr), nullptr);
        EXPECT_TRUE(module.Unload());
    }
    LoadedModule again;
    ASSERT_TRUE(again.Usable());
    int anything = 0;
    EXPECT_NE(again.CreateEx(&anything), nullptr) << "the object of the first load went with it";
    EXPECT_EQ(again.CreateEx(&anything), nullptr);
    EXPECT_EQ(again.Create(53), nullptr);
    EXPECT_TRUE(again.Unload());
}

TEST(ExtensionLifecycleWindows, StartUpWritesTheWindowsFileNameAndFolderAndShutDownLetsTheModuleGo)
{
    LoadedModule module;
    ASSERT_TRUE(module.Usable());
    HVEInterface* extension = module.Create(53);
    ASSERT_NE(extension, nullptr);
    RecordingHost host;
    EXPECT_TRUE(extension->Initialize(&host));
    std::map<std::string, std::string> settings = host.WrittenSettings();
    EXPECT_EQ(settings["Filename"], "HVEOBSRemote.dll");
    const std::string& folder = settings["Path"];
    // The loader names the module with backslashes and a drive; the folder keeps no
    // trailing separator.
    ASSERT_GT(folder.size(), 3u);
    EXPECT_EQ(folder[1], ':') << folder;
    EXPECT_EQ(folder.find('/'), std::string::npos) << folder;
    EXPECT_NE(folder.back(), '\\') << folder;
    EXPECT_EQ(settings["Version"], "20140906");
    // No GUI library is loaded in this program, and the module loads none: one line says the
    // element type is missing, and start-up goes on.
    ASSERT_EQ(GetModuleHandleA("libhvui.dll"), nullptr);
    EXPECT_EQ(host.Lines(), (std::vector<std::string>{
                                "HVEOBSRemote: obsremoteframe: no GUI library loaded in the host; the element type is "
                                "not offered",
                                "HVEOBSRemote version 20140906 Loaded"}));
    extension->Shutdown();
    EXPECT_TRUE(module.Unload());
}

} // namespace
