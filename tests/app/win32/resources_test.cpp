// velmoth.exe's resources as Windows reads them from the built program: the
// manifest that the linker must not lose, the icon and the version information.
#include <windows.h>
// After windows.h, which they need.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <filesystem>
#include <string>
#include <vector>

namespace velmoth::win32 {
namespace {

namespace fs = std::filesystem;

// velmoth.exe, found from this test program's own place in the build tree.
fs::path VelmothExe() {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  return (fs::path(std::wstring(self, length)).parent_path() / VELMOTH_EXE).make_preferred();
}

TEST(Resources, TheManifestAsksForCommonControls6PerMonitorDpiAndNoElevation) {
  const HMODULE exe = LoadLibraryExW(VelmothExe().c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(exe, nullptr) << VelmothExe();
  const HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(exe, found))),
                             SizeofResource(exe, found));
  FreeLibrary(exe);
  for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                           ">PerMonitorV2", "level=\"asInvoker\""}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
}

TEST(Resources, TheIconComesInEachSizeWindowsShows) {
  const HMODULE exe = LoadLibraryExW(VelmothExe().c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(exe, nullptr) << VelmothExe();
  const HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
  ASSERT_NE(found, nullptr);
  // The icon directory: three words, then an entry of 14 bytes for each image,
  // its width first, where 0 stands for 256.
  const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(exe, found)));
  const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
  std::vector<int> widths;
  for (WORD image = 0; image < count; ++image) {
    const BYTE width = directory[6 + 14 * image];
    widths.push_back(width == 0 ? 256 : width);
  }
  FreeLibrary(exe);
  EXPECT_EQ(widths, (std::vector<int>{16, 24, 32, 48, 64, 256}));
}

TEST(Resources, TheVersionInformationNamesTheProduct) {
  const fs::path exe = VelmothExe();
  DWORD ignored = 0;
  std::vector<BYTE> info(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  const struct {
    const wchar_t* key;
    const wchar_t* value;
  } cases[] = {
      {L"\\StringFileInfo\\040904B0\\ProductName", L"Velmoth"},
      {L"\\StringFileInfo\\040904B0\\OriginalFilename", L"velmoth.exe"},
  };
  for (const auto& c : cases) {
    wchar_t* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), c.key, reinterpret_cast<void**>(&value), &length));
    EXPECT_EQ(std::wstring(value), c.value);
  }
}

}  // namespace
}  // namespace velmoth::win32
