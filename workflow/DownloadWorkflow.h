#pragma once

#include "app/LauncherConfig.h"
#include "engine/DlbtModule.h"
#include "net/RetryGetHttpFile.h"
#include "report/UsageReporter.h"
#include "settings/AppSetting.h"
#include "workflow/WorkflowHost.h"

#include <cstdint>
#include <string>

// Takes the program from its first second to a running, paused, failed or
// completed download: fetches the download description and the torrent,
// loads and starts the kernel, creates the downloader in the player's folder,
// turns its status into the progress line, checks the disk, starts the game
// and sends the usage reports. It has no thread or timer of its own: the
// owning window drives it from its initialisation, its buttons and its
// 500 ms timer, all on the user-interface thread.
class CDownloadWorkflow {
public:
    CDownloadWorkflow(CAppSetting& settings, const CLauncherConfig& launcher, IWorkflowHost& host,
                      std::wstring reportHost = distribution::kReportHost, ReportClock clock = CurrentTimeMs);
    ~CDownloadWorkflow();
    CDownloadWorkflow(const CDownloadWorkflow&) = delete;
    CDownloadWorkflow& operator=(const CDownloadWorkflow&) = delete;

    // Fetches "server.cfg" in the background, and at once when there is no
    // copy of it yet.
    void LoadConfiguration();
    // Every tick: carries on with a fetch that has ended.
    void PollFetchJobs();
    // Reads the description just fetched and gets the torrent file.
    void LoadServerInfo();
    // The player starts (or resumes without a downloader) in `folder`, which
    // exists already.
    bool StartInDir(const std::wstring& folder);
    void StartEngine();
    void StartDownload();
    // The line to show for the downloader's status; empty without one.
    std::wstring RefreshProgress();
    // A failure: shows `text`, forgets the description and the torrent file
    // so that the next start fetches everything again.
    void SetStatus(const std::wstring& text);
    // Releases the downloader, shuts the kernel down and unloads it.
    void StopEngine();

    // The pause and resume buttons. A pause before the downloader exists
    // keeps it from being created; a resume into another folder starts the
    // kernel and the download afresh there.
    void PauseDownload();
    void ResumeDownload(const std::wstring& folder, bool folderChanged);
    // The stored limits, again after the settings dialog, once started.
    void ApplyStoredRateLimits();

    std::wstring GetStateText(int code) const;
    void CheckDiskSpace(int state);
    void RunGame();

    void ReportStart() { m_reports.ReportStart(); }
    void CheckProgressReports(float percent) { m_reports.CheckProgressReports(percent); }
    void ReportFinish() { m_reports.ReportFinish(); }
    void WaitForFinishReport(DWORD milliseconds) { m_reports.WaitForFinishReport(milliseconds); }
    // The close report, first thing when the window is destroyed; it does
    // not call into a kernel that has been unloaded.
    void ReportClose();

    std::wstring m_statusText;
    DLBT_DOWNLOADER m_downloader = nullptr;
    CRetryGetHttpFile m_configJob;
    CRetryGetHttpFile m_torrentJob;
    CUsageReporter m_reports; // owns the report fetchers and the start time
    CDlbtModule m_engine;
    std::wstring m_torrentPath;
    std::wstring m_firstFilePath;
    std::wstring m_downloadDir;
    bool m_dirConfirmed = false;
    bool m_userPaused = false;
    int m_percent = 0;
    bool m_completed = false;
    bool m_infoChecked = false;
    bool m_singleFile = false;

private:
    bool ReadStatus(DLBT_DOWNLOADER_INFO& info) const;
    void CheckFirstStatus(const DLBT_DOWNLOADER_INFO& info);
    void HandleCompletion();
    void HandReportAddress();
    uint64_t AllocatedToGame(uint64_t free);
    void ReleaseCurrentDownloader();
    void SaveBaseSettings();

    // What the drive had allocated to the game's files when it had `free`
    // bytes left.
    struct SAllocation {
        bool known = false;
        uint64_t free = 0;
        uint64_t bytes = 0;
    };
    SAllocation m_allocation;

    CAppSetting& m_settings;
    const CLauncherConfig& m_launcher;
    IWorkflowHost& m_host;
};
