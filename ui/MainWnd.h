#pragma once

#include "DUIDialogBase.h"
#include "TaskbarProgress.h"

#include "workflow/DownloadWorkflow.h"
#include "workflow/WorkflowEvents.h"

#include <deque>
#include <functional>
#include <string>

namespace uitk {
class CGifProgressUI;
}

// The program's one top-level window: the game's artwork, the start, pause
// and resume buttons, the download folder, the progress bar with its
// percentage and one line of information. It owns the download workflow,
// drives it from its buttons and its 500 ms timer, and shows what the
// workflow's state calls for.
class CMainWnd : public CDUIDialogBase, private IWorkflowEvents {
public:
    static const UINT kIconResourceId = 107;
    static const UINT_PTR kBackgroundTimer = 4;
    static const UINT kBackgroundPeriodMs = 5000;
    static const UINT_PTR kWorkflowTimer = 5;
    static const UINT kWorkflowPeriodMs = 500;
    // Posted to show the message boxes the workflow asked for, once the call
    // that asked has returned.
    static const UINT kShowNoticesMessage = WM_APP + 1;

    // Runs the settings dialog modally over `owner`, returning once it has
    // closed. By default the settings dialog, CDlgSetting.
    using SettingsDialogRunner = std::function<void(HWND owner)>;
    using UrlOpener = std::function<void(const std::wstring& url)>;

    // `exitOnDone`: the program ends once the download is complete.
    CMainWnd(CAppSetting& settings, SWorkflowOptions options, bool exitOnDone);
    ~CMainWnd() override;

    void SetSettingsDialogRunner(SettingsDialogRunner runner) { m_runSettingsDialog = std::move(runner); }
    void SetUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    // How the window reaches its taskbar button once the shell has made it;
    // by default the shell's own interface.
    void SetTaskbarConnector(CTaskbarProgress::Connector connector) { m_connectTaskbar = std::move(connector); }

    const CDownloadWorkflow& Workflow() const { return m_workflow; }

    // A message box owned by the main window; `icon` is an MB_ICON* value or 0.
    virtual void ShowMessage(const wchar_t* caption, const wchar_t* text, UINT icon);

protected:
    std::wstring ClassName() const override { return L"#Downloader_MainWnd"; }
    void Init() override;
    void HandleClick(uitk::SNotification& msg) override;
    std::wstring SkinFile() const override { return L"DlgMain.xml"; }
    LRESULT HandleClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT HandleDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT HandleSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDialogTimer(UINT_PTR id) override;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // The shell's folder browser; false when the player cancels or the
    // choice has no file-system path.
    virtual bool BrowseForFolder(std::wstring& folder);

private:
    void InitControls();
    void ChooseFolder();
    void Start();
    void Pause();
    void Resume();
    void OpenSettings();
    void OpenPage(const std::wstring& url) const;
    void RotateBackground();
    void Tick();
    template <typename Run>
    void RunModal(Run run);
    void CloseIfDeferred();
    void RefreshDisplay();
    void TraceShownLine(const std::wstring& text);
    void ShowOnTaskbar();
    void ConnectTaskbar();
    void ShowCompletion();
    void CreateDesktopShortcut() const;
    // The buttons and the folder box of each display state.
    void ShowButtons(WorkflowState state);
    void ShowStartButton();
    void ShowPausedButtons();
    void ShowDownloadingButtons();
    void ShowNotices();

    // IWorkflowEvents
    void OnStateChanged(WorkflowState state) override;
    void OnDiskShort(uint64_t missingBytes, uint64_t gameSize) override;
    void OnRestartAdvised() override;
    void AddNotice(const wchar_t* caption, std::wstring text, UINT icon);
    // A folder the download can go into, created; false after the message.
    bool FolderReady(const std::wstring& folder);
    // "base.cfg" keeps the folder in the ANSI code page: a name it cannot
    // hold would come back as another folder at the next start, so it is
    // refused with a message.
    bool FolderStorable(const std::wstring& folder);
    std::wstring FolderText() const;

    struct SNotice {
        const wchar_t* caption;
        std::wstring text;
        UINT icon;
    };

    CAppSetting& m_settings;
    const bool m_exitOnDone;
    WorkflowState m_shownState = WorkflowState::Ready;
    int m_shownPercent = 0;
    std::wstring m_shownLine;
    std::deque<SNotice> m_notices;
    int m_modalRuns = 0;
    bool m_deferredClose = false;
    WPARAM m_deferredCloseCode = 0;
    uitk::CGifProgressUI* m_progress = nullptr;
    uitk::CControlUI* m_btnStart = nullptr;
    uitk::CControlUI* m_btnPause = nullptr;
    uitk::CControlUI* m_btnResume = nullptr;
    uitk::CControlUI* m_editDownDir = nullptr;
    uitk::CControlUI* m_btnFolder = nullptr;
    uitk::CControlUI* m_labelPercent = nullptr;
    uitk::CControlUI* m_background = nullptr;
    uitk::CControlUI* m_labelDownInfo = nullptr;
    CDownloadWorkflow m_workflow;
    SettingsDialogRunner m_runSettingsDialog;
    UrlOpener m_openUrl;
    CTaskbarProgress m_taskbar;
    CTaskbarProgress::Connector m_connectTaskbar;
};

// The main window, once start-up has created it; null before and after.
extern CMainWnd* g_pMainWnd;
