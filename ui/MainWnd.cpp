#include "MainWnd.h"

#include "DlgSetting.h"
#include "GifProgressUI.h"
#include "toolkit/ControlUI.h"

#include "distribution/Distribution.h"
#include "engine/KernelCalls.h"
#include "shell/OpenUrl.h"
#include "util/DirectoryTree.h"
#include "util/PathText.h"
#include "util/TextConvert.h"
#include "workflow/CompletionActions.h"
#include "workflow/DiskSpace.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <memory>
#include <stdexcept>

using uitk::CControlUI;
using Microsoft::WRL::ComPtr;

CMainWnd* g_pMainWnd = nullptr;

namespace {

// The background shown next: 1, 2, 3, then 1 again, for the whole process.
int g_backgroundIndex = 1;
const int kBackgroundCount = 3;

const wchar_t kChooseFolderTitle[] = L"请选择下载目录";
const wchar_t kHintCaption[] = L"提示";
const wchar_t kAlreadyDownloaded[] = L"已完成游戏下载";
const wchar_t kRefusedCaption[] = L"失败";
const wchar_t kChooseAFolder[] = L"请选择一个文件夹进行下载";
const wchar_t kNoFolderCaption[] = L"创建目录失败";
const wchar_t kNoFolder[] = L"创建目录失败，请重新输入！";
const wchar_t kRegisterPagePath[] = L"/reg/register.html";
// The longest a finish report may hold up the end of the program.
const DWORD kFinishReportWaitMs = 3000;

struct CoTaskMemDeleter {
    void operator()(void* memory) const { ::CoTaskMemFree(memory); }
};

// "Shown" is visible and usable, "hidden" invisible and unusable.
void SetShown(CControlUI* control, bool shown)
{
    if (!control)
        return;
    control->SetVisible(shown);
    control->SetEnabled(shown);
}

std::wstring GameSitePage(const wchar_t* path)
{
    return std::wstring(L"https://") + distribution::kGameSiteHost + path;
}

// The folder the game goes into for a folder the player chose: always with
// the game's folder inside it, unless the choice already names it.
std::wstring GameFolderIn(const std::wstring& chosen)
{
    std::wstring folder = WithOneTrailingBackslash(WithBackslashes(chosen));
    if (folder.find(distribution::kGameFolderName) == std::wstring::npos)
        folder += std::wstring(distribution::kGameFolderName) + L"\\";
    return folder;
}

// The browser opens at the folder the player has, or the nearest level of it
// that exists, not at the top of the desktop.
int CALLBACK SelectStartFolder(HWND browser, UINT message, LPARAM, LPARAM startFolder)
{
    if (message == BFFM_INITIALIZED && startFolder)
        ::SendMessageW(browser, BFFM_SETSELECTIONW, FALSE, startFolder);
    return 0;
}

// The shell sends it as it makes the window's taskbar button, and again
// after Explorer has restarted.
UINT TaskbarButtonCreatedMessage()
{
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

// Run as administrator, the window would not hear the shell's message. The
// call is looked up, since Windows before 7 lacks it and the program must
// still start there.
void AllowTaskbarButtonMessage(HWND window)
{
    using Allow = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
    const auto allow = reinterpret_cast<Allow>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx")));
    if (allow)
        allow(window, TaskbarButtonCreatedMessage(), MSGFLT_ALLOW, nullptr);
}

} // namespace

CMainWnd::CMainWnd(CAppSetting& settings, SWorkflowOptions options, bool exitOnDone)
    : m_settings(settings),
      m_exitOnDone(exitOnDone),
      m_workflow(settings, std::move(options), *this),
      m_runSettingsDialog([this](HWND owner) { CDlgSetting::RunModal(owner, m_settings, m_openUrl); }),
      m_openUrl(OpenUrl),
      m_connectTaskbar(CTaskbarProgress::ConnectShell)
{
}

// The close report goes out while the kernel still runs; the workflow then
// shuts the kernel down as it is destroyed.
CMainWnd::~CMainWnd()
{
    if (g_pMainWnd == this)
        g_pMainWnd = nullptr;
    m_workflow.ReportClose();
}

void CMainWnd::Init()
{
    try {
        SetIcon(kIconResourceId);
        InitControls();
        ShowButtons(WorkflowState::Ready);
        m_progress->SetValue(0);
        m_settings.LoadAll();
        m_workflow.LoadConfiguration();
        m_editDownDir->SetText(m_settings.m_savePath);
        m_editDownDir->SetMouseEnabled(false);
        m_editDownDir->SetKeyboardEnabled(false);
        ::SetTimer(m_hWnd, kBackgroundTimer, kBackgroundPeriodMs, nullptr);
        ::SetTimer(m_hWnd, kWorkflowTimer, kWorkflowPeriodMs, nullptr);
        AllowTaskbarButtonMessage(m_hWnd);
    } catch (...) {
        throw std::runtime_error("CMainWnd::Init");
    }
}

void CMainWnd::InitControls()
{
    auto find = [this](const wchar_t* name) {
        CControlUI* control = FindControl(name);
        if (!control)
            throw std::runtime_error("the main layout lacks a control");
        return control;
    };
    m_progress = static_cast<uitk::CGifProgressUI*>(find(L"down_progress")->GetInterface(L"GifProgress"));
    if (!m_progress)
        throw std::runtime_error("the main layout's progress bar is no GifProgress");
    m_btnStart = find(L"btn_start");
    m_btnPause = find(L"btn_pause");
    m_btnResume = find(L"btn_resume");
    m_editDownDir = find(L"edit_downdir");
    m_btnFolder = find(L"btn_folder");
    m_labelPercent = find(L"label_percent");
    m_background = find(L"bg_mainwnd");
    m_labelDownInfo = find(L"label_downinfo");
}

void CMainWnd::HandleClick(uitk::SNotification& msg)
{
    const std::wstring name = msg.sender ? msg.sender->GetName() : std::wstring();
    if (name == L"btn_min")
        ::ShowWindow(m_hWnd, SW_MINIMIZE);
    else if (name == L"btn_setting")
        OpenSettings();
    else if (name == L"btn_home")
        OpenPage(GameSitePage(L"/"));
    else if (name == L"btn_regist")
        OpenPage(GameSitePage(kRegisterPagePath));
    else if (name == L"btn_folder")
        ChooseFolder();
    else if (name == L"btn_start")
        Start();
    else if (name == L"btn_pause")
        Pause();
    else if (name == L"btn_resume")
        Resume();
}

void CMainWnd::OpenPage(const std::wstring& url) const
{
    if (m_openUrl)
        m_openUrl(url);
}

// A close that arrives while a box or dialog runs its loop over this window
// (from the taskbar or another program) waits until it has returned: the
// code that opened it still runs on this window and its workflow.
template <typename Run>
void CMainWnd::RunModal(Run run)
{
    ++m_modalRuns;
    run();
    --m_modalRuns;
    CloseIfDeferred();
}

// Owned, so the window cannot be clicked while the box is up.
void CMainWnd::ShowMessage(const wchar_t* caption, const wchar_t* text, UINT icon)
{
    RunModal([&] { ::MessageBoxW(::IsWindow(m_hWnd) ? m_hWnd : nullptr, text, caption, MB_OK | icon); });
}

LRESULT CMainWnd::HandleClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled)
{
    if (m_modalRuns > 0) {
        m_deferredClose = true;
        m_deferredCloseCode = wParam;
        handled = true;
        return 0;
    }
    return CDUIDialogBase::HandleClose(msg, wParam, lParam, handled);
}

void CMainWnd::CloseIfDeferred()
{
    if (m_deferredClose && m_modalRuns == 0) {
        m_deferredClose = false;
        ::PostMessageW(m_hWnd, WM_CLOSE, m_deferredCloseCode, 0);
    }
}

bool CMainWnd::BrowseForFolder(std::wstring& folder)
{
    PIDLIST_ABSOLUTE found = nullptr;
    const std::wstring nearest = NearestExistingFolder(FolderText());
    if (nearest.empty() || FAILED(::SHParseDisplayName(nearest.c_str(), nullptr, &found, 0, nullptr)))
        found = nullptr;
    const std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter> startFolder(found);
    BROWSEINFOW info{};
    info.hwndOwner = m_hWnd;
    info.lpszTitle = kChooseFolderTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = SelectStartFolder;
    info.lParam = reinterpret_cast<LPARAM>(startFolder.get());
    const std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter> chosen(::SHBrowseForFolderW(&info));
    if (!chosen)
        return false;
    wchar_t path[MAX_PATH] = {};
    if (!::SHGetPathFromIDListW(chosen.get(), path))
        return false;
    folder = path;
    return true;
}

void CMainWnd::ChooseFolder()
{
    std::wstring chosen;
    bool chose = false;
    RunModal([&] { chose = BrowseForFolder(chosen); });
    if (!chose)
        return;
    const std::wstring folder = GameFolderIn(chosen);
    if (!FolderStorable(folder))
        return;
    if (folder != m_settings.m_savePath) {
        m_settings.m_savePath = folder;
        m_settings.Save(m_settings.m_baseCfgPath);
    }
    m_editDownDir->SetText(m_settings.m_savePath);
}

void CMainWnd::Start()
{
    if (m_workflow.State() == WorkflowState::Completed) {
        ShowMessage(kHintCaption, kAlreadyDownloaded, 0);
        return;
    }
    const std::wstring folder = FolderText();
    if (folder.size() == 3) { // a drive root such as C:\ .
        ShowMessage(kRefusedCaption, kChooseAFolder, 0);
        return;
    }
    if (!FolderReady(folder))
        return;
    m_workflow.Start(folder);
}

void CMainWnd::Pause() { m_workflow.Pause(); }

void CMainWnd::Resume()
{
    const std::wstring folder = FolderText();
    if (!FolderReady(folder))
        return;
    m_workflow.Resume(folder);
}

bool CMainWnd::FolderReady(const std::wstring& folder)
{
    if (!FolderStorable(folder))
        return false;
    if (CreateDirectoryTree(folder) == S_OK)
        return true;
    ShowMessage(kNoFolderCaption, kNoFolder, 0);
    return false;
}

bool CMainWnd::FolderStorable(const std::wstring& folder)
{
    if (FitsAnsiCodePage(folder))
        return true;
    const std::wstring text = L"无法使用文件夹“" + folder + L"”：名称中有本系统语言无法保存的字符，请换一个文件夹。";
    ShowMessage(kRefusedCaption, text.c_str(), 0);
    return false;
}

std::wstring CMainWnd::FolderText() const { return m_editDownDir->GetText(); }

// However the dialog was closed (its button, Escape, Alt+F4, the system
// menu), the limits it stored go to a running kernel; before the kernel
// runs, the download's start hands them over.
void CMainWnd::OpenSettings()
{
    if (!m_runSettingsDialog)
        return;
    RunModal([&] { m_runSettingsDialog(m_hWnd); });
    m_workflow.ApplyStoredRateLimits();
}

void CMainWnd::OnDialogTimer(UINT_PTR id)
{
    if (id == kBackgroundTimer)
        RotateBackground();
    else if (id == kWorkflowTimer)
        Tick();
}

void CMainWnd::RotateBackground()
{
    m_background->SetBkImage(L"file='" + std::to_wstring(g_backgroundIndex) + L".png'");
    g_backgroundIndex = g_backgroundIndex % kBackgroundCount + 1;
}

// Ready and completed: the display keeps what it shows.
void CMainWnd::Tick()
{
    m_workflow.Tick();
    if (m_shownState != WorkflowState::Ready && m_shownState != WorkflowState::Completed)
        RefreshDisplay();
}

// The bar cannot show more than full, the label shows the number itself.
void CMainWnd::RefreshDisplay()
{
    const std::wstring& text = m_workflow.Line();
    m_labelDownInfo->SetText(text);
    m_shownPercent = m_workflow.Percent();
    m_progress->SetValue(m_shownPercent); // each control repaints only when it changes
    m_labelPercent->SetText(std::to_wstring(m_shownPercent) + L"%");
    TraceShownLine(text);
    ShowOnTaskbar();
}

// Each new line the player sees also goes to the debug output, so a debug
// viewer (or a script driving the program) can follow a download.
void CMainWnd::TraceShownLine(const std::wstring& text)
{
    if (text == m_shownLine)
        return;
    m_shownLine = text;
    ::OutputDebugStringW((L"Korvane: " + std::to_wstring(m_shownPercent) + L"% " + text + L"\n").c_str());
}

void CMainWnd::ShowOnTaskbar()
{
    m_taskbar.Show(m_shownState, m_workflow.DownloaderInError(), m_workflow.Percent());
}

// A window hidden by a silent start gets no button and never hears of one.
void CMainWnd::ConnectTaskbar()
{
    m_taskbar.Attach(m_connectTaskbar ? m_connectTaskbar(m_hWnd) : nullptr);
    ShowOnTaskbar();
}

void CMainWnd::OnStateChanged(WorkflowState state)
{
    m_shownState = state;
    ShowButtons(state);
    ShowOnTaskbar();
    if (state == WorkflowState::Completed) {
        RefreshDisplay(); // the completion's own line, before the program may end
        ShowCompletion();
    }
}

void CMainWnd::OnDiskShort(uint64_t, uint64_t gameSize)
{
    AddNotice(kDiskSpaceWarningCaption, DiskSpaceWarningText(gameSize), MB_ICONWARNING);
}

void CMainWnd::OnRestartAdvised() { AddNotice(kRestartNoticeCaption, RestartNoticeText(), 0); }

// Shown once the workflow's call has returned: a box's modal loop runs the
// timers, and with them the workflow, again.
void CMainWnd::AddNotice(const wchar_t* caption, std::wstring text, UINT icon)
{
    m_notices.push_back({caption, std::move(text), icon});
    if (m_notices.size() == 1)
        ::PostMessageW(m_hWnd, kShowNoticesMessage, 0, 0);
}

void CMainWnd::ShowNotices()
{
    while (!m_notices.empty()) {
        const SNotice notice = m_notices.front();
        m_notices.pop_front();
        ShowMessage(notice.caption, notice.text.c_str(), notice.icon);
    }
}

LRESULT CMainWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kShowNoticesMessage) {
        ShowNotices();
        return 0;
    }
    if (msg != WM_NULL && msg == TaskbarButtonCreatedMessage()) {
        ConnectTaskbar();
        return 0;
    }
    return CDUIDialogBase::HandleMessage(msg, wParam, lParam);
}

// Runs once, as the workflow becomes complete.
void CMainWnd::ShowCompletion()
{
    CreateDesktopShortcut();
    // A player busy in another window learns that the game is ready.
    if (::GetForegroundWindow() != m_hWnd)
        m_taskbar.Flash();
    if (m_exitOnDone) {
        // The finish report was handed to its fetcher in this very tick; on
        // a real network it has not left yet, and ending now would lose it
        // for good, since "base.cfg" already marks it sent.
        m_workflow.WaitForFinishReport(kFinishReportWaitMs);
        ::PostMessageW(m_hWnd, WM_DESTROY, 0, 0);
    }
}

void CMainWnd::ShowButtons(WorkflowState state)
{
    switch (state) {
    case WorkflowState::Ready:
        ShowStartButton();
        SetShown(m_btnFolder, true);
        break;
    case WorkflowState::Completed:
        ShowStartButton();
        break;
    case WorkflowState::Paused:
        ShowPausedButtons();
        break;
    case WorkflowState::Failed:
    case WorkflowState::Preparing:
    case WorkflowState::Downloading:
        ShowDownloadingButtons();
        break;
    }
}

// Ready, and completed: the folder button stays as it was.
void CMainWnd::ShowStartButton()
{
    m_editDownDir->SetEnabled(true);
    SetShown(m_btnStart, true);
    SetShown(m_btnPause, false);
    SetShown(m_btnResume, false);
}

// The folder box stays as the start left it.
void CMainWnd::ShowPausedButtons()
{
    SetShown(m_btnPause, false);
    SetShown(m_btnStart, false);
    SetShown(m_btnResume, true);
    SetShown(m_btnFolder, true);
}

void CMainWnd::ShowDownloadingButtons()
{
    m_editDownDir->SetEnabled(false);
    SetShown(m_btnStart, false);
    SetShown(m_btnResume, false);
    SetShown(m_btnPause, true);
    SetShown(m_btnFolder, false);
}

// Without the game's program (it is not started when so configured) a
// shortcut would point at nothing, so none is made.
void CMainWnd::CreateDesktopShortcut() const
{
    const std::wstring& target = m_settings.m_mainExePath;
    if (target.empty())
        return;
    wchar_t desktop[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE))
        return;
    const std::wstring shortcut = std::wstring(desktop) + L"\\" + distribution::kDesktopShortcutName + L".lnk";
    ComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))))
        return;
    link->SetPath(target.c_str());
    link->SetWorkingDirectory(ProgramWorkingFolder(target).c_str());
    ComPtr<IPersistFile> file;
    if (FAILED(link.As(&file)))
        return;
    if (FAILED(file->Save(shortcut.c_str(), TRUE))) {
        const std::wstring error = std::to_wstring(::GetLastError());
        ::OutputDebugStringW(L"error\n");
        ::OutputDebugStringW(error.c_str());
    }
}

// The shell's interface goes while the window it names still exists.
LRESULT CMainWnd::HandleDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    m_taskbar.Detach();
    ::PostQuitMessage(0);
    handled = true;
    return 0;
}

// A system close (Alt+F4, the taskbar) closes every open dialog, newest
// first, so a settings dialog stores its values before the window goes.
LRESULT CMainWnd::HandleSysCommand(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    // The low four bits belong to the system.
    if ((wParam & 0xFFF0) != SC_CLOSE) {
        handled = false;
        return 0;
    }
    auto& dialogs = OpenDialogs();
    while (!dialogs.empty()) {
        const HWND window = dialogs.front()->GetHWND();
        dialogs.pop_front();
        if (::IsWindow(window))
            ::PostMessageW(window, WM_CLOSE, 2, 0);
    }
    handled = true;
    return 0;
}
