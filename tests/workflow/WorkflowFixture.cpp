#include "workflow/WorkflowFixture.h"

#include "support/ChildProcess.h"
#include "util/TextConvert.h"

#include <algorithm>

namespace {

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

} // namespace

std::vector<std::string> Sorted(std::vector<std::string> lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

WorkflowFixture::WorkflowFixture()
    : m_cfgDir(m_temp.Path() + L"\\cfg\\"),
      m_folder(m_temp.Path() + L"\\games\\Korvane\\"),
      m_uuid(UniqueClientId("wf")),
      m_settings(m_cfgDir)
{
    ::CreateDirectoryW(m_cfgDir.c_str(), nullptr);
    ::CreateDirectoryW((m_temp.Path() + L"\\games").c_str(), nullptr);
    ::CreateDirectoryW(m_folder.c_str(), nullptr);
    m_kernel = std::make_unique<FakeKernel>(m_cfgDir);
    m_launcher.config_url = Widen(CollectorUrl("/files/" + ServerName("server.cfg")));
    m_launcher.run_game_exe = false;
    WriteBaseSettings();
}

WorkflowFixture::~WorkflowFixture()
{
    m_workflow.reset();
    m_kernel.reset();
}

void WorkflowFixture::WriteBaseSettings(const std::string& extra)
{
    const std::string text =
        "{" + extra + "\"savepath\":\"" + JsonText(WideToAnsi(m_folder)) + "\",\"uuid\":\"" + m_uuid + "\"}";
    m_temp.Write(L"cfg\\base.cfg", text);
    m_settings.LoadAll();
}

std::string WorkflowFixture::TorrentUrl(const std::string& name) const
{
    return CollectorUrl("/files/" + ServerName(name));
}

void WorkflowFixture::ServeDescription(const std::string& torrentUrl, const std::string& mainExe)
{
    const std::string address = torrentUrl.empty() ? "" : "\"torrentUrl\":\"" + JsonText(torrentUrl) + "\",";
    ASSERT_TRUE(StoreOnCollector(ServerName("server.cfg"),
                                 "{" + address + "\"mainExe\":\"" + JsonText(mainExe) +
                                     "\",\"ver\":\"1.2.3\",\"httpSeed\":[\"http://seed.invalid/\"],"
                                     "\"trackers\":[\"http://tracker.invalid/announce\"]}"));
}

void WorkflowFixture::ServeTorrent(const std::string& name)
{
    ASSERT_TRUE(StoreOnCollector(ServerName(name), "d8:announce0:4:infod4:name7:Korvaneee"));
}

void WorkflowFixture::MakeWorkflow()
{
    m_workflow = std::make_unique<CDownloadWorkflow>(m_settings, m_launcher, *this, CollectorHost(),
                                                     [this] { return m_now; });
}

void WorkflowFixture::PollUntilFetchesEnd()
{
    ASSERT_TRUE(WaitFor([this] {
        m_workflow->PollFetchJobs();
        return m_workflow->m_configJob.m_handled && m_workflow->m_torrentJob.m_handled;
    }));
}

void WorkflowFixture::FetchUntilReady(const std::string& mainExe)
{
    ServeDescription(TorrentUrl(), mainExe);
    ServeTorrent();
    MakeWorkflow();
    m_workflow->LoadConfiguration();
    PollUntilFetchesEnd();
}

void WorkflowFixture::StartDownloading()
{
    FetchUntilReady();
    m_workflow->StartInDir(m_folder);
    ASSERT_NE(m_workflow->m_downloader, nullptr) << WideToAnsi(m_workflow->m_statusText);
}

std::wstring WorkflowFixture::Refresh(const DLBT_DOWNLOADER_INFO& status)
{
    m_kernel->SetStatus(status);
    return m_workflow->RefreshProgress();
}

std::vector<std::string> WorkflowFixture::SettledReports()
{
    const CUsageReporter& reports = m_workflow->m_reports;
    WaitFor([&] {
        for (const auto* slot : {&reports.m_startReport, &reports.m_progressReport, &reports.m_finishReport})
            if (*slot && !(*slot)->ReadOutcome().finished)
                return false;
        return true;
    });
    return Sorted(ReceivedReports(m_uuid));
}

std::string WorkflowFixture::Query(const std::string& opname, const std::string& costtime,
                                   const std::string& rate) const
{
    return "uuid=" + m_uuid + "&opname=" + opname + "&costtime=" + costtime + "&rate=" + rate +
           "&ext_info={\"ver\":\"1.2.3\"}";
}

void WorkflowFixture::PauseDownload()
{
    ++m_pauses;
    m_workflow->PauseDownload();
}

void WorkflowFixture::ShowMessage(const wchar_t* caption, const wchar_t* text, UINT icon)
{
    m_messages.push_back(std::wstring(caption) + L"|" + text + L"|" + std::to_wstring(icon));
}

bool WaitForGameStarted(const std::wstring& folder)
{
    const std::wstring marker = folder + L"\\game-started.txt";
    // Written, and let go of by the program, so the folder can be removed.
    return WaitFor([&] {
        HANDLE file = ::CreateFileW(marker.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const DWORD size = ::GetFileSize(file, nullptr);
        ::CloseHandle(file);
        return size != 0 && size != INVALID_FILE_SIZE;
    });
}
