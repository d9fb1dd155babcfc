#pragma once

#include "workflow/Collector.h"
#include "workflow/DownloadWorkflow.h"
#include "workflow/FakeKernel.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

std::vector<std::string> Sorted(std::vector<std::string> lines);

// Waits until the tests' game program has run in `folder` and written its
// marker file there.
bool WaitForGameStarted(const std::wstring& folder);

// A workflow in a configuration folder of its own, fetching from the tests'
// server, reporting to its collector under a client id of its own, and
// driven without a window: the fixture stands in for the main window.
class WorkflowFixture : public ::testing::Test, public IWorkflowEvents {
protected:
    WorkflowFixture();
    ~WorkflowFixture() override;

    // "base.cfg" with the player's folder and the client id, plus `extra`
    // members (JSON text, each followed by a comma).
    void WriteBaseSettings(const std::string& extra = {});
    // The description on the server; an empty `torrentUrl` leaves the address out.
    void ServeDescription(const std::string& torrentUrl, const std::string& mainExe = "bin\\game.exe");
    std::string TorrentUrl(const std::string& name = "korvane.torrent") const;
    void ServeTorrent(const std::string& name = "korvane.torrent");
    std::string ServerName(const std::string& name) const { return m_uuid + "/" + name; }

    void MakeWorkflow();
    WorkflowState State() const { return m_workflow->State(); }
    // Ticks until both fetches have ended.
    void PollUntilFetchesEnd();
    // The first run up to the point where the player may start.
    void FetchUntilReady(const std::string& mainExe = "bin\\game.exe");
    // The first run up to a downloader in the player's folder.
    void StartDownloading();
    // A run that fetches what the server has now, and the player's start.
    void FetchAndStart();
    // The tests' game program as "stub.exe" in `folder` of the player's
    // folder, made here; the folder's path.
    std::wstring PlaceGameProgram(const std::wstring& folder);
    // One tick with the kernel reporting `status`: the line it shows.
    std::wstring Refresh(const DLBT_DOWNLOADER_INFO& status);
    // Waits until no report is under way, then gives what arrived, sorted:
    // reports of one refresh travel side by side.
    std::vector<std::string> SettledReports();
    std::string Query(const std::string& opname, const std::string& costtime, const std::string& rate) const;

    void OnStateChanged(WorkflowState state) override { m_states.push_back(state); }
    void OnDiskShort(uint64_t missingBytes, uint64_t gameSize) override;
    void OnRestartAdvised() override { ++m_restartsAdvised; }

    TempDir m_temp;
    std::wstring m_cfgDir;
    std::wstring m_folder; // the player's folder: the temporary folder's games\Korvane
    std::string m_uuid;
    CAppSetting m_settings;
    SWorkflowOptions m_options;
    std::unique_ptr<FakeKernel> m_kernel;
    std::unique_ptr<CDownloadWorkflow> m_workflow;
    uint64_t m_now = 1700000000000ull;
    std::vector<WorkflowState> m_states; // as told, in turn
    std::vector<std::pair<uint64_t, uint64_t>> m_shortages; // missing bytes, game size
    int m_restartsAdvised = 0;
};
