#include "faults/SwarmFaultTest.h"

#include <algorithm>

#include "support/ChildProcess.h"
#include "util/TextConvert.h"
#include "workflow/Collector.h"

#include <cstdlib>

namespace {

std::wstring Backslashed(const std::string& path)
{
    std::wstring wide;
    for (char c : path)
        wide += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return wide;
}

std::string JsonList(const std::vector<std::string>& items)
{
    std::string list;
    for (const std::string& item : items)
        list += (list.empty() ? "\"" : ",\"") + item + "\"";
    return "[" + list + "]";
}

} // namespace

void SwarmFaultTest::SetUp()
{
    ASSERT_TRUE(m_swarm.Load()) << "the faults' swarm fixture has not run";
    ASSERT_TRUE(m_debugOutput.Running()) << "another debug viewer runs";
    ASSERT_TRUE(m_swarm.SetSeederAway(false));
    m_uuid = UniqueClientId("faults");
    m_program = m_temp.File(L"KorvaneDownloader.exe");
    ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_EXE_PATH).c_str(), m_program.c_str(), FALSE));
    ::CreateDirectoryW(m_temp.File(L"cfg").c_str(), nullptr);
    // The game's program is not run and the downloader ends by itself once
    // the game is complete: its exit tells the test the download is over.
    m_temp.Write(L"config.json", "{\"config_url\":\"" + CollectorUrl("/files/" + m_uuid + "/server.cfg") +
                                     "\",\"p2p_port\":29480,\"exit_on_done\":true,\"run_game_exe\":false}");
    ASSERT_TRUE(StoreOnCollector(m_uuid + "/game.torrent", ReadWholeFile(m_swarm.TorrentPath("game"))));
}

void SwarmFaultTest::Describe(const std::vector<std::string>& httpSeeds)
{
    ASSERT_TRUE(StoreOnCollector(m_uuid + "/server.cfg",
                                 "{\"torrentUrl\":\"" + CollectorUrl("/files/" + m_uuid + "/game.torrent") +
                                     "\",\"mainExe\":\"bin\\\\game.exe\",\"ver\":\"2.0.1\","
                                     "\"httpSeed\":" + JsonList(httpSeeds) +
                                     ",\"trackers\":[\"" + m_swarm.Tracker() + "\"]}"));
}

void SwarmFaultTest::WriteBaseSettings(const std::wstring& gameFolder)
{
    m_temp.Write(L"cfg\\base.cfg", "{\"savepath\":\"" + JsonText(WideToAnsi(gameFolder)) + "\",\"uuid\":\"" +
                                       m_uuid + "\",\"downlimit\":" + std::to_string(kRateLimitKBps) + "}");
}

bool SwarmFaultTest::StartProgram(ProgramDriver& run) const
{
    run.SetEnvironment(L"KORVANE_REPORT_HOST", CollectorHost());
    return run.Start(m_program, m_temp.Path());
}

uint64_t SwarmFaultTest::SeedsSent() const
{
    return m_swarm.SettledSeederUploaded("game") + m_swarm.WebSeedSent("/KorvaneGame/");
}

void SwarmFaultTest::ExpectGameIdenticalToSeed(const std::wstring& gameFolder) const
{
    // The torrent's paths begin with the game's own root folder; on disk the
    // player's folder takes its place.
    for (const std::string& file : m_swarm.Files("game")) {
        SCOPED_TRACE(file);
        const std::string inGame = file.substr(file.find('/') + 1);
        const std::string seed = m_swarm.SeedFile(file);
        ASSERT_FALSE(seed.empty());
        const std::string onDisk = ReadWholeFile(gameFolder + Backslashed(inGame));
        const auto differ = std::mismatch(onDisk.begin(), onDisk.end(), seed.begin(), seed.end());
        EXPECT_TRUE(onDisk == seed) << "differs from the seed's copy: " << onDisk.size() << " bytes for "
                                    << seed.size() << ", the first difference at "
                                    << (differ.first - onDisk.begin());
    }
}

std::vector<std::string> SwarmFaultTest::Reports() const { return ReceivedReports(m_uuid); }

std::vector<int> ReportedRates(const std::vector<std::string>& reports, const std::string& opname)
{
    std::vector<int> rates;
    const std::string operation = "&opname=" + opname + "&";
    for (const std::string& query : reports) {
        const size_t rate = query.find("&rate=");
        if (query.find(operation) != std::string::npos && rate != std::string::npos)
            rates.push_back(std::atoi(query.c_str() + rate + 6));
    }
    return rates;
}
