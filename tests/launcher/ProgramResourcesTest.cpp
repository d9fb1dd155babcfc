// What the built program says of itself: the manifest Windows reads before
// the program runs, and the version Explorer's Properties show.
#include "support/ChildProcess.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring Program() { return WindowsPathOfHostPath(KORVANE_EXE_PATH); }

std::string ManifestOf(const std::wstring& program)
{
    const HMODULE image =
        ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!image)
        return {};
    std::string text;
    if (const HRSRC found = ::FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)))
        if (const HGLOBAL loaded = ::LoadResource(image, found))
            text.assign(static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(image, found));
    ::FreeLibrary(image);
    return text;
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* name)
{
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    if (!::VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0)
        return L"(none)";
    return static_cast<const wchar_t*>(value);
}

} // namespace

// An activation context is what the system makes of the manifest as the
// program starts; a manifest it cannot read keeps the program from starting.
TEST(ProgramResources, TheManifestIsReadAndDeclaresWhatThePlayerNeeds)
{
    ACTCTXW context{};
    context.cbSize = sizeof(context);
    const std::wstring program = Program();
    context.lpSource = program.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    const HANDLE made = ::CreateActCtxW(&context);
    ASSERT_NE(made, INVALID_HANDLE_VALUE) << "error " << ::GetLastError();
    ::ReleaseActCtx(made);

    const std::string manifest = ManifestOf(program);
    for (const char* wanted : {"level=\"asInvoker\"", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                               "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
                               "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
                               ">false</dpiAware>"})
        EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted;
    EXPECT_EQ(manifest.find("longPathAware"), std::string::npos) << "the program does not handle long paths everywhere";
}

TEST(ProgramResources, TheVersionCarriesTheBuildsVersionAndThePublishersNames)
{
    const std::wstring program = Program();
    const DWORD size = ::GetFileVersionInfoSizeW(program.c_str(), nullptr);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(program.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(KORVANE_VERSION_MINOR, KORVANE_VERSION_MAJOR));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, KORVANE_VERSION_PATCH));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    EXPECT_EQ(VersionString(info, L"FileVersion"), KORVANE_VERSION);
    EXPECT_EQ(VersionString(info, L"ProductVersion"), KORVANE_VERSION);
    EXPECT_EQ(VersionString(info, L"ProductName"), KORVANE_PRODUCT_NAME);
    EXPECT_EQ(VersionString(info, L"FileDescription"), KORVANE_PRODUCT_NAME);
    EXPECT_EQ(VersionString(info, L"CompanyName"), KORVANE_PUBLISHER);
    EXPECT_EQ(VersionString(info, L"LegalCopyright"), KORVANE_COPYRIGHT);
}
