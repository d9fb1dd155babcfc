#pragma once

#include "engine/DlbtModule.h"
#include "net/PublisherKey.h"
#include "net/SignedFetch.h"
#include "report/UsageReporter.h"
#include "settings/AppSetting.h"
#include "workflow/WorkflowEvents.h"
#include "workflow/WorkflowOptions.h"

#include <cstdint>
#include <string>

// Takes the program from its first second to a running, paused, failed or
// completed download: fetches the download description and the torrent,
// loads and starts the kernel, creates the downloader in the player's folder,
// turns its status into the progress line, checks the disk, starts the game
// and sends the usage reports. It has no thread or timer of its own: the
// owning window drives it from its initialisation, its buttons and its
// 500 ms timer, all on the user-interface thread, and hears back through
// IWorkflowEvents once each of those calls has done its work.
class CDownloadWorkflow {
public:
    CDownloadWorkflow(CAppSetting& settings, SWorkflowOptions options, IWorkflowEvents& events,
                      ReportClock clock = CurrentTimeMs);
    ~CDownloadWorkflow();
    CDownloadWorkflow(const CDownloadWorkflow&) = delete;
    CDownloadWorkflow& operator=(const CDownloadWorkflow&) = delete;

    // Fetches "server.cfg" in the background, and at once when there is no
    // copy of it yet.
    void LoadConfiguration();
    // Every tick: carries on with a fetch that has ended and, once the
    // player has started and until the game is complete, reads the kernel's
    // status into the line to show.
    void Tick();
    // The player starts in `folder`, which exists already.
    void Start(const std::wstring& folder);
    // A pause before the downloader exists keeps it from being created.
    void Pause();
    // A resume into another folder than the pause's starts the kernel and
    // the download afresh there.
    void Resume(const std::wstring& folder);
    // The stored limits, again after the settings dialog, once started.
    void ApplyStoredRateLimits();

    WorkflowState State() const { return m_state; }
    // The information line and the percentage to show.
    const std::wstring& Line() const { return m_statusText.empty() ? m_progressLine : m_statusText; }
    int Percent() const { return m_percent; }
    // The downloader's last status was an error (the line says which).
    bool DownloaderInError() const { return m_downloaderInError; }
    // The description or the torrent is still on its way.
    bool Fetching() const;
    // A usage report is still on its way.
    bool Reporting() const { return m_reports.UnderWay(); }

    // Gives a finish report still under way up to `milliseconds` to arrive.
    void WaitForFinishReport(DWORD milliseconds) { m_reports.WaitForFinishReport(milliseconds); }
    // The close report, first thing when the window is destroyed; it does
    // not call into a kernel that has been unloaded.
    void ReportClose();
    // Releases the downloader, shuts the kernel down and unloads it.
    void StopEngine();

private:
    void FetchDescription();
    void PollFetchJobs();
    void LoadServerInfo();
    void StartInDir(const std::wstring& folder);
    void StartEngine();
    void StartDownload();
    void RefreshProgress();
    void PauseDownload();
    // A status line that is no failure.
    void ShowStatus(const std::wstring& text);
    // A failure: shows `text`, forgets the description and the torrent file
    // so that the next start fetches everything again.
    void Fail(const std::wstring& text);
    std::wstring GetStateText(int code) const;
    void CheckDiskSpace(int state);
    void RunGame();
    bool ReadStatus(DLBT_DOWNLOADER_INFO& info) const;
    void CheckFirstStatus(const DLBT_DOWNLOADER_INFO& info);
    void HandleCompletion();
    // Without the publisher's key, every file; with it, a file that its
    // signature beside it verifies.
    bool Trusted(const std::wstring& path) const;
    void HandReportAddress();
    uint64_t AllocatedToGame(uint64_t free);
    void ReleaseCurrentDownloader();
    void SaveBaseSettings();
    WorkflowState ComputeState() const;
    // Tells the owner what changed, as the last step of each public call.
    void Publish();

    // What the drive had allocated to the game's files when it had `free`
    // bytes left.
    struct SAllocation {
        bool known = false;
        uint64_t free = 0;
        uint64_t bytes = 0;
    };
    // A shortage of room found in this call, told at its end.
    struct SShortage {
        bool found = false;
        uint64_t missingBytes = 0;
        uint64_t gameSize = 0;
    };

    CAppSetting& m_settings;
    const SWorkflowOptions m_options;
    IWorkflowEvents& m_events;
    CUsageReporter m_reports; // owns the report fetchers and the start time
    CDlbtModule m_engine;
    const CPublisherKey m_publisherKey;
    CSignedFetch m_configJob{m_publisherKey};
    CSignedFetch m_torrentJob{m_publisherKey};
    DLBT_DOWNLOADER m_downloader = nullptr;
    std::wstring m_torrentPath;
    std::wstring m_firstFilePath;
    std::wstring m_downloadDir;
    std::wstring m_pauseDir; // the folder in force at the pause
    std::wstring m_statusText;
    std::wstring m_progressLine;
    int m_percent = 0;
    bool m_downloaderInError = false;
    bool m_dirConfirmed = false;
    bool m_userPaused = false;
    bool m_failed = false;
    bool m_completed = false;
    bool m_infoChecked = false;
    bool m_singleFile = false;
    SAllocation m_allocation;
    SShortage m_shortage;
    bool m_restartAdvised = false;
    WorkflowState m_state = WorkflowState::Ready;
};
