// The dialog base on real windows: closing rules, the open-dialog list,
// the modal run, option groups and the drag band.
#include "TestDialog.h"

#include "support/ChildProcess.h"
#include "ui/toolkit/EditUI.h"
#include "ui/toolkit/OptionUI.h"
#include "ui/toolkit/SkinResources.h"

#include <gtest/gtest.h>

using namespace uitk;

namespace {

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CWndShadow::Initialize(CSkinResources::GetInstance());
        ASSERT_TRUE(CSkinResources::SetResourceZipFromResource(130, L"ZIPRES"));
    }
    void TearDown() override
    {
        for (CDUIDialogBase* dialog : std::deque<CDUIDialogBase*>(CDUIDialogBase::OpenDialogs()))
            ::DestroyWindow(dialog->GetHWND());
        PumpMessages();
    }

    // Takes a WM_CLOSE posted to the window, if any, out of the queue.
    static bool TakeClose(HWND window, WPARAM& wParam)
    {
        MSG msg;
        if (!::PeekMessageW(&msg, window, WM_CLOSE, WM_CLOSE, PM_REMOVE))
            return false;
        wParam = msg.wParam;
        return true;
    }

    struct MainAndSettings {
        std::shared_ptr<DialogRecord> mainRecord;
        TestDialog* owner;
        HWND ownerWindow;
        std::shared_ptr<DialogRecord> settingsRecord;
        TestDialog* settings;
        HWND settingsWindow;
    };

    // The main window and the settings dialog it owns, as the program opens them.
    static MainAndSettings OpenMainAndSettings()
    {
        MainAndSettings opened;
        opened.mainRecord = std::make_shared<DialogRecord>();
        opened.owner = new TestDialog(L"DlgMain.xml", opened.mainRecord);
        opened.ownerWindow = opened.owner->Open();
        opened.settingsRecord = std::make_shared<DialogRecord>();
        opened.settings = new TestDialog(L"DlgSetting.xml", opened.settingsRecord);
        opened.settingsWindow = opened.settings->Open(opened.ownerWindow);
        return opened;
    }

    // The layout's caption band in the client area: its insets from the
    // window's left, top and right edges, and its height.
    static RECT CaptionBand(TestDialog& dialog)
    {
        const RECT inset = dialog.GetControlHost().GetCaptionRect();
        const SIZE size = dialog.GetControlHost().GetInitSize();
        return RECT{inset.left, inset.top, size.cx - inset.right, inset.bottom};
    }

    static LRESULT HitTest(HWND window, POINT client)
    {
        ::ClientToScreen(window, &client);
        return ::SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(client.x, client.y));
    }
};

} // namespace

TEST_F(DialogTest, CloseButtonPostsCloseTwoAndNeverReachesTheClickHandler)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgMain.xml", record);
    HWND window = dialog->Open();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(record->initialised);
    ASSERT_EQ(CDUIDialogBase::OpenDialogs().front(), dialog);

    ClickAt(window, CentreOf(dialog->Find(L"btn_close")->GetPos()));
    WPARAM wParam = 0;
    ASSERT_TRUE(TakeClose(window, wParam));
    EXPECT_EQ(wParam, 2u);
    EXPECT_TRUE(record->clicks.empty());

    // Another button goes to the handler.
    ClickAt(window, CentreOf(dialog->Find(L"btn_home")->GetPos()));
    ASSERT_EQ(record->clicks.size(), 1u);
    EXPECT_EQ(record->clicks[0], L"btn_home");

    // The close itself unlists, destroys and deletes.
    ::SendMessageW(window, WM_CLOSE, 2, 0);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_TRUE(record->deleted);
    EXPECT_TRUE(CDUIDialogBase::OpenDialogs().empty());
}

TEST_F(DialogTest, AButtonReleasedOutsideItselfIsNoClick)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgMain.xml", record);
    HWND window = dialog->Open();
    RECT home = dialog->Find(L"btn_home")->GetPos();
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(home.left + 5, home.top + 5));
    ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(home.left - 20, home.top + 5));
    EXPECT_TRUE(record->clicks.empty());
    // A disabled button takes no click either.
    dialog->Find(L"btn_home")->SetEnabled(false);
    ClickAt(window, CentreOf(home));
    EXPECT_TRUE(record->clicks.empty());
}

TEST_F(DialogTest, EscapeClosesWithOneAndEnterPasses)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgSetting.xml", record);
    HWND window = dialog->Open();

    MSG enter{window, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_FALSE(CControlHost::TranslateMessage(&enter));
    WPARAM wParam = 0;
    EXPECT_FALSE(TakeClose(window, wParam));

    MSG escape{window, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_TRUE(CControlHost::TranslateMessage(&escape));
    ASSERT_TRUE(TakeClose(window, wParam));
    EXPECT_EQ(wParam, 1u);
}

TEST_F(DialogTest, ModalRunDisablesTheOwnerAndReturnsTheCloseCode)
{
    auto [mainRecord, owner, ownerWindow, settingsRecord, settings, settingsWindow] = OpenMainAndSettings();
    ASSERT_NE(settingsWindow, nullptr);
    EXPECT_EQ(CDUIDialogBase::OpenDialogs().front(), settings);
    EXPECT_EQ(CDUIDialogBase::OpenDialogs().size(), 2u);

    // The owner's timers keep running inside the nested loop; the owner is
    // disabled meanwhile.
    ::SetTimer(ownerWindow, 5, 10, nullptr);
    static bool ownerEnabledDuringRun;
    ownerEnabledDuringRun = true;
    ::SetTimer(settingsWindow, 77, 150, [](HWND hwnd, UINT, UINT_PTR, DWORD) {
        ::KillTimer(hwnd, 77);
        ownerEnabledDuringRun = ::IsWindowEnabled(::GetWindow(hwnd, GW_OWNER)) != FALSE;
        ::PostMessageW(hwnd, WM_CLOSE, 2, 0);
    });
    UINT result = settings->ShowModal();
    ::KillTimer(ownerWindow, 5);

    EXPECT_FALSE(ownerEnabledDuringRun);
    EXPECT_FALSE(mainRecord->timers.empty());
    EXPECT_EQ(result, 2u);
    EXPECT_FALSE(::IsWindow(settingsWindow));
    EXPECT_TRUE(settingsRecord->deleted);
    EXPECT_TRUE(::IsWindowEnabled(ownerWindow));
    ASSERT_EQ(CDUIDialogBase::OpenDialogs().size(), 1u);
    EXPECT_EQ(CDUIDialogBase::OpenDialogs().front(), owner);
}

TEST_F(DialogTest, ModalRunEndsOnQuitAndPostsTheQuitAgain)
{
    auto [mainRecord, owner, ownerWindow, settingsRecord, settings, settingsWindow] = OpenMainAndSettings();

    ::PostQuitMessage(7);
    settings->ShowModal();
    EXPECT_TRUE(::IsWindowEnabled(ownerWindow));
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
    ::DestroyWindow(settingsWindow);
    EXPECT_TRUE(settingsRecord->deleted);
}

TEST_F(DialogTest, OptionsOfAGroupExcludeEachOtherAndAReclickRaisesNothing)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgSetting.xml", record);
    HWND window = dialog->Open();
    auto* on = static_cast<COptionUI*>(dialog->Find(L"opt_autostart"));
    auto* off = static_cast<COptionUI*>(dialog->Find(L"opt_unautostart"));
    ASSERT_NE(on, nullptr);
    ASSERT_NE(off, nullptr);

    ClickAt(window, CentreOf(on->GetPos()));
    EXPECT_TRUE(on->IsSelected());
    EXPECT_FALSE(off->IsSelected());
    ASSERT_EQ(record->selectChanges, std::vector<std::wstring>{L"opt_autostart"});

    ClickAt(window, CentreOf(off->GetPos()));
    EXPECT_FALSE(on->IsSelected());
    EXPECT_TRUE(off->IsSelected());
    size_t changes = record->selectChanges.size();
    EXPECT_EQ(record->selectChanges.back(), L"opt_unautostart");

    ClickAt(window, CentreOf(off->GetPos()));
    EXPECT_TRUE(off->IsSelected());
    EXPECT_EQ(record->selectChanges.size(), changes);
    EXPECT_TRUE(record->clicks.empty() || record->clicks.back() != L"btn_close");
}

TEST_F(DialogTest, TheCaptionBandDragsExceptOnButtons)
{
    auto mainRecord = std::make_shared<DialogRecord>();
    auto settingsRecord = std::make_shared<DialogRecord>();
    auto* main = new TestDialog(L"DlgMain.xml", mainRecord);
    HWND mainWindow = main->Open();
    const RECT mainBand = CaptionBand(*main);
    EXPECT_EQ(HitTest(mainWindow, CentreOf(mainBand)), HTCAPTION);
    EXPECT_EQ(HitTest(mainWindow, POINT{mainBand.right - 1, mainBand.bottom - 1}), HTCAPTION);
    EXPECT_EQ(HitTest(mainWindow, POINT{mainBand.left, mainBand.bottom}), HTCLIENT);
    EXPECT_EQ(HitTest(mainWindow, CentreOf(main->Find(L"btn_home")->GetPos())), HTCLIENT);
    EXPECT_EQ(HitTest(mainWindow, CentreOf(main->Find(L"btn_start")->GetPos())), HTCLIENT);
    // The percentage label lies in the band and drags like the artwork.
    EXPECT_EQ(HitTest(mainWindow, CentreOf(main->Find(L"label_percent")->GetPos())), HTCAPTION);

    auto* settings = new TestDialog(L"DlgSetting.xml", settingsRecord);
    HWND settingsWindow = settings->Open(mainWindow);
    const RECT settingsBand = CaptionBand(*settings);
    EXPECT_EQ(HitTest(settingsWindow, CentreOf(settingsBand)), HTCAPTION);
    EXPECT_EQ(HitTest(settingsWindow, POINT{settingsBand.right - 1, settingsBand.bottom - 1}), HTCAPTION);
    EXPECT_EQ(HitTest(settingsWindow, POINT{settingsBand.left, settingsBand.bottom}), HTCLIENT);
    EXPECT_EQ(HitTest(settingsWindow, CentreOf(settings->Find(L"btn_close")->GetPos())), HTCLIENT);
}

TEST_F(DialogTest, EveryTimerReachesTheDialogHook)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgMain.xml", record);
    HWND window = dialog->Open();
    ::SetTimer(window, 4, 10, nullptr);
    EXPECT_TRUE(WaitFor([&] {
        PumpMessages();
        return !record->timers.empty();
    }));
    ::KillTimer(window, 4);
    EXPECT_EQ(record->timers.front(), 4u);
}

TEST_F(DialogTest, EditBoxesTakeDigitsUpToTheirLimit)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgSetting.xml", record);
    HWND window = dialog->Open();
    dialog->ShowWindow(true);
    auto* edit = static_cast<CEditUI*>(dialog->Find(L"edit_downspeed"));
    ASSERT_NE(edit, nullptr);
    edit->SetText(L"300");
    ClickAt(window, CentreOf(edit->GetPos()));
    HWND native = edit->GetNativeWindow();
    ASSERT_NE(native, nullptr);
    EXPECT_TRUE(::GetWindowLongPtrW(native, GWL_STYLE) & ES_NUMBER);
    ::SetWindowTextW(native, L"");
    ::SendMessageW(native, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"123456789"));
    EXPECT_EQ(edit->GetText(), L"1234567");
    // Leaving the box keeps the text and closes the native window.
    ::SetFocus(window);
    PumpMessages();
    EXPECT_EQ(edit->GetNativeWindow(), nullptr);
    EXPECT_EQ(edit->GetText(), L"1234567");
}

TEST_F(DialogTest, TheShadowLiesAroundTheShownWindowAndHidesWhenItIsMinimised)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgMain.xml", record);
    HWND window = dialog->Open();
    HWND shadow = dialog->ShadowWindow();
    ASSERT_NE(shadow, nullptr);
    EXPECT_FALSE(::IsWindowVisible(shadow)); // the owner is not shown yet
    ::SetWindowPos(window, nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    // Shown as the program shows its windows: then told its size.
    dialog->ShowWindow(true);
    ::SendMessageW(window, WM_SIZE, 0, MAKELPARAM(632, 302));
    PumpMessages();
    EXPECT_TRUE(::IsWindowVisible(shadow));
    RECT owner{}, around{};
    ::GetWindowRect(window, &owner);
    ::GetWindowRect(shadow, &around);
    EXPECT_EQ(owner.right - owner.left, 632);
    EXPECT_EQ(around.left, owner.left - 5);
    EXPECT_EQ(around.top, owner.top - 5);
    EXPECT_EQ(around.right - around.left, 644);
    EXPECT_EQ(around.bottom - around.top, 314);

    // Moving the owner moves the shadow along.
    ::SetWindowPos(window, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::GetWindowRect(shadow, &around);
    EXPECT_EQ(around.left, 195);
    EXPECT_EQ(around.top, 145);

    ::ShowWindow(window, SW_MINIMIZE);
    PumpMessages();
    EXPECT_FALSE(::IsWindowVisible(shadow));
    ::ShowWindow(window, SW_RESTORE);
    PumpMessages();
    EXPECT_TRUE(::IsWindowVisible(shadow));

    ::DestroyWindow(window);
    EXPECT_FALSE(::IsWindow(shadow));
}

TEST(SkinView, ALayoutThatCannotBeBuiltEndsTheProgramWithItsMessage)
{
    ChildProcess viewer;
    ASSERT_TRUE(viewer.Start(WindowsPathOfHostPath(KORVANE_SKIN_VIEW_PATH), L"NoSuchLayout.xml",
                             WindowsPathOfHostPath(KORVANE_SCREENSHOT_DIR "/..")));
    HWND box = viewer.WaitForWindowTitled(L"Duilib");
    ASSERT_NE(box, nullptr);
    std::wstring text;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM out) -> BOOL {
            wchar_t buffer[256] = {};
            ::GetWindowTextW(child, buffer, 256);
            if (std::wstring(buffer).find(L"加载资源文件失败") != std::wstring::npos)
                *reinterpret_cast<std::wstring*>(out) = buffer;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    EXPECT_EQ(text, L"加载资源文件失败");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(viewer.WaitForExit(), 1u);
}

TEST(SkinView, OpensALayoutAloneAndSavesItsPicture)
{
    ::CreateDirectoryW(WindowsPathOfHostPath(KORVANE_SCREENSHOT_DIR).c_str(), nullptr);
    std::wstring picture = WindowsPathOfHostPath(KORVANE_SCREENSHOT_DIR "/skin_view_settings.png");
    ::DeleteFileW(picture.c_str());
    ChildProcess viewer;
    ASSERT_TRUE(viewer.Start(WindowsPathOfHostPath(KORVANE_SKIN_VIEW_PATH), L"DlgSetting.xml \"" + picture + L"\"",
                             WindowsPathOfHostPath(KORVANE_SCREENSHOT_DIR "/..")));
    EXPECT_EQ(viewer.WaitForExit(), 0u);
    EXPECT_NE(::GetFileAttributesW(picture.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DialogTest, ADialogIsCentredOverItsOwner)
{
    auto [mainRecord, owner, ownerWindow, settingsRecord, settings, settingsWindow] = OpenMainAndSettings();
    ::SetWindowPos(ownerWindow, nullptr, 120, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    owner->ShowWindow(true);
    settings->CenterWindow();
    RECT outer{}, inner{};
    ::GetWindowRect(ownerWindow, &outer);
    ::GetWindowRect(settingsWindow, &inner);
    EXPECT_EQ(inner.right - inner.left, 506);
    EXPECT_LE(std::abs((outer.left + outer.right) - (inner.left + inner.right)), 1);
    EXPECT_LE(std::abs((outer.top + outer.bottom) - (inner.top + inner.bottom)), 1);
    (void)mainRecord;
    (void)settingsRecord;
}

TEST_F(DialogTest, AWindowShownLaterWithoutASizeMessageGetsItsShadow)
{
    auto record = std::make_shared<DialogRecord>();
    auto* dialog = new TestDialog(L"DlgMain.xml", record);
    HWND window = dialog->Open();
    HWND shadow = dialog->ShadowWindow();
    ASSERT_NE(shadow, nullptr);
    // As a second start of the program shows a hidden first one.
    ::ShowWindow(window, SW_SHOWNORMAL);
    PumpMessages();
    EXPECT_TRUE(::IsWindowVisible(shadow));
    ::ShowWindow(window, SW_HIDE);
    EXPECT_FALSE(::IsWindowVisible(shadow));
}
