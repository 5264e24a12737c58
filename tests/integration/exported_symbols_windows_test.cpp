// The module shows exactly its four entry points in its export table; everything linked
// into it stays hidden, and the two data exports hold their versions.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <set>
#include <string>

namespace {

TEST(ExportedSymbols, TheModuleDefinesExactlyItsFourExports)
{
    // Mapped as an image without running its entry point or resolving its imports.
    HMODULE module = LoadLibraryExA(HVE_MODULE_PATH, nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    const auto* base = reinterpret_cast<const uint8_t*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    ASSERT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
    ASSERT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(directory.VirtualAddress, 0u) << "no export table";
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const auto* nameAddresses = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);

    std::set<std::string> names;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
        names.insert(reinterpret_cast<const char*>(base + nameAddresses[i]));
    }
    EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames) << "no export by ordinal only";
    EXPECT_EQ(names, (std::set<std::string>{"CreateHVEInterface", "CreateHVEInterfaceEx", "HVEDK_Version",
                                             "KGUI_Version"}));

    const auto* developmentKitVersion = reinterpret_cast<const uint32_t*>(GetProcAddress(module, "HVEDK_Version"));
    const auto* guiVersion = reinterpret_cast<const uint32_t*>(GetProcAddress(module, "KGUI_Version"));
    ASSERT_NE(developmentKitVersion, nullptr);
    ASSERT_NE(guiVersion, nullptr);
    EXPECT_EQ(*developmentKitVersion, 53u);
    EXPECT_EQ(*guiVersion, 18u);
    FreeLibrary(module);
}

} // namespace
