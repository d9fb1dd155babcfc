// The three JSON readers under random input: the launcher configuration,
// the download description "server.cfg" and the local state "base.cfg".
#include "Fuzz.h"

#include "app/LauncherConfig.h"
#include "settings/BaseSetting.h"
#include "settings/DownSetting.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

const std::vector<std::string> kLauncherSamples = {
    R"({"p2p_port": 9310, "config_url": "http://127.0.0.1:8701/qorn/QornClient/server.cfg",
 "report_ip": "10.0.0.7", "run_game_exe": true, "exit_on_done": false, "dump_config": true})",
    "{\r\n  \"P2P_PORT\" : 65535,\r\n  \"Config_Url\" : \"http://\\u4e0b\\u8f7d/server.cfg\",\r\n"
    "  \"exit_on_done\" : true\r\n}\r\n",
    R"(  {"p2p_port": 9310e0, "run_game_exe": 0, "p2p_port": 1, "report_ip": null} trailing text)",
    R"({"p2p_port": -1, "dump_config": false, "unknown": [1, 2, {"x": "y"}], "config_url": ""})",
};

const std::vector<std::string> kServerCfgSamples = {
    R"({
   "mainExe" : "KorvaneGame\\bin\\game.exe",
   "torrentUrl" : "http://127.0.0.1:8701/qorn/QornClient/korvane.torrent",
   "ver" : "1.0.3",
   "httpSeed" : [ "http://127.0.0.1:8702/seed/", "http://127.0.0.1:8703/seed/" ],
   "trackers" : [ "http://127.0.0.1:6969/announce|udp://127.0.0.1:6969", "http://127.0.0.1:6970/announce" ]
})",
    "// the server's own comment\n{\"mainExe\": \"\xd3\xce\xcf\xb7.exe\", /* GBK */ \"torrentUrl\": "
    "\"http://h/t.torrent\", \"ver\": 7, \"httpSeed\": null, \"trackers\": [1, true, null, \"\"]}",
    R"({"torrentUrl": "http://h/", "httpSeed": "not a list", "trackers": {"a": "b"}, "ver": 1.9e3})",
};

const std::vector<std::string> kBaseCfgSamples = {
    "{\n   \"downlimit\" : 0,\n   \"infohash\" : \"0123456789abcdef0123456789abcdef01234567\",\n"
    "   \"reportdone\" : 1,\n   \"reportprocess_30\" : 1,\n   \"reportprocess_50\" : 0,\n"
    "   \"reportprocess_70\" : 0,\n   \"reportstart\" : 1,\n   \"savepath\" : \"D:\\\\Games\\\\Korvane\\\\\",\n"
    "   \"uplimit\" : 512,\n   \"uuid\" : \"00112233445566778899aabbccddeeff\"\n}\n",
    "{\"savepath\": \"C:\\\\\xd3\xce\xcf\xb7\\\\\", \"downlimit\": \"  -42kb\", \"uplimit\": 4294967295, "
    "\"reportstart\": true, \"uuid\": 12, \"infohash\": [\"x\"]}",
    "null",
};

void ExpectSameBase(const CBaseSetting& a, const CBaseSetting& b)
{
    EXPECT_EQ(a.m_upLimit, b.m_upLimit);
    EXPECT_EQ(a.m_downLimit, b.m_downLimit);
    EXPECT_EQ(a.m_reportDone, b.m_reportDone);
    EXPECT_EQ(a.m_reportStart, b.m_reportStart);
    EXPECT_EQ(a.m_reportProcess30, b.m_reportProcess30);
    EXPECT_EQ(a.m_reportProcess50, b.m_reportProcess50);
    EXPECT_EQ(a.m_reportProcess70, b.m_reportProcess70);
    EXPECT_EQ(a.m_infoHash, b.m_infoHash);
    EXPECT_EQ(a.m_savePath, b.m_savePath);
    EXPECT_EQ(a.m_uuid, b.m_uuid);
}

SFuzzTarget JsonTarget(const char* name, const std::vector<std::string>& samples,
                       std::function<void(const std::string&)> check)
{
    SFuzzTarget target;
    target.name = name;
    target.samples = samples;
    target.nestOpen = "[{\"k\":";
    target.nestClose = "}]";
    target.check = std::move(check);
    return target;
}

CBaseSetting KnownBase()
{
    CBaseSetting base;
    base.m_upLimit = 64;
    base.m_reportStart = 1;
    base.m_savePath = L"D:\\Games\\Korvane\\";
    base.m_uuid = L"00112233445566778899aabbccddeeff";
    return base;
}

} // namespace

TEST(ParserFuzz, LauncherConfiguration)
{
    TempDir folder;
    CurrentDirScope inFolder(folder.Path());
    RunFuzz(JsonTarget("launcher-config", kLauncherSamples, [&](const std::string& input) {
        folder.Write(L"config.json", input);
        CLauncherConfig config;
        config.Load("config.json");
        // The mutex name always follows the port, whatever the file said.
        wchar_t mutex[64];
        std::swprintf(mutex, 64, L"Global\\Vantor_Tessary_Korvane_%d", int(config.p2p_port));
        EXPECT_EQ(config.mutex_name, mutex);
    }));
}

TEST(ParserFuzz, ServerCfg)
{
    RunFuzz(JsonTarget("server-cfg", kServerCfgSamples, [](const std::string& input) {
        CDownSetting description;
        description.m_torrentUrl = "http://h/kept.torrent";
        description.m_httpSeed = {"http://kept-seed/"};
        if (!description.Parse(input)) {
            // A description that cannot be read leaves what was known.
            EXPECT_EQ(description.m_torrentUrl, "http://h/kept.torrent");
            EXPECT_EQ(description.m_httpSeed, std::vector<std::string>{"http://kept-seed/"});
        }
    }));
}

TEST(ParserFuzz, BaseCfg)
{
    RunFuzz(JsonTarget("base-cfg", kBaseCfgSamples, [](const std::string& input) {
        CBaseSetting loaded = KnownBase();
        if (!loaded.Parse(input)) {
            ExpectSameBase(loaded, KnownBase()); // a broken file changes nothing
            return;
        }
        // Whatever was read, the program writes a file it reads back, and
        // from then on reads back exactly what it wrote.
        CBaseSetting written, rewritten;
        ASSERT_TRUE(written.Parse(loaded.SavedText()));
        ASSERT_TRUE(rewritten.Parse(written.SavedText()));
        ExpectSameBase(written, rewritten);
        EXPECT_EQ(written.SavedText(), rewritten.SavedText());
    }));
}
