// The resources linked into CRVL.exe, read from the built program: every icon the
// program loads, at the sizes it asks for, the version and the manifest.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include <string>

#include "resources/program_resources.h"
#include "shell/tray_menu.h"

namespace crvl::shell {
namespace {

class ProgramResources : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = std::string(CRVL_BINARY_DIR) + "/CRVL.exe";
    module_ = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << path;
  }
  void TearDown() override {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }

  // The icon's image of exactly `size` pixels, found among those the resource holds.
  bool hasIconOfSize(int id, int size) {
    HRSRC group = ::FindResourceW(module_, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    if (group == nullptr) return false;
    void* bits = ::LockResource(::LoadResource(module_, group));
    if (bits == nullptr) return false;
    const int image = ::LookupIconIdFromDirectoryEx(static_cast<PBYTE>(bits), TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC icon = ::FindResourceW(module_, MAKEINTRESOURCEW(image), RT_ICON);
    if (icon == nullptr) return false;
    const auto* header = static_cast<const BITMAPINFOHEADER*>(::LockResource(::LoadResource(module_, icon)));
    return header != nullptr && header->biWidth == size && header->biHeight == 2 * size && header->biBitCount == 32;
  }

  std::string resourceText(LPCWSTR type, int id) {
    HRSRC found = ::FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (found == nullptr) return {};
    const char* bits = static_cast<const char*>(::LockResource(::LoadResource(module_, found)));
    return std::string(bits, ::SizeofResource(module_, found));
  }

  HMODULE module_ = nullptr;
};

TEST_F(ProgramResources, EveryIconAtEverySizeTheProgramAsksFor) {
  for (const int size : {16, 32, 48}) EXPECT_TRUE(hasIconOfSize(CRVL_ICON_PROGRAM, size)) << size;
  for (const int id : {CRVL_ICON_IDLE, CRVL_ICON_BUSY}) {
    for (const int size : {16, 20, 24, 32}) EXPECT_TRUE(hasIconOfSize(id, size)) << id << "/" << size;
  }
  // Menu icons: the sizes the configuration offers for "IconMn".
  for (const uint16_t id : menuIconIds()) {
    for (const int size : {16, 24, 32, 48, 64}) EXPECT_TRUE(hasIconOfSize(id, size)) << id << "/" << size;
  }
}

TEST_F(ProgramResources, VersionIs2408) {
  const std::string version = resourceText(RT_VERSION, 1);
  ASSERT_GE(version.size(), 40u + sizeof(VS_FIXEDFILEINFO));
  // The fixed part follows the key "VS_VERSION_INFO" (UTF-16) at a 32-bit boundary.
  const size_t at = version.find("\xBD\x04\xEF\xFE");
  ASSERT_NE(at, std::string::npos);
  VS_FIXEDFILEINFO fixed{};
  std::memcpy(&fixed, version.data() + at, sizeof fixed);
  EXPECT_EQ(fixed.dwFileVersionMS, (24u << 16) | 8u);
  EXPECT_EQ(fixed.dwProductVersionMS, (24u << 16) | 8u);
  const std::u16string text = u"24.08";
  const std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  EXPECT_NE(version.find(bytes), std::string::npos);
}

TEST_F(ProgramResources, ManifestAsksForCommonControls6PerMonitorDpiAndWindows10) {
  const std::string manifest = resourceText(RT_MANIFEST, 1);
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(manifest.find("true/pm"), std::string::npos);
  EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
}

}  // namespace
}  // namespace crvl::shell
