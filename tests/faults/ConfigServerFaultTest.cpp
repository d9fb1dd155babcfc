// The configuration server misbehaving in every way a player may meet: the
// window tells what went wrong, nothing crashes or is lost, and once the
// server is healthy again the player's next try downloads the game.
#include "faults/GameCase.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

const wchar_t kLoadingConfiguration[] = L"正在加载配置信息....";
const wchar_t kNoTorrentAddress[] = L"加载游戏服务器信息时出错，请稍后重试！";
const wchar_t kNoTorrentFile[] = L"加载P2P信息出错，请稍后重试！";
const wchar_t kNoDownloader[] = L"启动下载失败，请重试！";

struct ServerFault {
    const char* mode;
    const wchar_t* shown; // what the window shows once the attempt has failed, if it fails
    int p2pPort;
};

const ServerFault kFaults[] = {
    {"down", kNoTorrentAddress, 31700},
    {"404", kNoTorrentAddress, 31720},
    {"500", kNoTorrentAddress, 31740},
    {"garbage", kNoTorrentAddress, 31760},
    {"array", kNoTorrentAddress, 31780},
    {"empty", kNoTorrentAddress, 31800},
    {"huge", kNoTorrentAddress, 31820},
    {"torrent-html", kNoDownloader, 31840},
    {"torrent-truncated", kNoDownloader, 31860},
    {"torrent-cut", kNoTorrentFile, 31880},
};

std::string CaseName(const std::string& mode)
{
    std::string name;
    for (const char c : mode)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

std::string NameOfFault(const ::testing::TestParamInfo<ServerFault>& info) { return CaseName(info.param.mode); }

class ServerFaultCase : public GameCase {
protected:
    void Prepare(const char* mode, int p2pPort)
    {
        ASSERT_NO_FATAL_FAILURE(PrepareCase(CaseName(mode), p2pPort));
        m_program = InstallProgram();
        ASSERT_TRUE(m_server.SetMode(mode));
    }

    std::wstring Cfg() const { return m_home.File(L"cfg\\"); }

    // The server heals, the player tries again and the game comes in; the
    // program ends by itself once it is complete.
    void ExpectRecovery(ProgramDriver& player)
    {
        ASSERT_TRUE(m_server.SetMode("healthy"));
        // Pause, then resume, which starts a failed download over.
        ASSERT_TRUE(player.Press(L"btn_pause"));
        ASSERT_TRUE(player.Press(L"btn_resume"));
        ExpectDownloadCompletes(player, Cfg());
        EXPECT_EQ(ReadWholeFile(Cfg() + L"server.cfg"), Description());
    }

    std::wstring m_program;
};

class ConfigServerFault : public ServerFaultCase, public ::testing::WithParamInterface<ServerFault> {};

TEST_P(ConfigServerFault, ShowsTheFailureKeepsTheSettingsAndRecoversOnTheNextTry)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(GetParam().mode, GetParam().p2pPort));
    ProgramDriver player = Player();
    ASSERT_TRUE(player.Start(m_program, m_home.Path())) << player.Shown();
    ASSERT_TRUE(player.Press(L"btn_start"));

    EXPECT_TRUE(player.WaitUntilShowing(GetParam().shown)) << player.Shown();
    EXPECT_TRUE(player.Running());
    EXPECT_TRUE(player.Responsive());
    ExpectBaseSettingsKept(Cfg());
    ExpectNoGameFiles();
    // A bad or missing torrent is not kept: the next try fetches it anew.
    EXPECT_EQ(::GetFileAttributesW((Cfg() + L"game.torrent").c_str()), INVALID_FILE_ATTRIBUTES);

    ExpectRecovery(player);
}

INSTANTIATE_TEST_SUITE_P(Faults, ConfigServerFault, ::testing::ValuesIn(kFaults), NameOfFault);

// The server turns bad after an earlier run left its description and
// torrent on disk: the download goes on with what the player has.
class BadServerAfterAnEarlierRun : public ServerFaultCase, public ::testing::WithParamInterface<ServerFault> {};


TEST_P(BadServerAfterAnEarlierRun, TheEarlierDescriptionAndTorrentCarryTheDownload)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(GetParam().mode, GetParam().p2pPort));
    m_home.Write(L"cfg\\server.cfg", Description());
    m_home.Write(L"cfg\\game.torrent", Torrent());
    ProgramDriver player = Player();
    ASSERT_TRUE(player.Start(m_program, m_home.Path())) << player.Shown();
    ASSERT_TRUE(player.Press(L"btn_start"));

    ExpectDownloadCompletes(player, Cfg());
    EXPECT_EQ(ReadWholeFile(Cfg() + L"server.cfg"), Description()) << "the next start needs the good one";
}

INSTANTIATE_TEST_SUITE_P(Faults, BadServerAfterAnEarlierRun,
                         ::testing::Values(ServerFault{"down", nullptr, 31980}, ServerFault{"garbage", nullptr, 32000}),
                         NameOfFault);

// A server that takes the request and never answers: the window keeps
// saying that it loads and stays usable; once the server answers again the
// download goes on by itself.
TEST_F(ServerFaultCase, AHangingServerKeepsTheWindowLoadingAndUsableUntilItAnswers)
{
    ASSERT_NO_FATAL_FAILURE(Prepare("hang", 31900));
    ProgramDriver player = Player();
    ASSERT_TRUE(player.Start(m_program, m_home.Path())) << player.Shown();
    ASSERT_TRUE(player.Press(L"btn_start"));

    // The blocking fetch at start-up has given up; the background one waits.
    ASSERT_TRUE(WaitFor([&] { return m_server.Hits("server.cfg") >= 2; }));
    EXPECT_TRUE(player.WaitUntilShowing(kLoadingConfiguration)) << player.Shown();
    EXPECT_TRUE(player.Responsive());
    ExpectBaseSettingsKept(Cfg());

    // Healed, the fetch is tried again and the download starts without
    // another press.
    ASSERT_TRUE(m_server.SetMode("healthy"));
    ExpectDownloadCompletes(player, Cfg());
}

} // namespace
