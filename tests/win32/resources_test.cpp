// The resources of the built programs, read the way Windows reads them: the
// version resource that a file's properties show, and the icons the
// installer loads by name and number.
#include <windows.h>
// windows.h first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct VersionInfo {
    std::vector<char> data;
    std::string value(const char* name) const {
        std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
        char* text = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&text), &length))
            return "(missing)";
        return std::string(text);
    }
    VS_FIXEDFILEINFO fixed() const {
        VS_FIXEDFILEINFO* info = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &length)) return {};
        return *info;
    }
};

VersionInfo versionOf(const char* program) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(program, &ignored);
    VersionInfo v;
    if (size == 0) return v;
    v.data.resize(size);
    if (!GetFileVersionInfoA(program, 0, size, v.data.data())) v.data.clear();
    return v;
}

}  // namespace

TEST(ProgramResources, BothProgramsNameProductVersionAndMaker) {
    for (const char* program : {VORN_UPDATE_EXE, VORN_LZX_EXE}) {
        SCOPED_TRACE(program);
        VersionInfo v = versionOf(program);
        ASSERT_FALSE(v.data.empty());
        EXPECT_EQ(v.value("ProductName"), "Vorn");
        EXPECT_EQ(v.value("ProductVersion"), "3.01");
        EXPECT_EQ(v.value("FileVersion"), "3.01");
        EXPECT_EQ(v.value("CompanyName"), "Vornsoft B.V.");
        VS_FIXEDFILEINFO fixed = v.fixed();
        EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed.dwProductVersionMS, MAKELONG(1, 3));  // 3.01
        EXPECT_EQ(fixed.dwFileType, static_cast<DWORD>(VFT_APP));
    }
    EXPECT_EQ(versionOf(VORN_UPDATE_EXE).value("OriginalFilename"), "vorn-update.exe");
    EXPECT_EQ(versionOf(VORN_LZX_EXE).value("OriginalFilename"), "lzx.exe");
}

TEST(ProgramResources, InstallerCarriesTheDialogAndConsoleIcons) {
    HMODULE exe = LoadLibraryExA(VORN_UPDATE_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    EXPECT_NE(FindResourceA(exe, "IcoConsole", MAKEINTRESOURCEA(14)), nullptr);  // RT_GROUP_ICON
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(1002), MAKEINTRESOURCEA(14)), nullptr);
    EXPECT_NE(FindResourceA(exe, MAKEINTRESOURCEA(1004), MAKEINTRESOURCEA(14)), nullptr);
    FreeLibrary(exe);
    // The console's icon as the class gets it: a 32 x 32 picture.
    HMODULE image = LoadLibraryExA(VORN_UPDATE_EXE, nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr);
    HICON icon = LoadIconA(image, "IcoConsole");
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP mask{};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    EXPECT_EQ(mask.bmWidth, 32);
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
    FreeLibrary(image);
}
