// A game update as a publisher hands it out: version 1 published with the
// publishing tool and served by nginx and opentracker from the
// configurations it wrote (tests/e2e/publisher.py), downloaded by the
// program as shipped; then version 2 published over it, and the same
// player's program fetches only what changed.
#include "kernel/Swarm.h"
#include "workflow/Collector.h"

#include "support/ChildProcess.h"
#include "support/DebugOutputMonitor.h"
#include "support/ProgramDriver.h"
#include "support/TempDir.h"
#include "util/TextConvert.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <iterator>
#include <sstream>

namespace {

const uint64_t kPieceLength = 64 * 1024; // the tool's piece for a game of a few MB
const char* const kChangedFiles[] = {"data/pack1.dat", "readme.txt", "data/pack3.dat"};
const char* const kFilesOfVersion2[] = {"bin/game.exe", "data/pack1.dat", "data/pack2.dat", "data/pack3.dat",
                                        "readme.txt"};

std::string HostFile(const std::string& path) { return ReadWholeFile(WindowsPathOfHostPath(path)); }

std::wstring Backslashed(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return AnsiToWide(path);
}

// What nginx sent as the HTTP seed so far: the bodies of the "/seed/"
// requests in its access log (the "combined" format).
uint64_t SeedBytesSent(const std::string& accessLog)
{
    std::istringstream lines(HostFile(accessLog));
    uint64_t sent = 0;
    for (std::string line; std::getline(lines, line);) {
        const size_t request = line.find("\"GET /seed/");
        const size_t end = line.find("\" ", request == std::string::npos ? line.size() : request + 1);
        if (end == std::string::npos)
            continue;
        std::istringstream fields(line.substr(end + 2));
        int status = 0;
        uint64_t bytes = 0;
        if (fields >> status >> bytes && (status == 200 || status == 206))
            sent += bytes;
    }
    return sent;
}

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::istringstream state(HostFile(KORVANE_PUBLISHER_DIR "/swarm.json"));
        ASSERT_TRUE(Json::Reader().parse(state, m_state)) << "the publisher fixture has not run";
        const std::wstring games = m_temp.File(L"games\\Korvane\\");
        ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_EXE_PATH).c_str(), m_program.c_str(), FALSE));
        ::CreateDirectoryW(m_temp.File(L"cfg").c_str(), nullptr);
        ::CreateDirectoryW(m_temp.File(L"games").c_str(), nullptr);
        m_temp.Write(L"cfg\\base.cfg",
                     "{\"savepath\":\"" + JsonText(WideToAnsi(games)) + "\",\"uuid\":\"" + m_uuid + "\"}");
        m_temp.Write(L"config.json", "{\"config_url\":\"" + m_state["config_url"].asString() +
                                         "\",\"p2p_port\":29500,\"exit_on_done\":true,\"run_game_exe\":false}");
    }

    std::string Out(const std::string& relative) const { return m_state["out"].asString() + "/" + relative; }

    void RunToCompletion()
    {
        ProgramDriver run(m_debugOutput);
        run.SetEnvironment(L"KORVANE_REPORT_HOST", AnsiToWide(m_state["report_host"].asString()));
        ASSERT_TRUE(run.Start(m_program, m_temp.Path())) << "the window was not shown";
        EXPECT_TRUE(run.PressStart()) << run.Shown();
        ASSERT_EQ(run.WaitForExit(std::chrono::seconds(240)), 0u) << run.Shown();
        EXPECT_EQ(run.LastLine(), L"100% 下载完成！");
    }

    void ExpectGameIs(const char* version, const std::vector<const char*>& files) const
    {
        for (const char* file : files) {
            SCOPED_TRACE(file);
            EXPECT_TRUE(m_temp.Read(L"games\\Korvane\\" + Backslashed(file)) ==
                        HostFile(m_state["builds"].asString() + "/" + version + "/KorvaneGame/" + file));
        }
    }

    // The player's reports as nginx recorded them, its quotes written \x22.
    std::vector<std::string> Reports() const
    {
        std::istringstream lines(HostFile(Out("logs/reports.log")));
        std::vector<std::string> reports;
        for (std::string line; std::getline(lines, line);)
            if (line.find("uuid=" + m_uuid + "&") != std::string::npos)
                reports.push_back(line);
        return reports;
    }

    bool Reported(const std::string& event, const std::string& version) const
    {
        for (const std::string& line : Reports())
            if (line.find(event) != std::string::npos && line.find("\\x22ver\\x22:\\x22" + version) != std::string::npos)
                return true;
        return false;
    }

    Json::Value m_state;
    DebugOutputMonitor m_debugOutput;
    TempDir m_temp;
    std::string m_uuid = UniqueClientId("update");
    std::wstring m_program = m_temp.File(L"KorvaneDownloader.exe");
};

TEST_F(UpdateTest, APlayerOfVersion1FetchesOnlyWhatVersion2Changed)
{
    ASSERT_TRUE(m_debugOutput.Running());
    RunToCompletion();
    ExpectGameIs("1.0.0", {"bin/game.exe", "data/pack1.dat", "data/pack2.dat", "readme.txt"});
    EXPECT_TRUE(Reported("opname=start", "1.0.0") && Reported("opname=finish&costtime=0&rate=100", "1.0.0"))
        << ::testing::PrintToString(Reports());

    // The publisher hands out version 2.
    ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(Out("www/qorn/QornClient/server-2.0.0.cfg")).c_str(),
                            WindowsPathOfHostPath(Out("www/qorn/QornClient/server.cfg")).c_str(), FALSE));
    const uint64_t sentBefore = SeedBytesSent(Out("logs/access.log"));

    RunToCompletion();
    ExpectGameIs("2.0.0", {std::begin(kFilesOfVersion2), std::end(kFilesOfVersion2)});
    const uint64_t fetched = SeedBytesSent(Out("logs/access.log")) - sentBefore;
    const uint64_t changed = m_state["update_fetch"].asUInt64();
    EXPECT_GT(changed, 0u);
    EXPECT_LE(fetched, changed + std::size(kChangedFiles) * kPieceLength)
        << "the tool said a player fetches " << changed << " bytes";
    EXPECT_TRUE(Reported("opname=start", "2.0.0")) << ::testing::PrintToString(Reports());
    EXPECT_TRUE(Reported("opname=finish&costtime=0&rate=100", "2.0.0")) << ::testing::PrintToString(Reports());
}

} // namespace
