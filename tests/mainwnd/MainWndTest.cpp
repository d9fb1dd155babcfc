// The main window on a real window, clicked as a player clicks it, with the
// download description from the tests' server and a scripted kernel: its
// display states, the folder rule, the start refusals, the progress display,
// the completion display, the taskbar button, the background and its
// closing.
#include "ui/TestDialog.h"
#include "ui/WindowPicture.h"
#include "workflow/Collector.h"
#include "workflow/FakeKernel.h"

#include "support/ChildProcess.h"
#include "support/DebugOutputMonitor.h"
#include "support/ProgramDriver.h"
#include "support/TempDir.h"
#include "ui/GifProgressUI.h"
#include "ui/MainWnd.h"
#include "ui/toolkit/SkinRenderer.h"
#include "ui/toolkit/SkinResources.h"
#include "util/TextConvert.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace uitk;

namespace {

using Calls = std::vector<std::string>;

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Contains(const Calls& calls, const std::string& call)
{
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

std::wstring DesktopShortcut()
{
    wchar_t desktop[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, TRUE);
    return std::wstring(desktop) + L"\\Korvane.lnk";
}

// The target and working folder of a shell link file.
std::wstring ShortcutTarget(const std::wstring& path, std::wstring& workingFolder)
{
    Microsoft::WRL::ComPtr<IShellLinkW> link;
    Microsoft::WRL::ComPtr<IPersistFile> file;
    wchar_t target[MAX_PATH] = {}, folder[MAX_PATH] = {};
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))) ||
        FAILED(link.As(&file)) || FAILED(file->Load(path.c_str(), STGM_READ)) ||
        FAILED(link->GetPath(target, MAX_PATH, nullptr, 0)))
        return L"";
    link->GetWorkingDirectory(folder, MAX_PATH);
    workingFolder = folder;
    return target;
}

std::wstring ScreenshotPath(const wchar_t* name)
{
    std::wstring folder = WindowsPathOfHostPath(KORVANE_SCREENSHOT_DIR);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\" + name;
}

// A description and a torrent on the tests' server, under the client id.
bool ServeDownload(const std::string& uuid)
{
    const std::string torrentUrl = CollectorUrl("/files/" + uuid + "/korvane.torrent");
    return StoreOnCollector(uuid + "/server.cfg", "{\"torrentUrl\":\"" + torrentUrl +
                                                      "\",\"mainExe\":\"bin\\\\game.exe\",\"ver\":\"1.2.3\"}") &&
           StoreOnCollector(uuid + "/korvane.torrent", "d8:announce0:4:infod4:name7:Korvaneee");
}

// The tests' game has run in `folder`: its marker is written, and let go
// of, so the folder can be removed.
bool GameStartedIn(const std::wstring& folder)
{
    const std::wstring marker = folder + L"game-started.txt";
    return WaitFor([&] {
        CUniqueHandle file(::CreateFileW(marker.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return file.Valid() && ::GetFileSize(file.Get(), nullptr) != 0;
    });
}

// What the window showed the player and what it asked; shared, because the
// window deletes itself when it goes.
struct WindowRecord {
    std::vector<std::wstring> messages; // caption|text
    std::vector<std::wstring> folderChoices; // what the folder browser answers, in turn; empty: cancel
    std::vector<std::wstring> urls;
    std::vector<HWND> settingsOwners;
    bool realSettingsDialog = false;
    bool realMessageBoxes = false;
    bool realFolderBrowser = false;
    bool deleted = false;
    Calls taskbar; // what the taskbar button was told
};

// The window's taskbar button, recording what the shell would be told.
class RecordingTaskbarButton : public ITaskbarButton {
public:
    RecordingTaskbarButton(HWND window, std::shared_ptr<WindowRecord> record)
        : m_window(window), m_record(std::move(record))
    {
    }
    ~RecordingTaskbarButton() override { Record(::IsWindow(m_window) ? "released" : "released after the window"); }

    void SetState(TBPFLAG state) override
    {
        switch (state) {
        case TBPF_NOPROGRESS: return Record("none");
        case TBPF_INDETERMINATE: return Record("indeterminate");
        case TBPF_NORMAL: return Record("normal");
        case TBPF_ERROR: return Record("error");
        case TBPF_PAUSED: return Record("paused");
        }
        Record("state " + std::to_string(state));
    }
    void SetValue(ULONGLONG completed, ULONGLONG total) override
    {
        Record(std::to_string(completed) + "/" + std::to_string(total));
    }
    void Flash() override { Record("flash"); }

private:
    void Record(const std::string& call) { m_record->taskbar.push_back(call); }

    HWND m_window;
    std::shared_ptr<WindowRecord> m_record;
};

// The main window with the player's answers to its native dialogs scripted.
class TestMainWnd : public CMainWnd {
public:
    TestMainWnd(CAppSetting& settings, const SWorkflowOptions& options, bool exitOnDone,
                std::shared_ptr<WindowRecord> record)
        : CMainWnd(settings, options, exitOnDone), m_record(std::move(record))
    {
        SetUrlOpener([r = m_record](const std::wstring& url) { r->urls.push_back(url); });
        if (!m_record->realSettingsDialog)
            SetSettingsDialogRunner([r = m_record](HWND owner) { r->settingsOwners.push_back(owner); });
    }
    ~TestMainWnd() override { m_record->deleted = true; }

    CControlUI* Find(const wchar_t* name) { return FindControl(name); }
    void ShowMessage(const wchar_t* caption, const wchar_t* text, UINT icon) override
    {
        m_record->messages.push_back(std::wstring(caption) + L"|" + text);
        if (m_record->realMessageBoxes)
            CMainWnd::ShowMessage(caption, text, icon);
    }

protected:
    bool BrowseForFolder(std::wstring& folder) override
    {
        if (m_record->realFolderBrowser)
            return CMainWnd::BrowseForFolder(folder);
        if (m_record->folderChoices.empty())
            return false;
        folder = m_record->folderChoices.front();
        m_record->folderChoices.erase(m_record->folderChoices.begin());
        return !folder.empty();
    }

private:
    std::shared_ptr<WindowRecord> m_record;
};

class MainWndTest : public ::testing::Test {
protected:
    MainWndTest()
        : m_cfgDir(m_temp.Path() + L"\\cfg\\"),
          m_folder(m_temp.Path() + L"\\games\\Korvane\\"),
          m_uuid(UniqueClientId("mw")),
          m_settings(m_cfgDir)
    {
        CWndShadow::Initialize(CSkinResources::GetInstance());
        CSkinRenderer::StartGdiplus();
        CSkinResources::SetResourceZipFromResource(130, L"ZIPRES");
        ::CoInitialize(nullptr);
        m_kernel = std::make_unique<FakeKernel>(m_cfgDir);
        m_options.configUrl = Widen(CollectorUrl("/files/" + ServerName("server.cfg")));
        m_options.p2pPort = 9310;
        m_options.runGame = true;
        m_options.reportHost = CollectorHost();
        WriteBaseSettings(m_folder);
        ::DeleteFileW(DesktopShortcut().c_str());
    }

    ~MainWndTest() override
    {
        Close();
        m_kernel.reset();
        ::DeleteFileW(DesktopShortcut().c_str());
    }

    std::string ServerName(const std::string& name) const { return m_uuid + "/" + name; }

    void WriteBaseSettings(const std::wstring& folder)
    {
        m_temp.Write(L"cfg\\base.cfg",
                     "{\"savepath\":\"" + JsonText(WideToAnsi(folder)) + "\",\"uuid\":\"" + m_uuid + "\"}");
    }

    // Opens the window as start-up does; the test ticks its timers itself.
    void Open()
    {
        m_window = new TestMainWnd(m_settings, m_options, m_exitOnDone, m_record);
        m_hwnd = m_window->Create(nullptr, L"Korvane下载器", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN |
                                                                 WS_SYSMENU | WS_MINIMIZEBOX, 0);
        ASSERT_NE(m_hwnd, nullptr);
        ::KillTimer(m_hwnd, CMainWnd::kBackgroundTimer);
        ::KillTimer(m_hwnd, CMainWnd::kWorkflowTimer);
    }

    // Opened with the description and the torrent fetched: ready to start.
    void OpenReady()
    {
        ASSERT_TRUE(ServeDownload(m_uuid));
        Open();
        ASSERT_TRUE(WaitFor([&] {
            Tick();
            return !m_window->Workflow().Fetching();
        }));
    }

    WorkflowState State() const { return m_window->Workflow().State(); }

    void Close()
    {
        if (::IsWindow(m_hwnd))
            ::DestroyWindow(m_hwnd);
        m_hwnd = nullptr;
        TakeQuit();
    }

    // The quit message the window posts when it goes; true with exit code 0.
    static bool TakeQuit()
    {
        MSG msg;
        return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.wParam == 0;
    }

    // A tick, then the message boxes it asked for, as the message loop
    // would show them.
    void Tick(UINT_PTR timer = CMainWnd::kWorkflowTimer)
    {
        ::SendMessageW(m_hwnd, WM_TIMER, timer, 0);
        MSG notices{};
        while (::PeekMessageW(&notices, m_hwnd, CMainWnd::kShowNoticesMessage, CMainWnd::kShowNoticesMessage,
                              PM_REMOVE))
            ::DispatchMessageW(&notices);
    }
    // Where the player sees the control: laid out as it is painted.
    void Click(const wchar_t* name)
    {
        m_window->GetControlHost().EnsureLayout();
        ClickAt(m_hwnd, CentreOf(m_window->Find(name)->GetPos()));
    }
    CControlUI* Control(const wchar_t* name) { return m_window->Find(name); }
    std::wstring Text(const wchar_t* name) { return Control(name)->GetText(); }
    bool Shown(const wchar_t* name)
    {
        CControlUI* control = Control(name);
        EXPECT_EQ(control->IsVisible(), control->IsEnabled()) << Utf8(name) << " half shown";
        return control->IsVisible();
    }
    // What the shell does as it makes the window's taskbar button, and again
    // after Explorer restarts; Wine never does it.
    void TaskbarButtonCreated() { ::SendMessageW(m_hwnd, ::RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0); }
    Calls TakeTaskbarCalls()
    {
        Calls calls;
        calls.swap(m_record->taskbar);
        return calls;
    }
    int BarValue() { return static_cast<CGifProgressUI*>(Control(L"down_progress"))->GetValue(); }

    // Which of start, pause, resume and folder are shown, and whether the
    // folder box is drawn enabled.
    std::string Buttons()
    {
        std::string shown;
        for (const wchar_t* name : {L"btn_start", L"btn_pause", L"btn_resume", L"btn_folder"})
            if (Shown(name))
                shown += Utf8(name).substr(4) + " ";
        return shown + (Control(L"edit_downdir")->IsEnabled() ? "box" : "-");
    }

    void Snapshot(const wchar_t* name)
    {
        ::ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
        const WindowPicture picture = CaptureClient(m_hwnd);
        EXPECT_EQ(picture.width, 632);
        EXPECT_TRUE(SavePng(picture, ScreenshotPath(name)));
    }

    void PutGameInPlace()
    {
        const std::wstring bin = m_folder + L"bin";
        ::CreateDirectoryW(bin.c_str(), nullptr);
        ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_GAME_STUB).c_str(), (bin + L"\\game.exe").c_str(),
                                FALSE));
    }


    TempDir m_temp;
    std::wstring m_cfgDir;
    std::wstring m_folder;
    std::string m_uuid;
    CAppSetting m_settings;
    SWorkflowOptions m_options;
    bool m_exitOnDone = false;
    std::unique_ptr<FakeKernel> m_kernel;
    std::shared_ptr<WindowRecord> m_record = std::make_shared<WindowRecord>();
    TestMainWnd* m_window = nullptr;
    HWND m_hwnd = nullptr;
};

const char kReady[] = "start folder box";
const char kDownloading[] = "pause -";
const char kPaused[] = "resume folder -";
const char kCompleted[] = "start box";

} // namespace

TEST_F(MainWndTest, StartPauseResumeAndCompletionShowTheirButtonsAndTheDownloadGoesOn)
{
    OpenReady();
    EXPECT_EQ(Buttons(), kReady);
    EXPECT_EQ(Text(L"edit_downdir"), m_folder);
    EXPECT_FALSE(Control(L"edit_downdir")->IsMouseEnabled());
    EXPECT_FALSE(Control(L"edit_downdir")->IsKeyboardEnabled());
    EXPECT_EQ(BarValue(), 0);
    EXPECT_NE(::SendMessageW(m_hwnd, WM_GETICON, ICON_BIG, 0), 0) << "icon 107";
    EXPECT_NE(::SendMessageW(m_hwnd, WM_GETICON, ICON_SMALL, 0), 0) << "icon 107";
    Snapshot(L"main_ready.png");

    Click(L"btn_start");
    EXPECT_EQ(Buttons(), kDownloading);
    ASSERT_EQ(State(), WorkflowState::Downloading) << Utf8(m_window->Workflow().Line());
    EXPECT_TRUE(Contains(m_kernel->TakeCalls(), "Initialize " + Utf8(m_temp.Path()) + "\\games\\ Korvane"));

    m_kernel->SetStatus(Status(DLBT_STATE_DOWNLOADING, 40.0f, 3 << 20, 40 << 20, 100 << 20));
    Tick();
    EXPECT_EQ(Text(L"label_percent"), L"40%");
    EXPECT_EQ(BarValue(), 40);
    EXPECT_NE(Text(L"label_downinfo"), L"");
    Snapshot(L"main_downloading.png");

    Click(L"btn_pause");
    EXPECT_EQ(Buttons(), kPaused);
    EXPECT_EQ(State(), WorkflowState::Paused);
    EXPECT_EQ(m_kernel->TakeCalls(), Calls{"Pause 1"});

    Click(L"btn_resume");
    EXPECT_EQ(Buttons(), kDownloading);
    EXPECT_EQ(State(), WorkflowState::Downloading);
    EXPECT_EQ(m_kernel->TakeCalls(), Calls{"Resume 1"}) << "the same downloader goes on";

    PutGameInPlace();
    m_kernel->SetStatus(Status(DLBT_STATE_COMPLETE, 100.0f, 0, 100 << 20, 100 << 20));
    Tick();
    EXPECT_EQ(Buttons(), kCompleted);
    EXPECT_EQ(Text(L"label_percent"), L"100%");
    EXPECT_EQ(Text(L"label_downinfo"), L"下载完成！");
    std::wstring workingFolder;
    EXPECT_EQ(ShortcutTarget(DesktopShortcut(), workingFolder), m_folder + L"bin\\game.exe");
    EXPECT_EQ(workingFolder, m_folder + L"bin");
    EXPECT_TRUE(GameStartedIn(m_folder + L"bin\\"));
    Snapshot(L"main_completed.png");

    // The completion display ran once: the next ticks change nothing.
    ::DeleteFileW(DesktopShortcut().c_str());
    m_kernel->SetStatus(Status(DLBT_STATE_SEEDING, 100.0f, 0, 100 << 20, 100 << 20));
    Control(L"label_downinfo")->SetText(L"kept");
    Tick();
    Tick();
    EXPECT_FALSE(Exists(DesktopShortcut()));
    EXPECT_EQ(Text(L"label_downinfo"), L"kept");

    Click(L"btn_start");
    EXPECT_EQ(m_record->messages, std::vector<std::wstring>{L"提示|已完成游戏下载"});
    EXPECT_EQ(Buttons(), kCompleted);
}

// The finish report leaves in the tick that ends the program. A collector
// that answers slowly keeps a report only when the client is still there
// for the answer: the window waits for it (a bounded time) before it ends.
TEST_F(MainWndTest, ExitOnDoneWaitsForTheFinishReportToBeAnswered)
{
    m_uuid = UniqueClientId("slow-mw");
    m_options.configUrl = Widen(CollectorUrl("/files/" + ServerName("server.cfg")));
    m_exitOnDone = true;
    m_options.runGame = false;
    WriteBaseSettings(m_folder);
    OpenReady();
    Click(L"btn_start");
    m_kernel->SetStatus(Status(DLBT_STATE_COMPLETE, 100.0f, 0, 100 << 20, 100 << 20));
    Tick();
    EXPECT_EQ(Text(L"label_downinfo"), L"下载完成！");
    MSG end{};
    EXPECT_TRUE(::PeekMessageW(&end, m_hwnd, WM_DESTROY, WM_DESTROY, PM_REMOVE)) << "the window ends the program";
    const std::vector<std::string> reports = ReceivedReports(m_uuid);
    EXPECT_TRUE(std::any_of(reports.begin(), reports.end(),
                            [](const std::string& q) { return q.find("opname=finish") != std::string::npos; }))
        << "the end came before the finish report was answered: " << ::testing::PrintToString(reports);
}

TEST_F(MainWndTest, ThePercentageLabelShowsTheNumberWhileTheBarStaysFull)
{
    OpenReady();
    Click(L"btn_start");
    m_kernel->SetStatus(Status(DLBT_STATE_DOWNLOADING, 100.0f, 1 << 20, 120, 100));
    Tick();
    EXPECT_EQ(Text(L"label_percent"), L"120%");
    EXPECT_EQ(BarValue(), 100);
}

// A shown window that sits still costs nothing: a tick that finds the same
// progress as the last one repaints nothing.
TEST_F(MainWndTest, ATickThatChangesNothingRepaintsNothing)
{
    OpenReady();
    ::ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
    Click(L"btn_start");
    m_kernel->SetStatus(Status(DLBT_STATE_DOWNLOADING, 40.0f, 3 << 20, 40 << 20, 100 << 20));
    Tick();
    ::ValidateRect(m_hwnd, nullptr);
    Tick();
    RECT dirty{};
    EXPECT_FALSE(::GetUpdateRect(m_hwnd, &dirty, FALSE))
        << dirty.left << "," << dirty.top << " - " << dirty.right << "," << dirty.bottom;
}

// The button hears each change once, however many ticks show it, and all
// of it anew after Explorer restarts. The window is not in front (it is not
// even shown), so the completion flashes the button.
TEST_F(MainWndTest, TheTaskbarButtonHearsEachChangeOnceAndFlashesAtACompletionBehindOtherWindows)
{
    m_options.runGame = false;
    OpenReady();
    m_window->SetTaskbarConnector(
        [r = m_record](HWND window) { return std::make_unique<RecordingTaskbarButton>(window, r); });
    TaskbarButtonCreated();
    EXPECT_EQ(TakeTaskbarCalls(), Calls{}) << "ready shows no progress, as a new button does";

    // A failure before any progress; the resume fetches everything again.
    m_kernel->SetInitializeFails(true);
    Click(L"btn_start");
    ASSERT_EQ(State(), WorkflowState::Failed);
    EXPECT_EQ(TakeTaskbarCalls(), (Calls{"error", "100/100"}));
    Click(L"btn_pause");
    EXPECT_EQ(TakeTaskbarCalls(), (Calls{"paused", "0/100"}));
    m_kernel->SetInitializeFails(false);
    m_kernel->SetStatus(Status(DLBT_STATE_DOWNLOADING, 40.0f, 3 << 20, 40 << 20, 100 << 20));
    Click(L"btn_resume");
    ASSERT_EQ(State(), WorkflowState::Preparing);
    ASSERT_TRUE(WaitFor([&] {
        Tick();
        return State() != WorkflowState::Preparing;
    }));
    ASSERT_EQ(State(), WorkflowState::Downloading) << Utf8(m_window->Workflow().Line());
    Tick();
    EXPECT_EQ(TakeTaskbarCalls(), (Calls{"indeterminate", "normal", "40/100"}));

    TaskbarButtonCreated();
    EXPECT_EQ(TakeTaskbarCalls(), (Calls{"released", "normal", "40/100"}));

    Click(L"btn_pause");
    Click(L"btn_resume");
    m_kernel->SetStatus(Status(DLBT_STATE_ERROR, 40.0f, 0, 40 << 20, 100 << 20));
    Tick();
    Tick();
    EXPECT_EQ(TakeTaskbarCalls(), (Calls{"paused", "normal", "error"}));

    ASSERT_NE(::GetForegroundWindow(), m_hwnd);
    m_kernel->SetStatus(Status(DLBT_STATE_COMPLETE, 100.0f, 0, 100 << 20, 100 << 20));
    Tick();
    Tick();
    EXPECT_EQ(TakeTaskbarCalls(), (Calls{"none", "flash"}));

    Close();
    EXPECT_EQ(TakeTaskbarCalls(), Calls{"released"});
}

// The shell's own interface (under Wine a stub), then none at all, as when
// it cannot be made after Explorer restarts: the window goes on as before.
TEST_F(MainWndTest, TheShellsTaskbarInterfaceOrNoneAtAllChangesNothingElse)
{
    m_options.runGame = false;
    OpenReady();
    TaskbarButtonCreated();
    Click(L"btn_start");
    m_kernel->SetStatus(Status(DLBT_STATE_DOWNLOADING, 40.0f, 3 << 20, 40 << 20, 100 << 20));
    Tick();
    EXPECT_EQ(Buttons(), kDownloading);
    EXPECT_EQ(Text(L"label_percent"), L"40%");
    EXPECT_NE(Text(L"label_downinfo"), L"");
    Click(L"btn_pause");
    EXPECT_EQ(Buttons(), kPaused);

    m_window->SetTaskbarConnector([](HWND) { return nullptr; });
    TaskbarButtonCreated();
    Click(L"btn_resume");
    EXPECT_EQ(Buttons(), kDownloading);
    m_kernel->SetStatus(Status(DLBT_STATE_COMPLETE, 100.0f, 0, 100 << 20, 100 << 20));
    Tick();
    EXPECT_EQ(Buttons(), kCompleted);
    EXPECT_EQ(Text(L"label_percent"), L"100%");
    EXPECT_EQ(Text(L"label_downinfo"), L"下载完成！");
}

TEST_F(MainWndTest, BeforeTheStartTheDisplayIgnoresTheWorkflow)
{
    // The description names no torrent: the workflow fails before the start.
    ASSERT_TRUE(StoreOnCollector(ServerName("server.cfg"), "{\"mainExe\":\"bin\\\\game.exe\"}"));
    Open();
    ASSERT_TRUE(WaitFor([&] {
        Tick();
        return !m_window->Workflow().Fetching();
    }));
    EXPECT_FALSE(m_window->Workflow().Line().empty());
    EXPECT_EQ(State(), WorkflowState::Ready);
    EXPECT_EQ(Text(L"label_downinfo"), L"");
    EXPECT_EQ(Text(L"label_percent"), L"0%");
}

TEST_F(MainWndTest, AChosenFolderGetsTheGameFolderAndIsSavedOnlyWhenItChanges)
{
    Open();
    const std::wstring baseCfg = m_cfgDir + L"base.cfg";
    m_record->folderChoices = {L"D:\\Games", L"D:\\Games\\", L"D:/Korvane/old/", L""};

    Click(L"btn_folder");
    EXPECT_EQ(Text(L"edit_downdir"), L"D:\\Games\\Korvane\\");
    EXPECT_NE(m_temp.Read(L"cfg\\base.cfg").find("D:\\\\Games\\\\Korvane\\\\"), std::string::npos);

    ::DeleteFileW(baseCfg.c_str());
    Click(L"btn_folder");
    EXPECT_EQ(Text(L"edit_downdir"), L"D:\\Games\\Korvane\\");
    EXPECT_FALSE(Exists(baseCfg)) << "the same folder again writes nothing";

    Click(L"btn_folder");
    EXPECT_EQ(Text(L"edit_downdir"), L"D:\\Korvane\\old\\") << "a folder naming the game gets nothing appended";
    EXPECT_EQ(m_settings.m_savePath, L"D:\\Korvane\\old\\");

    Click(L"btn_folder"); // cancelled
    EXPECT_EQ(Text(L"edit_downdir"), L"D:\\Korvane\\old\\");
    EXPECT_EQ(Buttons(), kReady);
}

TEST_F(MainWndTest, StartRefusesADriveRootAndAFolderThatCannotBeMade)
{
    WriteBaseSettings(L"C:\\");
    Open();
    EXPECT_EQ(Text(L"edit_downdir"), L"C:\\");
    Click(L"btn_start");
    EXPECT_EQ(m_record->messages, std::vector<std::wstring>{L"失败|请选择一个文件夹进行下载"});
    EXPECT_EQ(Buttons(), kReady);

    m_temp.Write(L"afile", "x");
    m_record->folderChoices = {m_temp.File(L"afile")};
    Click(L"btn_folder");
    m_record->messages.clear();
    Click(L"btn_start");
    EXPECT_EQ(m_record->messages, std::vector<std::wstring>{L"创建目录失败|创建目录失败，请重新输入！"});
    EXPECT_EQ(Buttons(), kReady);
    EXPECT_EQ(State(), WorkflowState::Ready);
}

// "base.cfg" keeps the folder in the ANSI code page (936 here): a folder
// named with a character it lacks would come back as another folder.
TEST_F(MainWndTest, AFolderTheCodePageCannotHoldIsRefusedAndNothingIsSaved)
{
    Open();
    const std::string savedBefore = m_temp.Read(L"cfg\\base.cfg");
    const std::wstring apples = m_temp.File(L"\u00c4pfel");
    const std::wstring refused =
        L"失败|无法使用文件夹“" + apples + L"\\Korvane\\”：名称中有本系统语言无法保存的字符，请换一个文件夹。";
    m_record->folderChoices = {apples};
    Click(L"btn_folder");
    EXPECT_EQ(m_record->messages, std::vector<std::wstring>{refused});
    EXPECT_EQ(Text(L"edit_downdir"), m_folder);
    EXPECT_EQ(m_settings.m_savePath, m_folder);
    EXPECT_EQ(m_temp.Read(L"cfg\\base.cfg"), savedBefore);

    m_record->messages.clear();
    Control(L"edit_downdir")->SetText(apples + L"\\Korvane\\"); // typed by the player
    Click(L"btn_start");
    EXPECT_EQ(m_record->messages, std::vector<std::wstring>{refused});
    EXPECT_EQ(Buttons(), kReady);
    EXPECT_EQ(State(), WorkflowState::Ready);
    EXPECT_EQ(m_temp.Read(L"cfg\\base.cfg"), savedBefore);
}

TEST_F(MainWndTest, APauseBeforeTheDownloaderExistsHoldsItBackUntilTheResume)
{
    ASSERT_TRUE(ServeDownload(m_uuid));
    Open();
    Click(L"btn_start"); // the description is still on its way
    Click(L"btn_pause");
    EXPECT_EQ(Buttons(), kPaused);
    ASSERT_TRUE(WaitFor([&] {
        Tick();
        return !m_window->Workflow().Fetching();
    }));
    EXPECT_EQ(m_kernel->TakeCalls(), Calls{"Startup 9310-9320"}) << "the kernel itself starts, no downloader";
    EXPECT_EQ(State(), WorkflowState::Paused);

    Click(L"btn_resume");
    EXPECT_EQ(Buttons(), kDownloading);
    EXPECT_EQ(State(), WorkflowState::Downloading);
    EXPECT_FALSE(Contains(m_kernel->TakeCalls(), "Shutdown")) << "the same folder keeps the kernel";
}

TEST_F(MainWndTest, ResumingInAnotherFolderStartsAfreshThere)
{
    OpenReady();
    Click(L"btn_start");
    ASSERT_EQ(State(), WorkflowState::Downloading);
    Click(L"btn_pause");
    m_kernel->TakeCalls();

    // A folder that cannot be made keeps the pause.
    m_temp.Write(L"afile", "x");
    const std::wstring other = m_temp.Path() + L"\\other";
    m_record->folderChoices = {m_temp.File(L"afile"), other};
    Click(L"btn_folder");
    Click(L"btn_resume");
    EXPECT_EQ(m_record->messages, std::vector<std::wstring>{L"创建目录失败|创建目录失败，请重新输入！"});
    EXPECT_EQ(Buttons(), kPaused);

    Click(L"btn_folder");
    EXPECT_EQ(Text(L"edit_downdir"), other + L"\\Korvane\\");
    Click(L"btn_resume");
    EXPECT_EQ(Buttons(), kDownloading);
    EXPECT_TRUE(Exists(other + L"\\Korvane"));
    const Calls calls = m_kernel->TakeCalls();
    EXPECT_TRUE(Contains(calls, "Shutdown"));
    EXPECT_TRUE(Contains(calls, "Initialize " + Utf8(other) + "\\ Korvane")) << "a new downloader in the new folder";
    EXPECT_EQ(m_settings.m_savePath, other + L"\\Korvane\\");
}

TEST_F(MainWndTest, BackgroundsRotateOneTwoThree)
{
    Open();
    EXPECT_EQ(Control(L"bg_mainwnd")->GetBkImage(), L"3.png");
    std::vector<int> shown;
    for (int i = 0; i < 4; ++i) {
        Tick(CMainWnd::kBackgroundTimer);
        const std::wstring image = Control(L"bg_mainwnd")->GetBkImage();
        ASSERT_EQ(image.size(), 12u) << Utf8(image);
        EXPECT_EQ(image.substr(0, 6) + image.substr(7), L"file='.png'");
        shown.push_back(image[6] - L'0');
    }
    for (size_t i = 1; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], shown[i - 1] % 3 + 1);
}

TEST_F(MainWndTest, SettingsAndWebPagesGoThroughTheirHooks)
{
    OpenReady();
    Click(L"btn_setting");
    EXPECT_EQ(m_record->settingsOwners, std::vector<HWND>{m_hwnd});
    EXPECT_TRUE(m_kernel->TakeCalls().empty()) << "no kernel yet, no limits";

    Click(L"btn_start");
    m_kernel->TakeCalls();
    m_settings.m_downLimit = 300;
    Click(L"btn_setting");
    EXPECT_TRUE(Contains(m_kernel->TakeCalls(), "Down 307200"));

    Click(L"btn_home");
    Click(L"btn_regist");
    EXPECT_EQ(m_record->urls, (std::vector<std::wstring>{L"https://www.korvane.net/",
                                                         L"https://www.korvane.net/reg/register.html"}));
}

// The player, inside the settings dialog's modal run: types a limit and
// leaves with Escape, or with Alt+F4 (the system menu's close does the same).
const wchar_t* g_typedLimit = L"";
bool g_leaveWithAltF4 = false;

void CALLBACK TypeLimitAndLeave(HWND, UINT, UINT_PTR timer, DWORD)
{
    const HWND dialog = ::FindWindowW(L"#Downloader_Setting", nullptr);
    if (!dialog)
        return;
    ::KillTimer(nullptr, timer);
    auto* window = reinterpret_cast<uitk::CWindowWnd*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA));
    if (auto* settings = dynamic_cast<CDUIDialogBase*>(window))
        settings->FindControl(L"edit_downspeed")->SetText(g_typedLimit);
    if (g_leaveWithAltF4)
        ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
        ::PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
}

TEST_F(MainWndTest, EveryWayOutOfTheSettingsDialogHandsAStartedKernelTheStoredLimit)
{
    m_record->realSettingsDialog = true;
    OpenReady();
    Click(L"btn_start");
    ASSERT_EQ(State(), WorkflowState::Downloading);
    m_kernel->TakeCalls();

    struct Way {
        const wchar_t* typed;
        bool altF4;
        int stored;
        const char* handed;
    };
    for (const Way& way : {Way{L"1000", false, 1000, "Down 1024000"}, Way{L"0", true, 0, "Down 0"}}) {
        SCOPED_TRACE(way.altF4 ? "Alt+F4" : "Escape");
        g_typedLimit = way.typed;
        g_leaveWithAltF4 = way.altF4;
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, TypeLimitAndLeave);
        Click(L"btn_setting");
        ::KillTimer(nullptr, timer);
        EXPECT_EQ(::FindWindowW(L"#Downloader_Setting", nullptr), nullptr);
        EXPECT_TRUE(::IsWindowEnabled(m_hwnd));
        EXPECT_EQ(m_settings.m_downLimit, way.stored);
        const Calls calls = m_kernel->TakeCalls();
        EXPECT_TRUE(Contains(calls, way.handed)) << ::testing::PrintToString(calls);
        EXPECT_TRUE(Contains(calls, "Up 0"));
    }
}

// The player closes the main window while the disk-space warning, which a
// tick asked for, is still up; then dismisses the warning.
void CALLBACK CloseTheWindowUnderTheWarning(HWND, UINT, UINT_PTR timer, DWORD)
{
    const HWND box = ::FindWindowW(L"#32770", L"警告");
    if (!box)
        return;
    ::KillTimer(nullptr, timer);
    const HWND main = ::GetWindow(box, GW_OWNER);
    ::PostMessageW(main ? main : ::FindWindowW(L"#Downloader_MainWnd", nullptr), WM_CLOSE, 2, 0);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST_F(MainWndTest, ClosingTheWindowUnderTheDiskWarningWaitsForTheBoxAndStillReports)
{
    m_record->realMessageBoxes = true;
    OpenReady();
    Click(L"btn_start");
    m_kernel->SetStatus(Status(DLBT_STATE_DOWNLOADING, 1.0f, 1000, 0, 1ull << 60));

    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CloseTheWindowUnderTheWarning);
    for (int tick = 0; tick < 5 && m_record->messages.empty(); ++tick)
        Tick();
    ::KillTimer(nullptr, timer);
    ASSERT_EQ(m_record->messages.size(), 1u);
    EXPECT_EQ(m_record->messages[0].rfind(L"警告|", 0), 0u);
    EXPECT_FALSE(m_record->deleted) << "the window went while its box was still up";
    EXPECT_EQ(Buttons(), kPaused) << "the workflow paused itself for want of room";

    MSG msg{};
    while (::IsWindow(m_hwnd) && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
    EXPECT_FALSE(::IsWindow(m_hwnd)) << "the close waited for the box, then went ahead";
    EXPECT_TRUE(m_record->deleted);
    const std::vector<std::string> reports = ReceivedReports(m_uuid);
    EXPECT_TRUE(std::any_of(reports.begin(), reports.end(),
                            [](const std::string& q) { return q.find("opname=close") != std::string::npos; }));
}

// Photographs the dialog the window opens over itself, then answers it. The
// dialog's own message loop dispatches this thread timer; the picture is
// taken at the third sighting, once Wine has put the dialog's painting on
// the screen, or, given an awaited selection of the dialog's tree, once the
// tree shows it (for five seconds at most). A dialog that the window does
// not own is answered at once, so the test goes on, but it is not
// photographed.
class DialogCamera {
public:
    DialogCamera(HWND owner, const wchar_t* picture, WPARAM answer, const wchar_t* awaitedSelection)
        : m_owner(owner), m_picture(picture), m_answer(answer), m_awaited(awaitedSelection)
    {
        s_active = this;
        m_timer = ::SetTimer(nullptr, 0, 50, OnTimer);
    }
    ~DialogCamera()
    {
        ::KillTimer(nullptr, m_timer);
        s_active = nullptr;
    }
    DialogCamera(const DialogCamera&) = delete;
    DialogCamera& operator=(const DialogCamera&) = delete;

    bool Taken() const { return m_taken; }
    bool SawUnowned() const { return m_sawUnowned; }
    // The item selected in the dialog's tree (the folder browser's).
    const std::wstring& Selected() const { return m_selected; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        if (s_active)
            s_active->Look();
    }

    static HWND DialogOfThisThread()
    {
        HWND found = nullptr;
        ::EnumThreadWindows(::GetCurrentThreadId(), [](HWND window, LPARAM out) {
            wchar_t name[16] = {};
            ::GetClassNameW(window, name, 16);
            if (std::wstring(name) != L"#32770" || !::IsWindowVisible(window))
                return TRUE;
            *reinterpret_cast<HWND*>(out) = window;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&found));
        return found;
    }

    static std::wstring SelectedTreeItem(HWND dialog)
    {
        HWND tree = nullptr;
        ::EnumChildWindows(dialog, [](HWND child, LPARAM out) {
            wchar_t name[32] = {};
            ::GetClassNameW(child, name, 32);
            if (std::wstring(name) != WC_TREEVIEWW)
                return TRUE;
            *reinterpret_cast<HWND*>(out) = child;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&tree));
        wchar_t text[MAX_PATH] = {};
        TVITEMW item{};
        item.mask = TVIF_TEXT;
        item.hItem = tree ? TreeView_GetSelection(tree) : nullptr;
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        return item.hItem && TreeView_GetItem(tree, &item) ? text : L"";
    }

    void Look()
    {
        const HWND dialog = DialogOfThisThread();
        if (!dialog)
            return;
        if (::GetWindow(dialog, GW_OWNER) != m_owner) {
            m_sawUnowned = true;
        } else if (++m_sightings < 3 || (!m_awaited.empty() && SelectedTreeItem(dialog) != m_awaited &&
                                          m_sightings < kPatience)) {
            ::RedrawWindow(dialog, nullptr, nullptr,
                           RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
            return;
        } else {
            RECT window{}, box{}, both{};
            ::GetWindowRect(m_owner, &window);
            ::GetWindowRect(dialog, &box);
            ::UnionRect(&both, &window, &box);
            m_taken = SavePng(CaptureScreenArea(both), ScreenshotPath(m_picture));
            m_selected = SelectedTreeItem(dialog);
        }
        m_sightings = 0;
        ::PostMessageW(dialog, WM_COMMAND, m_answer, 0);
    }

    static constexpr int kPatience = 100;
    static DialogCamera* s_active;
    HWND m_owner;
    const wchar_t* m_picture;
    WPARAM m_answer;
    std::wstring m_awaited;
    UINT_PTR m_timer = 0;
    int m_sightings = 0;
    bool m_taken = false;
    bool m_sawUnowned = false;
    std::wstring m_selected;
};
DialogCamera* DialogCamera::s_active = nullptr;

// Common controls 6, as the program's manifest asks (this test carries the
// same manifest), draw the boxes Windows shows over the window; each box is
// owned by the window. Their pictures go beside the window's own.
TEST_F(MainWndTest, TheSystemsBoxesOverTheWindowAreOwnedByItAndPictured)
{
    ACTCTX_SECTION_KEYED_DATA redirection{};
    redirection.cbSize = sizeof(redirection);
    EXPECT_TRUE(::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll",
                                           &redirection))
        << "the process's manifest does not name common controls 6";
    wchar_t loaded[MAX_PATH] = {};
    ::GetModuleFileNameW(::LoadLibraryW(L"comctl32.dll"), loaded, MAX_PATH);
    ::CharLowerW(loaded);
    EXPECT_NE(std::wstring(loaded).find(L"\\winsxs\\"), std::wstring::npos)
        << "comctl32 is not the side-by-side version 6: " << Utf8(loaded);

    m_record->realMessageBoxes = true;
    m_record->realFolderBrowser = true;
    OpenReady();
    ::ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
    auto photograph = [&](const wchar_t* picture, WPARAM answer, const wchar_t* button,
                          const wchar_t* awaitedSelection = L"") {
        DialogCamera camera(m_hwnd, picture, answer, awaitedSelection);
        Click(button);
        for (int tick = 0; tick < 5 && !camera.Taken(); ++tick)
            Tick(); // the disk warning comes after a tick
        EXPECT_TRUE(camera.Taken()) << Utf8(picture);
        EXPECT_FALSE(camera.SawUnowned()) << Utf8(picture) << ": a box the window does not own";
        return camera.Selected();
    };

    // The browser opens at the level of the player's folder that exists.
    // (The shell does not show the temporary folder's tree.)
    const std::wstring shown = L"C:\\korvane-browser-test";
    RemoveTree(shown);
    ASSERT_TRUE(::CreateDirectoryW(shown.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((shown + L"\\games").c_str(), nullptr));
    Control(L"edit_downdir")->SetText(shown + L"\\games\\Korvane\\");
    EXPECT_EQ(photograph(L"box_folder_browser.png", IDCANCEL, L"btn_folder", L"games"), L"games");
    RemoveTree(shown);
    Control(L"edit_downdir")->SetText(m_temp.File(L"\u00c4pfel\\Korvane\\"));
    photograph(L"box_refused_folder.png", IDOK, L"btn_start");
    Control(L"edit_downdir")->SetText(m_folder);
    ULARGE_INTEGER free{};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(m_temp.Path().c_str(), &free, nullptr, nullptr));
    const uint64_t game = free.QuadPart + (100ull << 30);
    m_kernel->SetStatus(Status(DLBT_STATE_DOWNLOADING, 0.0f, 0, 0, game));
    photograph(L"box_disk_warning.png", IDOK, L"btn_start");
    ASSERT_EQ(m_record->messages.size(), 2u);
    EXPECT_EQ(m_record->messages[1].rfind(L"警告|", 0), 0u);
}

TEST_F(MainWndTest, ASystemCloseClosesEveryDialogNewestFirstAndTheWindowEndsTheLoop)
{
    Open();
    auto record = std::make_shared<DialogRecord>();
    auto* settings = new TestDialog(L"DlgSetting.xml", record);
    const HWND settingsWindow = settings->Open(m_hwnd);

    ::SendMessageW(m_hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(CDUIDialogBase::OpenDialogs().empty());
    MSG first{}, second{};
    ASSERT_TRUE(::PeekMessageW(&first, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    ASSERT_TRUE(::PeekMessageW(&second, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    EXPECT_EQ(first.hwnd, settingsWindow);
    EXPECT_EQ(second.hwnd, m_hwnd);
    EXPECT_EQ(first.wParam, 2u);
    EXPECT_EQ(second.wParam, 2u);

    ::DispatchMessageW(&first);
    ::DispatchMessageW(&second);
    EXPECT_FALSE(::IsWindow(m_hwnd));
    EXPECT_TRUE(m_record->deleted);
    EXPECT_TRUE(TakeQuit()) << "the window's end posts the quit message with 0";
}

TEST_F(MainWndTest, ClosingSendsTheCloseReportThenShutsTheKernelDown)
{
    OpenReady();
    Click(L"btn_start");
    m_kernel->SetStatus(Status(DLBT_STATE_DOWNLOADING, 40.0f, 1 << 20, 40 << 20, 100 << 20));
    Tick();
    m_kernel->TakeCalls();

    ::SendMessageW(m_hwnd, WM_CLOSE, 2, 0);
    EXPECT_FALSE(::IsWindow(m_hwnd));
    EXPECT_TRUE(m_record->deleted);
    EXPECT_TRUE(TakeQuit());
    const std::vector<std::string> reports = ReceivedReports(m_uuid);
    EXPECT_TRUE(std::any_of(reports.begin(), reports.end(),
                            [](const std::string& q) { return q.find("opname=close") != std::string::npos; }));
    const Calls calls = m_kernel->TakeCalls();
    EXPECT_TRUE(Contains(calls, "PreShutdown"));
    EXPECT_TRUE(Contains(calls, "Shutdown"));
}

// The real program (reporting to the tests' collector), with the stand-in
// kernel beside it reporting the download complete: with "exit_on_done" it
// ends by itself, once its finish report has arrived.
TEST(MainWndProgram, ExitOnDoneEndsTheProgramWithZeroAfterTheShortcutAndTheFinishReport)
{
    TempDir folder;
    const std::string uuid = UniqueClientId("mp");
    ASSERT_TRUE(ServeDownload(uuid));
    const std::wstring program = folder.File(L"KorvaneDownloader.exe");
    ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_EXE_PATH).c_str(), program.c_str(), FALSE));
    ::CreateDirectoryW(folder.File(L"cfg").c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_FAKE_KERNEL_DLL).c_str(),
                            folder.File(L"cfg\\DLBT.dll").c_str(), FALSE));
    // Held open as by a copy of the program still running: the program then
    // loads the stand-in instead of writing the kernel it carries over it.
    CUniqueHandle inUse(::CreateFileW(folder.File(L"cfg\\DLBT.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(inUse.Valid());
    const std::wstring games = folder.File(L"games\\Korvane\\");
    folder.Write(L"cfg\\base.cfg",
                 "{\"savepath\":\"" + JsonText(WideToAnsi(games)) + "\",\"uuid\":\"" + uuid + "\"}");
    folder.Write(L"config.json", "{\"config_url\":\"" + CollectorUrl("/files/" + uuid + "/server.cfg") +
                                     "\",\"p2p_port\":19330,\"exit_on_done\":true,\"run_game_exe\":true}");
    ::CreateDirectoryW(folder.File(L"games").c_str(), nullptr);
    ::CreateDirectoryW(games.c_str(), nullptr);
    ::CreateDirectoryW((games + L"bin").c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_GAME_STUB).c_str(), (games + L"bin\\game.exe").c_str(),
                            FALSE));
    ::DeleteFileW(DesktopShortcut().c_str());

    DebugOutputMonitor debugOutput;
    ProgramDriver run(debugOutput);
    run.SetEnvironment(L"KORVANE_FAKE_KERNEL_COMPLETE", L"1");
    run.SetEnvironment(L"KORVANE_REPORT_HOST", CollectorHost());
    ASSERT_TRUE(run.Start(program, folder.Path())) << run.Shown();
    ASSERT_TRUE(run.Press(L"btn_start"));
    EXPECT_EQ(run.WaitForExit(std::chrono::seconds(30)), 0u) << run.Shown();
    EXPECT_TRUE(Exists(DesktopShortcut()));
    ::DeleteFileW(DesktopShortcut().c_str());
    // The game, started at completion, lets go of its folder.
    EXPECT_TRUE(GameStartedIn(games + L"bin\\"));
    const std::vector<std::string> reports = ReceivedReports(uuid);
    EXPECT_TRUE(std::any_of(reports.begin(), reports.end(),
                            [](const std::string& q) { return q.find("opname=finish") != std::string::npos; }))
        << ::testing::PrintToString(reports);
}
