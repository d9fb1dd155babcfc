// The skin's two readers under random input: the zip reader on the package
// the program carries, and the layout markup, built, laid out and painted.
#include "Fuzz.h"

#include "ui/GifProgressUI.h"
#include "ui/toolkit/ControlHost.h"
#include "ui/toolkit/ControlUI.h"
#include "ui/toolkit/LayoutBuilder.h"
#include "ui/toolkit/SkinResources.h"
#include "ui/toolkit/ZipArchive.h"
#include "ui/TestZip.h"

#include "util/GdiObject.h"

#include <gtest/gtest.h>

#include <windows.h>

using uitk::CControlHost;
using uitk::CControlUI;
using uitk::CLayoutBuilder;
using uitk::CSkinResources;
using uitk::CZipArchive;

namespace {

const UINT kSkinId = 130;

// The skin package as it lies in the program's resources.
std::string SkinPackage()
{
    HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(kSkinId), L"ZIPRES");
    HGLOBAL loaded = resource ? ::LoadResource(nullptr, resource) : nullptr;
    if (!loaded)
        return {};
    return std::string(static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(nullptr, resource));
}

std::string SkinMember(const wchar_t* name)
{
    static const std::string package = SkinPackage();
    CZipArchive archive;
    std::string bytes;
    if (archive.Open(package.data(), package.size()))
        archive.Read(name, bytes);
    return bytes;
}

std::string SmallArchive(bool deflate)
{
    TestZip zip;
    zip.Add("font.xml", SkinMember(L"font.xml"), deflate);
    zip.Add("\xe4\xb8\x8b\xe8\xbd\xbd.txt", "Korvane", deflate);
    zip.Add("empty", "", deflate);
    return zip.Bytes();
}

// Paints the tree as a window of the main window's size would show it.
void PaintOffScreen(CControlUI* root)
{
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = 632;
    format.bmiHeader.biHeight = -302;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    void* pixels = nullptr;
    CGdiObject<HBITMAP> bitmap(::CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &pixels, nullptr, 0));
    CMemoryDC memory(nullptr, std::move(bitmap));
    if (memory)
        root->DoPaint(memory.Get(), RECT{0, 0, 632, 302});
}

} // namespace

TEST(ParserFuzz, ZipReader)
{
    const std::string package = SkinPackage();
    ASSERT_FALSE(package.empty());
    SFuzzTarget target;
    target.name = "zip";
    target.samples = {package, SmallArchive(true), SmallArchive(false)};
    target.nestOpen = "PK\x01\x02";
    target.nestClose = "PK\x05\x06";
    target.check = [](const std::string& input) {
        CZipArchive archive;
        if (!archive.Open(input.data(), input.size()))
            return;
        std::string bytes;
        for (const std::wstring& name : archive.Names())
            archive.Read(name, bytes);
        EXPECT_FALSE(archive.Read(L"no such member", bytes));
        EXPECT_TRUE(bytes.empty());
    };
    RunFuzz(target);
}

TEST(ParserFuzz, LayoutMarkup)
{
    uitk::RegisterGifProgress();
    const std::string font = SkinMember(L"font.xml");
    const std::string mainLayout = SkinMember(L"DlgMain.xml");
    const std::string settingLayout = SkinMember(L"DlgSetting.xml");
    ASSERT_FALSE(mainLayout.empty());
    static std::string archive; // the skin files are read from it while it is set
    SFuzzTarget target;
    target.name = "layout";
    target.samples = {mainLayout, settingLayout, font};
    target.nestOpen = "<VerticalLayout>";
    target.nestClose = "</VerticalLayout>";
    target.check = [&](const std::string& input) {
        TestZip zip;
        zip.Add("Layout.xml", input, false);
        zip.Add("font.xml", font, false);
        zip.Add("DlgMain.xml", mainLayout, false);
        archive = zip.Bytes();
        ASSERT_TRUE(CSkinResources::SetResourceZip(archive.data(), archive.size()));
        CControlHost host;
        CLayoutBuilder builder;
        CControlUI* root = builder.Create(L"Layout.xml", nullptr, &host);
        if (!root)
            return;
        host.AttachDialog(root);
        PaintOffScreen(root);
        host.ReleaseControls();
    };
    RunFuzz(target);
}
