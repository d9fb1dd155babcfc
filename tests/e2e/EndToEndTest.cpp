// The whole road as a player takes it: the program as shipped (with its usage
// reports pointed at the tests' collector), the kernel it carries, a game
// from the local swarm's seeder and HTTP seed, the game's program started and
// the shortcut made; then the program once more over the complete game.
#include "kernel/Swarm.h"
#include "workflow/Collector.h"

#include "support/ChildProcess.h"
#include "support/DebugOutputMonitor.h"
#include "support/ProgramDriver.h"
#include "support/TempDir.h"
#include "util/TextConvert.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <chrono>

namespace {

const char* const kGameFiles[] = {"bin/game.exe", "data/pack1.dat", "data/pack2.dat", "readme.txt"};

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring DesktopShortcut()
{
    wchar_t desktop[MAX_PATH] = {};
    ::SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, TRUE);
    return std::wstring(desktop) + L"\\Korvane.lnk";
}

std::wstring Backslashed(const char* path)
{
    std::wstring wide;
    for (const char* c = path; *c; ++c)
        wide += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return wide;
}

size_t CountStartingWith(const std::vector<std::string>& reports, const std::string& prefix)
{
    return std::count_if(reports.begin(), reports.end(),
                         [&](const std::string& q) { return q.rfind(prefix, 0) == 0; });
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_swarm.Load()) << "the game swarm fixture has not run";
        ::DeleteFileW(DesktopShortcut().c_str());
        m_games = m_temp.File(L"games\\Korvane\\");
        ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_EXE_PATH).c_str(), m_program.c_str(), FALSE));
        ::CreateDirectoryW(m_temp.File(L"cfg").c_str(), nullptr);
        ::CreateDirectoryW(m_temp.File(L"games").c_str(), nullptr);
        m_temp.Write(L"cfg\\base.cfg",
                     "{\"savepath\":\"" + JsonText(WideToAnsi(m_games)) + "\",\"uuid\":\"" + m_uuid + "\"}");
        m_temp.Write(L"config.json", "{\"config_url\":\"" + CollectorUrl("/files/" + m_uuid + "/server.cfg") +
                                         "\",\"p2p_port\":29460,\"exit_on_done\":true,\"run_game_exe\":true}");
        ASSERT_TRUE(StoreOnCollector(m_uuid + "/game.torrent", ReadWholeFile(m_swarm.TorrentPath("game"))));
        ASSERT_TRUE(StoreOnCollector(m_uuid + "/server.cfg",
                                     "{\"torrentUrl\":\"" + CollectorUrl("/files/" + m_uuid + "/game.torrent") +
                                         "\",\"mainExe\":\"bin\\\\game.exe\",\"ver\":\"2.0.1\","
                                         "\"httpSeed\":[\"" + m_swarm.WebSeed() + "\"],"
                                         "\"trackers\":[\"" + m_swarm.Tracker() + "\"]}"));
    }

    void TearDown() override { ::DeleteFileW(DesktopShortcut().c_str()); }

    // Starts the program as the player does, waits for its window and
    // presses start; the exit code once it has ended by itself.
    DWORD RunAndPressStart(ProgramDriver& run)
    {
        run.SetEnvironment(L"KORVANE_REPORT_HOST", CollectorHost());
        if (!run.Start(m_program, m_temp.Path())) {
            ADD_FAILURE() << "the window was not shown";
            return STILL_ACTIVE;
        }
        EXPECT_TRUE(run.PressStart()) << run.Shown();
        const DWORD code = run.WaitForExit(std::chrono::seconds(240));
        m_ended = std::chrono::steady_clock::now();
        return code;
    }

    uint64_t SeedsSent() const { return m_swarm.SettledSeederUploaded("game") + m_swarm.WebSeedSent("/KorvaneGame/"); }

    Swarm m_swarm;
    DebugOutputMonitor m_debugOutput;
    std::chrono::steady_clock::time_point m_ended;
    TempDir m_temp;
    std::string m_uuid = UniqueClientId("e2e");
    std::wstring m_games;
    std::wstring m_program = m_temp.File(L"KorvaneDownloader.exe");
};

TEST_F(EndToEndTest, DownloadsTheGameStartsItEndsAndASecondRunFindsItComplete)
{
    ASSERT_TRUE(m_debugOutput.Running());
    const uint64_t sentBefore = SeedsSent();
    ProgramDriver first(m_debugOutput);
    ASSERT_EQ(RunAndPressStart(first), 0u) << "the program did not end by itself with 0\n" << first.Shown();

    // The progress line changed as the game came in, and the window ended
    // on the completion text at full.
    std::vector<std::wstring> lines = first.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), L"100% 下载完成！");
    EXPECT_GE(lines.size(), 2u);
    // The program ends at once: the kernel is not waited for at exit, and
    // the finish report is quick on this machine.
    const auto completed = first.TimeOf(L"100% 下载完成！");
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(m_ended - completed).count(), 2000)
        << "milliseconds from the completion to the end";
    // The state file stays, written clean, so the next start need not check
    // the whole game.
    EXPECT_NE(m_temp.Read(L"cfg\\game.torrent.dlbt").find("13:korvane-cleani1e"), std::string::npos)
        << "no clean state file beside the torrent";
    EXPECT_LT(PercentOf(lines.front()), 100) << "no progress shown before the end";

    for (const char* file : kGameFiles) {
        SCOPED_TRACE(file);
        EXPECT_EQ(m_temp.Read(L"games\\Korvane\\" + Backslashed(file)),
                  m_swarm.SeedFile(std::string("KorvaneGame/") + file));
    }
    EXPECT_TRUE(WaitFor([&] { return Exists(m_games + L"bin\\game-started.txt"); }))
        << "the game's program did not run";
    EXPECT_TRUE(Exists(DesktopShortcut()));
    const uint64_t sentFirst = SeedsSent();
    EXPECT_GE(sentFirst - sentBefore, m_swarm.TotalSize("game"));

    const std::string head = "uuid=" + m_uuid + "&opname=";
    const std::string ver = "&ext_info={\"ver\":\"2.0.1\"}";
    // The start, a progress report on the way and the finish; a progress
    // report at the end reads like the finish report.
    std::vector<std::string> reports = WaitForReports(m_uuid, 3);
    EXPECT_EQ(reports.front(), head + "start&costtime=0&rate=0" + ver);
    const std::string finish = head + "finish&costtime=0&rate=100" + ver;
    const auto finishes = std::count(reports.begin(), reports.end(), finish);
    EXPECT_GE(finishes, 1) << ::testing::PrintToString(reports);
    EXPECT_GE(CountStartingWith(reports, head + "finish&costtime=0&rate="), 2u) << ::testing::PrintToString(reports);
    for (const std::string& report : reports) {
        EXPECT_EQ(report.rfind(head, 0), 0u) << report;
        EXPECT_EQ(report.substr(report.size() - ver.size()), ver) << report;
    }

    // Once more over the complete game: checked, found whole, nothing fetched
    // and no second finish report.
    ::DeleteFileW(DesktopShortcut().c_str());
    ::DeleteFileW((m_games + L"bin\\game-started.txt").c_str());
    const size_t firstRunReports = ReceivedReports(m_uuid).size();
    ProgramDriver second(m_debugOutput);
    ASSERT_EQ(RunAndPressStart(second), 0u) << second.Shown();
    EXPECT_EQ(SeedsSent(), sentFirst) << "the complete game was downloaded again";
    // Checked, then complete: never a downloading line.
    lines = second.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), L"100% 下载完成！");
    for (const std::wstring& line : lines)
        EXPECT_EQ(line.find(L"下载速度："), std::wstring::npos) << WideToAnsi(line);
    EXPECT_TRUE(WaitFor([&] { return Exists(m_games + L"bin\\game-started.txt"); }));
    EXPECT_TRUE(Exists(DesktopShortcut()));
    for (const char* file : kGameFiles)
        EXPECT_EQ(m_temp.Read(L"games\\Korvane\\" + Backslashed(file)),
                  m_swarm.SeedFile(std::string("KorvaneGame/") + file));
    // The program has ended: whatever it reported has arrived.
    reports = ReceivedReports(m_uuid);
    EXPECT_GE(reports.size(), firstRunReports);
    EXPECT_EQ(std::count(reports.begin(), reports.end(), finish), finishes) << ::testing::PrintToString(reports);
}

} // namespace
