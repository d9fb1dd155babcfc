#include "faults/GameCase.h"

#include "util/TextConvert.h"
#include "workflow/Collector.h"

#include <json/reader.h>

#include <sstream>

namespace {

const wchar_t kComplete[] = L"下载完成！";

const char* const kGameFiles[] = {"bin\\game.exe", "data\\pack1.dat", "data\\pack2.dat", "readme.txt"};

std::string SeedPathOf(const char* file)
{
    std::string path = std::string("KorvaneGame/") + file;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

} // namespace

void GameCase::PrepareCase(const std::string& caseName, int p2pPort)
{
    ASSERT_TRUE(m_swarm.Load(KORVANE_GAME_SWARM_DIR)) << "the game swarm fixture has not run";
    ASSERT_TRUE(m_debugOutput.Running()) << "another debug viewer runs";
    ASSERT_TRUE(m_server.Open(caseName)) << "the configuration server fixture has not run";
    m_uuid = UniqueClientId(caseName.c_str());
    m_games = m_home.File(L"games\\Korvane\\");
    ::CreateDirectoryW(m_home.File(L"games").c_str(), nullptr);
    ASSERT_TRUE(m_server.Store("game.torrent", Torrent()));
    ASSERT_TRUE(m_server.Store("server.cfg", Description()));
    m_home.Write(L"config.json", "{\"config_url\":\"" + m_server.Url("server.cfg") + "\",\"p2p_port\":" +
                                     std::to_string(p2pPort) + ",\"exit_on_done\":true,\"run_game_exe\":false}");
}

std::wstring GameCase::InstallProgram()
{
    const std::wstring program = m_home.File(L"KorvaneDownloader.exe");
    EXPECT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_EXE_PATH).c_str(), program.c_str(), FALSE));
    ::CreateDirectoryW(m_home.File(L"cfg").c_str(), nullptr);
    WriteBaseSettings(m_home.File(L"cfg\\"));
    return program;
}

ProgramDriver GameCase::Player() const
{
    ProgramDriver player(m_debugOutput);
    player.SetEnvironment(L"KORVANE_REPORT_HOST", ConfigServer::ReportHost());
    return player;
}

void GameCase::WriteBaseSettings(const std::wstring& cfgFolder) const
{
    const std::string text =
        "{\"savepath\":\"" + JsonText(WideToAnsi(m_games)) + "\",\"uuid\":\"" + m_uuid + "\"}";
    HANDLE file = ::CreateFileW((cfgFolder + L"base.cfg").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
}

std::string GameCase::Description() const
{
    return "{\"torrentUrl\":\"" + m_server.Url("game.torrent") +
           "\",\"mainExe\":\"bin\\\\game.exe\",\"ver\":\"2.0.1\","
           "\"httpSeed\":[\"" + m_swarm.WebSeed() + "\"],\"trackers\":[\"" + m_swarm.Tracker() + "\"]}";
}

Json::Value GameCase::ReadBaseSettings(const std::wstring& cfgFolder)
{
    Json::Value settings;
    Json::CharReaderBuilder builder;
    std::istringstream in(ReadWholeFile(cfgFolder + L"base.cfg"));
    std::string errors;
    if (!Json::parseFromStream(builder, in, &settings, &errors) || !settings.isObject())
        return Json::Value();
    return settings;
}

void GameCase::ExpectDownloadCompletes(const ProgramDriver& player, const std::wstring& cfgFolder) const
{
    EXPECT_TRUE(player.WaitUntilShowing(kComplete, std::chrono::seconds(180))) << player.Shown();
    EXPECT_EQ(player.WaitForExit(std::chrono::seconds(60)), 0u) << player.Shown();
    ExpectGameComplete();
    ExpectBaseSettingsKept(cfgFolder);
    EXPECT_EQ(ReadBaseSettings(cfgFolder)["infohash"].asString(), m_swarm.InfoHash("game"));
    EXPECT_EQ(ReadWholeFile(cfgFolder + L"game.torrent"), Torrent());
    EXPECT_EQ(CountFilesEndingIn(cfgFolder, L".part"), 0);
    EXPECT_EQ(CountFilesEndingIn(cfgFolder, L".tmp"), 0);
}

void GameCase::ExpectGameComplete() const
{
    // Compared whole, reported by size: the files are megabytes of noise.
    for (const char* file : kGameFiles) {
        const std::string got = ReadWholeFile(m_games + AnsiToWide(file));
        const std::string seed = m_swarm.SeedFile(SeedPathOf(file));
        EXPECT_TRUE(got == seed) << file << ": " << got.size() << " bytes, the seed has " << seed.size();
    }
}

void GameCase::ExpectNoGameFiles() const
{
    for (const char* file : kGameFiles)
        EXPECT_EQ(::GetFileAttributesW((m_games + AnsiToWide(file)).c_str()), INVALID_FILE_ATTRIBUTES) << file;
}

void GameCase::ExpectBaseSettingsKept(const std::wstring& cfgFolder) const
{
    const Json::Value settings = ReadBaseSettings(cfgFolder);
    ASSERT_TRUE(settings.isObject()) << "base.cfg is missing or damaged";
    EXPECT_EQ(settings["savepath"].asString(), WideToAnsi(m_games));
    EXPECT_EQ(settings["uuid"].asString(), m_uuid);
}

int CountFilesEndingIn(const std::wstring& folder, const std::wstring& suffix)
{
    int count = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const std::wstring name = found.cFileName;
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            ++count;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return count;
}
