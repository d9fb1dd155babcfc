// The whole road of one download with the real kernel library and the local
// swarm: the description and the torrent from the tests' server, the game
// from the swarm's peers and HTTP seed, the game's program started at the
// end and the reports at the collector.
#include "workflow/WorkflowFixture.h"

#include "kernel/Swarm.h"
#include "support/ChildProcess.h"

#include <algorithm>
#include <chrono>

namespace {

const char* const kGameFiles[] = {"bin/game.exe", "data/pack1.dat", "data/pack2.dat", "readme.txt"};

class WorkflowSwarmTest : public WorkflowFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_swarm.Load()) << "the swarm fixture has not run";
        // The real kernel in place of the stand-in.
        m_kernel.reset();
        ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_KERNEL_DLL).c_str(), (m_cfgDir + L"DLBT.dll").c_str(),
                                FALSE));
        m_options.p2pPort = 29400; // clear of the kernel tests' ports
        m_options.runGame = true;
    }

    void ServeSwarmDescription()
    {
        ASSERT_TRUE(StoreOnCollector(ServerName("multi.torrent"), ReadWholeFile(m_swarm.TorrentPath("multi"))));
        ASSERT_TRUE(StoreOnCollector(ServerName("server.cfg"),
                                     "{\"torrentUrl\":\"" + TorrentUrl("multi.torrent") +
                                         "\",\"mainExe\":\"tools\\\\stub.exe\",\"ver\":\"9.9\","
                                         "\"httpSeed\":[\"" + m_swarm.WebSeed() + "\"],"
                                         "\"trackers\":[\"" + m_swarm.Tracker() + "\"]}"));
    }

    Swarm m_swarm;
};

TEST_F(WorkflowSwarmTest, DownloadsTheGameFromTheSwarmStartsItAndReports)
{
    ServeSwarmDescription();
    // The game's program, placed where the description says it lies.
    const std::wstring tools = PlaceGameProgram(L"tools");
    FetchAndStart();
    ASSERT_EQ(State(), WorkflowState::Downloading) << m_workflow->Line().size();

    ASSERT_TRUE(WaitFor(
        [&] {
            m_workflow->Tick();
            return State() == WorkflowState::Completed;
        },
        std::chrono::seconds(240)))
        << "not complete; last line has " << m_workflow->Line().size() << " characters";
    EXPECT_EQ(m_workflow->Line(), L"下载完成！");
    EXPECT_EQ(m_workflow->Percent(), 100);

    for (const char* file : kGameFiles) {
        SCOPED_TRACE(file);
        std::wstring onDisk = L"games\\Korvane\\";
        for (const char* c = file; *c; ++c)
            onDisk += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
        EXPECT_EQ(m_temp.Read(onDisk), m_swarm.SeedFile(std::string("KorvaneGame/") + file));
    }
    EXPECT_EQ(m_settings.m_mainExePath, tools + L"\\stub.exe");
    EXPECT_TRUE(WaitForGameStarted(tools)) << "the game's program did not run";

    const std::vector<std::string> reports = SettledReports();
    const std::string head = "uuid=" + m_uuid + "&opname=";
    const std::string tail = "&ext_info={\"ver\":\"9.9\"}";
    EXPECT_NE(std::find(reports.begin(), reports.end(), head + "start&costtime=0&rate=0" + tail), reports.end());
    EXPECT_NE(std::find(reports.begin(), reports.end(), head + "finish&costtime=0&rate=100" + tail), reports.end());
    for (const std::string& report : reports) {
        EXPECT_EQ(report.rfind(head, 0), 0u) << report;
        EXPECT_EQ(report.substr(report.size() - tail.size()), tail) << report;
    }
    m_workflow->ReportClose();
    const std::vector<std::string> withClose = ReceivedReports(m_uuid);
    ASSERT_EQ(withClose.size(), reports.size() + 1);
    EXPECT_EQ(withClose.back().rfind(head + "close&costtime=0&rate=100&ext_info={\"ver\":\"9.9\"%2C\"updata\":", 0), 0u)
        << withClose.back();
    m_workflow.reset(); // shuts the kernel down

    const std::string infoHash = m_swarm.InfoHash("multi");
    EXPECT_EQ(m_settings.m_infoHash, std::wstring(infoHash.begin(), infoHash.end()));
}

// The address from "report_ip" reaches the trackers: handed over before the
// kernel starts, and again to a kernel loaded anew for another folder.
TEST_F(WorkflowSwarmTest, TrackersAreToldTheReportAddressAlsoByAKernelLoadedAnew)
{
    // A kernel's first announce of a download; a stopped one may come from
    // the kernel that goes.
    const auto startsTellingTheAddress = [] {
        const std::vector<std::string> announces = ReceivedAnnounces();
        return std::count_if(announces.begin(), announces.end(), [](const std::string& query) {
            return query.find("event=started") != std::string::npos && query.find("ip=10.0.0.7") != std::string::npos;
        });
    };
    m_options.reportIp = L"10.0.0.7";
    ASSERT_TRUE(StoreOnCollector(ServerName("multi.torrent"), ReadWholeFile(m_swarm.TorrentPath("multi"))));
    ASSERT_TRUE(StoreOnCollector(ServerName("server.cfg"), "{\"torrentUrl\":\"" + TorrentUrl("multi.torrent") +
                                                               "\",\"trackers\":[\"" + CollectorUrl("/announce") +
                                                               "\"]}"));
    const auto before = startsTellingTheAddress();

    MakeWorkflow();
    m_workflow->LoadConfiguration();
    PollUntilFetchesEnd();
    m_workflow->Start(m_folder);
    ASSERT_EQ(State(), WorkflowState::Downloading);
    ASSERT_TRUE(WaitFor([&] { return startsTellingTheAddress() > before; }, std::chrono::seconds(60)))
        << "no announce told the address";

    const auto first = startsTellingTheAddress();
    ASSERT_TRUE(::CreateDirectoryW(m_temp.File(L"elsewhere").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(m_temp.File(L"elsewhere\\Korvane").c_str(), nullptr));
    m_workflow->Pause();
    m_workflow->Resume(m_temp.File(L"elsewhere\\Korvane\\"));
    ASSERT_EQ(State(), WorkflowState::Downloading);
    ASSERT_TRUE(WaitFor([&] { return startsTellingTheAddress() > first; }, std::chrono::seconds(60)))
        << "the kernel loaded anew told no address";
}

} // namespace
