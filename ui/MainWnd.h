#pragma once

#include "DUIDialogBase.h"

#include "app/Distribution.h"
#include "workflow/DownloadWorkflow.h"
#include "workflow/WorkflowHost.h"

#include <functional>
#include <string>

namespace uitk {
class CGifProgressUI;
}

// The program's one top-level window: the game's artwork, the start, pause
// and resume buttons, the download folder, the progress bar with its
// percentage and one line of information. It owns the download workflow and
// drives it from its buttons and its 500 ms timer.
class CMainWnd : public CDUIDialogBase, public IWorkflowHost {
public:
    static const UINT kIconResourceId = 107;
    static const UINT_PTR kBackgroundTimer = 4;
    static const UINT kBackgroundPeriodMs = 5000;
    static const UINT_PTR kWorkflowTimer = 5;
    static const UINT kWorkflowPeriodMs = 500;

    // Runs the settings dialog modally over `owner`, returning once it has
    // closed. By default the settings dialog, CDlgSetting.
    using SettingsDialogRunner = std::function<void(HWND owner)>;
    using UrlOpener = std::function<void(const std::wstring& url)>;

    CMainWnd(CAppSetting& settings = g_appSetting, const CLauncherConfig& launcher = CLauncherConfig::Instance(),
             std::wstring reportHost = distribution::kReportHost);
    ~CMainWnd() override;

    // The pause button; also the workflow's pause when the disk runs short.
    void Pause();

    void SetSettingsDialogRunner(SettingsDialogRunner runner) { m_runSettingsDialog = std::move(runner); }
    void SetUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    CDownloadWorkflow& Workflow() { return m_workflow; }
    const std::wstring& PauseDir() const { return m_pauseDir; }

    // IWorkflowHost
    void PauseDownload() override { Pause(); }
    void ShowMessage(const wchar_t* caption, const wchar_t* text, UINT icon) override;

protected:
    std::wstring ClassName() const override { return L"#Downloader_MainWnd"; }
    void Init() override;
    void HandleClick(uitk::SNotification& msg) override;
    std::wstring SkinFile() const override { return L"DlgMain.xml"; }
    LRESULT HandleClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT HandleDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    LRESULT HandleSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
    void OnDialogTimer(UINT_PTR id) override;

    // The shell's folder browser; false when the player cancels or the
    // choice has no file-system path.
    virtual bool BrowseForFolder(std::wstring& folder);

private:
    void InitControls();
    void ChooseFolder();
    void Start();
    void Resume();
    void OpenSettings();
    void OpenPage(const std::wstring& url) const;
    void RotateBackground();
    void Tick();
    void TickOnce();
    template <typename Run>
    void RunModal(Run run);
    void CloseIfDeferred();
    void RefreshDisplay();
    void TraceShownLine(const std::wstring& text);
    void ShowCompletion();
    void CreateDesktopShortcut() const;
    // The buttons and the folder box of one display state.
    void ShowDownloadingButtons();
    void ShowStartButton();
    // A folder the download can go into, created; false after the message.
    bool FolderReady(const std::wstring& folder);
    // "base.cfg" keeps the folder in the ANSI code page: a name it cannot
    // hold would come back as another folder at the next start, so it is
    // refused with a message.
    bool FolderStorable(const std::wstring& folder);
    std::wstring FolderText() const;

    CAppSetting& m_settings;
    const CLauncherConfig& m_launcher;
    int m_shownPercent = 0;
    std::wstring m_shownLine;
    bool m_inTick = false;
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
    std::wstring m_pauseDir;
    SettingsDialogRunner m_runSettingsDialog;
    UrlOpener m_openUrl;
};

// The main window, once start-up has created it; null before and after.
extern CMainWnd* g_pMainWnd;
