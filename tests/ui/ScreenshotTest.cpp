// Opens both windows of the skin as a player sees them and saves their
// pictures into the build folder ("screenshots/").
#include "TestDialog.h"
#include "TestZip.h"
#include "WindowPicture.h"

#include "ui/GifProgressUI.h"
#include "ui/toolkit/OptionUI.h"
#include "ui/toolkit/SkinRenderer.h"
#include "ui/toolkit/SkinResources.h"
#include "ui/toolkit/ZipArchive.h"
#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace uitk;

namespace {

std::wstring ScreenshotPath(const wchar_t* name)
{
    std::wstring folder = WindowsPathOfHostPath(KORVANE_SCREENSHOT_DIR);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\" + name;
}

int Brightness(uint32_t pixel)
{
    return int((pixel >> 16 & 0xFF) + (pixel >> 8 & 0xFF) + (pixel & 0xFF)) / 3;
}

// Counts nearly white pixels in a box: drawn text in a dark band.
int WhitePixels(const WindowPicture& picture, const RECT& box)
{
    int count = 0;
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x)
            if (Brightness(picture.At(x, y)) > 200)
                ++count;
    return count;
}

// The window over a light desktop with the program's drop shadow around it,
// as a player sees it.
WindowPicture OnDesktopWithShadow(const WindowPicture& window)
{
    const int margin = 24, size = 6, offset = 1;
    CWndShadow shadow;
    shadow.SetSize(size);
    shadow.SetPosition(offset, offset);
    shadow.SetSharpness(10);
    int shadowWidth = window.width + 2 * size, shadowHeight = window.height + 2 * size;
    std::vector<uint32_t> shade(size_t(shadowWidth) * size_t(shadowHeight), 0);
    shadow.RenderShadow(CShadowPixels{shade.data(), shadowWidth, shadowHeight, false}, nullptr,
                        RECT{0, 0, window.width, window.height});

    WindowPicture desktop;
    desktop.width = window.width + 2 * margin;
    desktop.height = window.height + 2 * margin;
    desktop.pixels.assign(size_t(desktop.width) * size_t(desktop.height), 0xFFDDE1E8u);
    int shadowLeft = margin + offset - size, shadowTop = margin + offset - size;
    for (int y = 0; y < shadowHeight; ++y)
        for (int x = 0; x < shadowWidth; ++x) {
            uint32_t alpha = shade[size_t(y) * size_t(shadowWidth) + size_t(x)] >> 24;
            uint32_t& pixel = desktop.pixels[size_t(y + shadowTop) * size_t(desktop.width) + size_t(x + shadowLeft)];
            auto fade = [&](int shift) { return ((pixel >> shift & 0xFF) * (255 - alpha) / 255) << shift; };
            pixel = 0xFF000000u | fade(16) | fade(8) | fade(0);
        }
    for (int y = 0; y < window.height; ++y)
        for (int x = 0; x < window.width; ++x)
            desktop.pixels[size_t(y + margin) * size_t(desktop.width) + size_t(x + margin)] = window.At(x, y);
    return desktop;
}

class Screenshots : public ::testing::Test {
protected:
    void SetUp() override
    {
        CWndShadow::Initialize(CSkinResources::GetInstance());
        ASSERT_TRUE(CSkinRenderer::StartGdiplus());
        ASSERT_TRUE(CSkinResources::SetResourceZipFromResource(130, L"ZIPRES"));
    }
};

} // namespace

TEST_F(Screenshots, EveryImageOfTheSkinLoads)
{
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(130), L"ZIPRES");
    ASSERT_NE(found, nullptr);
    WORD language = 0;
    ::EnumResourceLanguagesW(nullptr, L"ZIPRES", MAKEINTRESOURCEW(130),
                             [](HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR out) -> BOOL {
                                 *reinterpret_cast<WORD*>(out) = lang;
                                 return FALSE;
                             },
                             reinterpret_cast<LONG_PTR>(&language));
    EXPECT_EQ(language, 2052);

    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgMain.xml", record);
    HWND window = dialog->Open();
    std::string bytes;
    ASSERT_TRUE(CSkinResources::ReadSkinFile(L"DlgMain.xml", bytes));
    int images = 0;
    for (const wchar_t* name :
         {L"1.png", L"2.png", L"3.png", L"dlg_setting.png", L"btn_close_normal.png", L"btn_close_over.png",
          L"btn_close_down.png", L"btn_min_normal.png", L"btn_min_over.png", L"btn_min_down.png",
          L"btn_set_normal.png", L"btn_set_over.png", L"btn_set_down.png", L"regist_normal.png", L"regist_over.png",
          L"home_normal.png", L"home_over.png", L"start_normal.png", L"start_over.png", L"start_down.png",
          L"pause_normal.png", L"pause_over.png", L"pause_down.png", L"resume_normal.png", L"resume_over.png",
          L"resume_down.png", L"folder_normal.png", L"folder_over.png", L"folder_down.png", L"edit_bk.png",
          L"edit_bk2.png", L"progress_bk.png", L"progress_fore.gif", L"radio_normal.png", L"radio_over.png",
          L"radio_down.png"}) {
        EXPECT_NE(CSkinResources::GetImage(name), nullptr) << "missing " << images;
        ++images;
    }
    EXPECT_EQ(images + 3, 39); // and the three markup files
    ::DestroyWindow(window);
}

TEST_F(Screenshots, MainWindowLooksFinished)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgMain.xml", record);
    HWND window = dialog->Open();
    ASSERT_NE(window, nullptr);
    dialog->CenterWindow();
    dialog->ShowWindow(true);
    dialog->Find(L"label_downinfo")->SetText(L"正在下载：1.25GB/8.40GB  速度：3.20MB/s  剩余时间：00:38:12");
    static_cast<CGifProgressUI*>(dialog->Find(L"down_progress"))->SetValue(40);
    dialog->Find(L"label_percent")->SetText(L"40%");
    dialog->Find(L"edit_downdir")->SetText(L"D:\\Games\\Korvane\\");
    dialog->Find(L"btn_start")->SetVisible(false);
    dialog->Find(L"btn_pause")->SetVisible(true);

    for (const wchar_t* background : {L"3.png", L"1.png", L"2.png"}) {
        dialog->Find(L"bg_mainwnd")->SetBkImage(std::wstring(L"file='") + background + L"'");
        WindowPicture picture = CaptureClient(window);
        ASSERT_EQ(picture.width, 632);
        ASSERT_EQ(picture.height, 302);
        EXPECT_TRUE(SavePng(picture, ScreenshotPath((std::wstring(L"main_") + background).c_str())));
        if (std::wstring(background) == L"3.png") {
            EXPECT_TRUE(SavePng(OnDesktopWithShadow(picture), ScreenshotPath(L"main_on_desktop.png")));
        }
        // The artwork is no flat colour, and the white texts show on it.
        std::set<uint32_t> colours(picture.pixels.begin(), picture.pixels.end());
        EXPECT_GT(colours.size(), 2000u);
        EXPECT_GT(WhitePixels(picture, RECT{20, 226, 400, 245}), 150) << "information line";
        EXPECT_GT(WhitePixels(picture, RECT{20, 266, 300, 287}), 60) << "download folder";
        // The bar's filled part (191 pixels) is bright, the rest is not.
        EXPECT_GT(Brightness(picture.At(15 + 100, 253)), 120);
        EXPECT_LT(Brightness(picture.At(15 + 300, 253)), 110);
    }
    ::DestroyWindow(window);
}

TEST_F(Screenshots, SettingsDialogLooksFinished)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgSetting.xml", record);
    HWND window = dialog->Open();
    ASSERT_NE(window, nullptr);
    dialog->CenterWindow();
    dialog->ShowWindow(true);
    dialog->Find(L"edit_upspeed")->SetVisible(false);
    dialog->Find(L"edit_downspeed")->SetText(L"300");
    static_cast<COptionUI*>(dialog->Find(L"opt_unautostart"))->Selected(true);

    WindowPicture picture = CaptureClient(window);
    ASSERT_EQ(picture.width, 506);
    ASSERT_EQ(picture.height, 257);
    EXPECT_TRUE(SavePng(picture, ScreenshotPath(L"settings.png")));
    EXPECT_TRUE(SavePng(OnDesktopWithShadow(picture), ScreenshotPath(L"settings_on_desktop.png")));
    EXPECT_GT(WhitePixels(picture, RECT{15, 7, 95, 27}), 40) << "title";
    EXPECT_GT(WhitePixels(picture, RECT{50, 72, 150, 96}), 60) << "rate label";
    EXPECT_GT(WhitePixels(picture, RECT{110, 205, 310, 231}), 60) << "site address";
    ::DestroyWindow(window);
}

TEST_F(Screenshots, ButtonsShowTheirHoverAndPressedImages)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgMain.xml", record);
    HWND window = dialog->Open();
    RECT start = dialog->Find(L"btn_start")->GetPos();
    POINT centre = CentreOf(start);
    POINT probe{start.left + 10, start.top + 20}; // on the button's face, beside its text
    LPARAM at = MAKELPARAM(centre.x, centre.y);

    uint32_t normal = CaptureClient(window).At(probe.x, probe.y);
    ::SendMessageW(window, WM_MOUSEMOVE, 0, at);
    uint32_t hover = CaptureClient(window).At(probe.x, probe.y);
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    uint32_t pressed = CaptureClient(window).At(probe.x, probe.y);
    ::SendMessageW(window, WM_LBUTTONUP, 0, at);
    ::SendMessageW(window, WM_MOUSELEAVE, 0, 0);
    uint32_t left = CaptureClient(window).At(probe.x, probe.y);

    EXPECT_NE(normal, hover);
    EXPECT_NE(hover, pressed);
    EXPECT_NE(normal, pressed);
    EXPECT_EQ(left, normal);
    ASSERT_EQ(record->clicks.size(), 1u);
    EXPECT_EQ(record->clicks[0], L"btn_start");
    ::DestroyWindow(window);
}

// Text too wide for its label: cut with an ellipsis inside the label by
// default; with endellipsis="false" (the percentage beside the progress bar)
// drawn whole past it, and gone from the screen when shorter text replaces it.
TEST(LabelText, TooWideEndsInAnEllipsisOrRunsOnWhole)
{
    CWndShadow::Initialize(CSkinResources::GetInstance());
    TestZip zip;
    zip.Add("labels.xml", "<Window size=\"240,60\"><VerticalLayout bkcolor=\"#FF000000\">"
                          "<Label name=\"cut\" float=\"true\" pos=\"10,5,0,0\" width=\"30\" height=\"20\" "
                          "textcolor=\"#FFFFFFFF\" text=\"8888888888888888\"/>"
                          "<Label name=\"whole\" float=\"true\" pos=\"10,35,0,0\" width=\"30\" height=\"20\" "
                          "endellipsis=\"false\" textcolor=\"#FFFFFFFF\" text=\"8888888888888888\"/>"
                          "</VerticalLayout></Window>");
    static std::string bytes; // the archive reads from it while the window lives
    bytes = zip.Bytes();
    ASSERT_TRUE(CSkinResources::SetResourceZip(bytes.data(), bytes.size()));
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"labels.xml", record);
    HWND window = dialog->Open();
    ASSERT_NE(window, nullptr);
    dialog->ShowWindow(true);
    ::SetWindowPos(window, HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    PumpMessages();

    const RECT beyondCut{41, 5, 240, 25}, beyondWhole{41, 35, 240, 55};
    WindowPicture picture = CaptureClient(window);
    EXPECT_GT(WhitePixels(picture, RECT{10, 5, 40, 25}), 20);
    EXPECT_EQ(WhitePixels(picture, beyondCut), 0);
    EXPECT_GT(WhitePixels(picture, RECT{70, 35, 240, 55}), 20) << "not drawn whole";

    // Only what changed is repainted on the screen: the run-on part too.
    ASSERT_TRUE(WaitFor([&] {
        PumpMessages();
        const WindowPicture screen = CaptureScreen(window);
        return !screen.pixels.empty() && WhitePixels(screen, beyondWhole) > 20;
    }));
    dialog->Find(L"whole")->SetText(L"8");
    EXPECT_TRUE(WaitFor([&] {
        PumpMessages();
        const WindowPicture screen = CaptureScreen(window);
        return !screen.pixels.empty() && WhitePixels(screen, beyondWhole) == 0;
    })) << "the longer text stays on the screen";
    ::DestroyWindow(window);
}

// A change repaints only its own part of the window; the screen then shows
// what a paint of the whole window gives, pixel for pixel.
TEST_F(Screenshots, PartialRepaintsMatchAWholePaint)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgMain.xml", record);
    HWND window = dialog->Open();
    ASSERT_NE(window, nullptr);
    dialog->ShowWindow(true);
    ::SetWindowPos(window, HWND_TOPMOST, 30, 30, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    auto* bar = static_cast<CGifProgressUI*>(dialog->Find(L"down_progress"));
    for (int value : {40, 73}) {
        bar->SetValue(value);
        dialog->Find(L"label_percent")->SetText(std::to_wstring(value) + L"%");
        dialog->Find(L"label_downinfo")->SetText(L"正在下载：" + std::to_wstring(value));
        const WindowPicture whole = CaptureClient(window);
        EXPECT_TRUE(WaitFor([&] {
            PumpMessages();
            return CaptureScreen(window).pixels == whole.pixels;
        })) << "at " << value << "%";
    }
    ::DestroyWindow(window);
}
