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
    m_options.configUrl = Widen(CollectorUrl("/files/" + ServerName("server.cfg")));
    m_options.p2pPort = 9310;
    m_options.runGame = false;
    m_options.reportHost = CollectorHost();
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
    m_workflow = std::make_unique<CDownloadWorkflow>(m_settings, m_options, *this, [this] { return m_now; });
}

void WorkflowFixture::PollUntilFetchesEnd()
{
    ASSERT_TRUE(WaitFor([this] {
        m_workflow->Tick();
        return !m_workflow->Fetching();
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
    m_workflow->Start(m_folder);
    ASSERT_EQ(State(), WorkflowState::Downloading) << WideToAnsi(m_workflow->Line());
}

void WorkflowFixture::FetchAndStart()
{
    MakeWorkflow();
    m_workflow->LoadConfiguration();
    PollUntilFetchesEnd();
    m_workflow->Start(m_folder);
}

std::wstring WorkflowFixture::PlaceGameProgram(const std::wstring& folder)
{
    const std::wstring path = m_folder + folder;
    EXPECT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
    EXPECT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_GAME_STUB).c_str(), (path + L"\\stub.exe").c_str(), FALSE));
    return path;
}

std::wstring WorkflowFixture::Refresh(const DLBT_DOWNLOADER_INFO& status)
{
    m_kernel->SetStatus(status);
    m_workflow->Tick();
    return m_workflow->Line();
}

std::vector<std::string> WorkflowFixture::SettledReports()
{
    WaitFor([&] { return !m_workflow->Reporting(); });
    return Sorted(ReceivedReports(m_uuid));
}

std::string WorkflowFixture::Query(const std::string& opname, const std::string& costtime,
                                   const std::string& rate) const
{
    return "uuid=" + m_uuid + "&opname=" + opname + "&costtime=" + costtime + "&rate=" + rate +
           "&ext_info={\"ver\":\"1.2.3\"}";
}

void WorkflowFixture::OnDiskShort(uint64_t missingBytes, uint64_t gameSize)
{
    m_shortages.emplace_back(missingBytes, gameSize);
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
