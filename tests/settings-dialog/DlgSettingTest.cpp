// The settings dialog on real windows over a skinned owner, with its
// settings files in a folder of the test's own and the autostart value in
// the test prefix's registry. Web pages go to a recorder, never a browser.
#include "shell/AutoStartValue.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "ui/TestDialog.h"
#include "ui/WindowPicture.h"

#include "settings/AppSetting.h"
#include "shell/AutoStart.h"
#include "ui/DlgSetting.h"
#include "ui/toolkit/EditUI.h"
#include "ui/toolkit/OptionUI.h"
#include "ui/toolkit/SkinResources.h"

#include <gtest/gtest.h>

#include <functional>

using namespace uitk;

namespace {

// As the program makes it, but not shown: showing a window costs seconds
// under Wine on a desktop without a window manager.
const DWORD kDialogStyle = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU;

class DlgSettingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CWndShadow::Initialize(CSkinResources::GetInstance());
        ASSERT_TRUE(CSkinResources::SetResourceZipFromResource(130, L"ZIPRES"));
        RemoveAutoStartValue();
        m_folder.Write(L"base.cfg", "{\"downlimit\": 300, \"uplimit\": 20, \"uuid\": \"kept\"}");
        ASSERT_TRUE(static_cast<CBaseSetting&>(m_settings).LoadFile(m_settings.m_baseCfgPath));
        m_owner = new TestDialog(L"DlgMain.xml", std::make_shared<DialogRecord>());
        m_ownerWindow = m_owner->Open();
    }
    void TearDown() override
    {
        for (CDUIDialogBase* dialog : std::deque<CDUIDialogBase*>(CDUIDialogBase::OpenDialogs()))
            ::DestroyWindow(dialog->GetHWND());
        PumpMessages();
        RemoveAutoStartValue();
    }

    // Opens the dialog without its modal run, so the test can drive it.
    HWND Open()
    {
        auto* dialog = new CDlgSetting(m_settings, [this](const std::wstring& url) { m_openedUrls.push_back(url); });
        HWND window = dialog->Create(m_ownerWindow, L"配置设置", kDialogStyle, 0);
        m_dialog = dialog;
        PumpMessages();
        return window;
    }
    template <typename T>
    T* Control(const wchar_t* name) const
    {
        return static_cast<T*>(m_dialog->FindControl(name));
    }
    CEditUI* DownBox() const { return Control<CEditUI>(L"edit_downspeed"); }
    CEditUI* UpBox() const { return Control<CEditUI>(L"edit_upspeed"); }
    COptionUI* AutoStartOption() const { return Control<COptionUI>(L"opt_autostart"); }
    COptionUI* NoAutoStartOption() const { return Control<COptionUI>(L"opt_unautostart"); }

    // Types into the download box as a player does: a click opens the native
    // edit window, whose whole text is replaced.
    void TypeDownLimit(HWND window, const wchar_t* text)
    {
        ClickAt(window, CentreOf(DownBox()->GetPos()));
        HWND native = DownBox()->GetNativeWindow();
        ASSERT_NE(native, nullptr);
        ::SendMessageW(native, EM_SETSEL, 0, -1);
        ::SendMessageW(native, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    }
    void ClickControl(HWND window, CControlUI* control) { ClickAt(window, CentreOf(control->GetPos())); }
    void CloseWithButton(HWND window)
    {
        ClickControl(window, Control<CControlUI>(L"btn_close"));
        PumpMessages();
        ASSERT_FALSE(::IsWindow(window));
    }
    void CloseWithEscape(HWND window, HWND focus)
    {
        MSG escape{focus, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
        ASSERT_TRUE(CControlHost::TranslateMessage(&escape));
        PumpMessages();
        ASSERT_FALSE(::IsWindow(window));
    }
    // The limits as they are in "base.cfg" now.
    CBaseSetting Saved() const
    {
        CBaseSetting saved;
        saved.LoadFile(m_settings.m_baseCfgPath);
        return saved;
    }

    TempDir m_folder;
    CAppSetting m_settings{m_folder.Path() + L"\\"};
    TestDialog* m_owner = nullptr;
    HWND m_ownerWindow = nullptr;
    CDlgSetting* m_dialog = nullptr; // gone once its window is
    std::vector<std::wstring> m_openedUrls;
};

} // namespace

TEST_F(DlgSettingTest, OpensWithTheStoredLimitAndTheUploadBoxHidden)
{
    HWND window = Open();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(DownBox()->GetText(), L"300");
    EXPECT_FALSE(UpBox()->IsVisible());
    EXPECT_EQ(UpBox()->GetText(), L"20");
    EXPECT_TRUE(NoAutoStartOption()->IsSelected());
    EXPECT_FALSE(AutoStartOption()->IsSelected());
    EXPECT_FALSE(AutoStartValueExists()) << "opening never writes the registry";

    RECT client{};
    ::GetClientRect(window, &client);
    EXPECT_EQ(client.right, 506);
    EXPECT_EQ(client.bottom, 257);
}

TEST_F(DlgSettingTest, ClearedBoxIsStoredAsNoLimitWithTheCloseButton)
{
    HWND window = Open();
    TypeDownLimit(window, L"");
    CloseWithButton(window);
    EXPECT_EQ(m_settings.m_downLimit, 0);
    EXPECT_EQ(m_settings.m_upLimit, 20) << "the hidden box is written back unchanged";
    CBaseSetting saved = Saved();
    EXPECT_EQ(saved.m_downLimit, 0);
    EXPECT_EQ(saved.m_upLimit, 20);
    EXPECT_EQ(saved.m_uuid, L"kept");
}

TEST_F(DlgSettingTest, EscapeStoresWhatIsTypedLikeTheCloseButton)
{
    HWND window = Open();
    TypeDownLimit(window, L"1000");
    CloseWithEscape(window, DownBox()->GetNativeWindow());
    EXPECT_EQ(m_settings.m_downLimit, 1000);
    EXPECT_EQ(Saved().m_downLimit, 1000);

    // The largest the box takes.
    window = Open();
    TypeDownLimit(window, L"123456789");
    CloseWithButton(window);
    EXPECT_EQ(m_settings.m_downLimit, 1234567);
}

TEST_F(DlgSettingTest, ClosingUnchangedStillRewritesTheFile)
{
    ::DeleteFileW(m_settings.m_baseCfgPath.c_str());
    HWND window = Open();
    CloseWithEscape(window, window);
    EXPECT_EQ(Saved().m_downLimit, 300);
    EXPECT_EQ(Saved().m_upLimit, 20);
}

TEST_F(DlgSettingTest, PastedTextThatIsNoNumberIsNoLimitAndANegativeOneChangesNothing)
{
    struct Case {
        const wchar_t* pasted;
        int stored;
    };
    for (const Case& c : {Case{L"abc", 0}, Case{L"  42kb", 42}, Case{L"+7", 7}}) {
        HWND window = Open();
        DownBox()->SetText(c.pasted);
        CloseWithButton(window);
        EXPECT_EQ(m_settings.m_downLimit, c.stored);
    }

    ::DeleteFileW(m_settings.m_baseCfgPath.c_str());
    HWND window = Open();
    DownBox()->SetText(L"-5");
    CloseWithButton(window);
    EXPECT_EQ(m_settings.m_downLimit, 7);
    EXPECT_EQ(m_settings.m_upLimit, 20);
    EXPECT_FALSE(m_folder.Exists(L"base.cfg"));

    // Nor does a negative upload limit brought by the file.
    m_settings.m_upLimit = -1;
    window = Open();
    DownBox()->SetText(L"55");
    CloseWithButton(window);
    EXPECT_EQ(m_settings.m_downLimit, 7);
    EXPECT_FALSE(m_folder.Exists(L"base.cfg"));
}

TEST_F(DlgSettingTest, TheOptionsWriteAndDeleteTheRunValueAtOnce)
{
    HWND window = Open();
    ClickControl(window, AutoStartOption());
    std::wstring value;
    ASSERT_TRUE(ReadAutoStartValue(value));
    EXPECT_EQ(value, GetModulePath());

    // Clicking the selected option again raises nothing and writes nothing.
    WriteAutoStartValue(REG_SZ, L"C:\\marker");
    ClickControl(window, AutoStartOption());
    ASSERT_TRUE(ReadAutoStartValue(value));
    EXPECT_EQ(value, L"C:\\marker");

    SetAutoStart(true);
    ClickControl(window, NoAutoStartOption());
    EXPECT_FALSE(AutoStartValueExists());
    CloseWithButton(window);
    EXPECT_FALSE(AutoStartValueExists());

    // Opened again, the dialog shows the value as it is and leaves it.
    SetAutoStart(true);
    window = Open();
    EXPECT_TRUE(AutoStartOption()->IsSelected());
    EXPECT_FALSE(NoAutoStartOption()->IsSelected());
    CloseWithButton(window);
    EXPECT_TRUE(QueryAutoStart());
}

TEST_F(DlgSettingTest, AnotherCopysRunValueShowsAsOffUntilAutostartIsChosen)
{
    WriteAutoStartValue(REG_SZ, L"C:\\Other\\KorvaneDownloader.exe");
    HWND window = Open();
    EXPECT_TRUE(NoAutoStartOption()->IsSelected());
    std::wstring value;
    ASSERT_TRUE(ReadAutoStartValue(value));
    EXPECT_EQ(value, L"C:\\Other\\KorvaneDownloader.exe");

    ClickControl(window, AutoStartOption());
    ASSERT_TRUE(ReadAutoStartValue(value));
    EXPECT_EQ(value, GetModulePath());
}

TEST_F(DlgSettingTest, TheSiteButtonOpensItsOwnAddress)
{
    HWND window = Open();
    CControlUI* site = Control<CControlUI>(L"btn_url");
    ASSERT_NE(site, nullptr);
    const std::wstring address = site->GetText();
    EXPECT_EQ(address.rfind(L"https://", 0), 0u) << "the build writes the site into the skin";
    ClickControl(window, site);
    ASSERT_EQ(m_openedUrls, std::vector<std::wstring>{address});
    // Other controls open nothing.
    ClickControl(window, Control<CControlUI>(L"label_title"));
    EXPECT_EQ(m_openedUrls.size(), 1u);
    EXPECT_TRUE(::IsWindow(window));
}

namespace {

std::function<void()> g_duringModalRun;

// Runs `action` once from inside whatever message loop is running.
void RunSoon(std::function<void()> action)
{
    g_duringModalRun = std::move(action);
    ::SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        ::KillTimer(nullptr, id);
        g_duringModalRun();
    });
}

std::wstring ScreenshotPath(const wchar_t* name)
{
    std::wstring folder = WindowsPathOfHostPath(KORVANE_SCREENSHOT_DIR);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\" + name;
}

} // namespace

TEST_F(DlgSettingTest, TheModalRunCentresOverTheDisabledOwnerAndReturnsTheCloseCode)
{
    ::SetWindowPos(m_ownerWindow, nullptr, 60, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    m_owner->ShowWindow(true);
    bool ownerDisabled = false;
    RECT outer{}, inner{};
    RunSoon([&] {
        auto* dialog = CDUIDialogBase::OpenDialogs().front();
        HWND window = dialog->GetHWND();
        ownerDisabled = !::IsWindowEnabled(m_ownerWindow);
        ::GetWindowRect(m_ownerWindow, &outer);
        ::GetWindowRect(window, &inner);
        ::UpdateWindow(window);
        EXPECT_TRUE(SavePng(CaptureClient(window), ScreenshotPath(L"settings_dialog.png")));
        ::PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    const UINT result = CDlgSetting::RunModal(m_ownerWindow, m_settings, nullptr);
    EXPECT_EQ(result, 1u);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(::IsWindowEnabled(m_ownerWindow));
    EXPECT_EQ(inner.right - inner.left, 506);
    EXPECT_LE(std::abs((outer.left + outer.right) - (inner.left + inner.right)), 1);
    EXPECT_LE(std::abs((outer.top + outer.bottom) - (inner.top + inner.bottom)), 1);
    EXPECT_EQ(CDUIDialogBase::OpenDialogs().size(), 1u);
    EXPECT_EQ(Saved().m_downLimit, 300);

    RunSoon([&] {
        auto* dialog = static_cast<CDlgSetting*>(CDUIDialogBase::OpenDialogs().front());
        ClickAt(dialog->GetHWND(), CentreOf(dialog->FindControl(L"btn_close")->GetPos()));
    });
    EXPECT_EQ(CDlgSetting::RunModal(m_ownerWindow, m_settings, nullptr), 2u);
}
