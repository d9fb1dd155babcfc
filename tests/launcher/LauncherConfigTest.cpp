#include "app/LauncherConfig.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

class LauncherConfigTest : public ::testing::Test {
protected:
    // A fresh record loaded from a "config.json" holding exactly `bytes`.
    CLauncherConfig LoadFrom(const std::string& bytes)
    {
        m_folder.Write(L"config.json", bytes);
        CLauncherConfig config;
        config.Load("config.json");
        return config;
    }

    TempDir m_folder;
    CurrentDirScope m_inFolder{m_folder.Path()};
};

// A literal's bytes including any NUL inside it.
template <size_t N>
std::string Bytes(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

const wchar_t kDefaultMutex[] = L"Global\\Vantor_Tessary_Korvane_9310";

void ExpectDefaults(const CLauncherConfig& config)
{
    EXPECT_EQ(config.p2p_port, 9310);
    EXPECT_EQ(config.mutex_name, kDefaultMutex);
    EXPECT_TRUE(config.run_game_exe);
    EXPECT_TRUE(config.exit_on_done);
    EXPECT_EQ(config.report_ip, L"");
    EXPECT_EQ(config.config_url.rfind(L"http://", 0), 0u);
    const std::wstring path = L"/qorn/QornClient/server.cfg";
    ASSERT_GE(config.config_url.size(), path.size());
    EXPECT_EQ(config.config_url.substr(config.config_url.size() - path.size()), path);
}

TEST_F(LauncherConfigTest, MissingFileKeepsEveryDefault)
{
    CLauncherConfig config;
    config.Load("config.json");
    ExpectDefaults(config);
    EXPECT_FALSE(m_folder.Exists(L"dump_config.json"));
}

TEST_F(LauncherConfigTest, FileIsFoundOnlyInTheWorkingFolder)
{
    TempDir elsewhere;
    elsewhere.Write(L"config.json", R"({"p2p_port": 1234})");
    CLauncherConfig config;
    config.Load("config.json");
    EXPECT_EQ(config.p2p_port, 9310);
}

TEST_F(LauncherConfigTest, PortTakesIntegersOnlyAndItsLow16BitsNameTheMutex)
{
    struct Case {
        const char* json;
        int16_t port;
        const wchar_t* mutexSuffix;
    } cases[] = {
        {R"({"P2P_PORT": 12000})", 12000, L"_12000"},
        {R"({"p2p_port": 70000})", 4464, L"_4464"},
        {R"({"p2p_port": 40000})", -25536, L"_-25536"},
        {R"({"p2p_port": -1})", -1, L"_-1"},
        {R"({"p2p_port": 9320e0})", 9320, L"_9320"},
        {R"({"p2p_port": 123456789012345678901234})", -20494, L"_-20494"},
        {R"({"p2p_port": 9320.0})", 9310, L"_9310"},
        {R"({"p2p_port": 932e1})", 9310, L"_9310"},
        {R"({"p2p_port": "9320"})", 9310, L"_9310"},
        {R"({"p2p_port": true})", 9310, L"_9310"},
        {R"({"p2p_port": null})", 9310, L"_9310"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const CLauncherConfig config = LoadFrom(c.json);
        EXPECT_EQ(config.p2p_port, c.port);
        EXPECT_EQ(config.mutex_name, std::wstring(L"Global\\Vantor_Tessary_Korvane") + c.mutexSuffix);
    }
}

TEST_F(LauncherConfigTest, EachMemberNeedsItsOwnTypeAndWrongOnesLeaveOnlyThemselvesAlone)
{
    const CLauncherConfig config = LoadFrom(R"({
        "run_game_exe": 0,
        "exit_on_done": false,
        "config_url": 5,
        "report_ip": "10.1.2.3",
        "p2p_port": 9400
    })");
    EXPECT_TRUE(config.run_game_exe);
    EXPECT_FALSE(config.exit_on_done);
    EXPECT_EQ(config.config_url, CLauncherConfig().config_url);
    EXPECT_EQ(config.report_ip, L"10.1.2.3");
    EXPECT_EQ(config.p2p_port, 9400);

    const CLauncherConfig other = LoadFrom(R"({"run_game_exe": "false", "exit_on_done": 1,
                                              "Config_Url": "", "REPORT_IP": false})");
    EXPECT_TRUE(other.run_game_exe);
    EXPECT_TRUE(other.exit_on_done);
    EXPECT_EQ(other.config_url, L"");
    EXPECT_EQ(other.report_ip, L"");
    EXPECT_FALSE(LoadFrom(R"({"run_game_exe": false})").run_game_exe);
}

TEST_F(LauncherConfigTest, FirstMatchingMemberCountsWhateverItsCase)
{
    EXPECT_EQ(LoadFrom(R"({"p2p_port": 1000, "p2p_port": 2000})").p2p_port, 1000);
    EXPECT_EQ(LoadFrom(R"({"P2p_Port": 3000, "p2p_port": 1000})").p2p_port, 3000);
    // The first match has the wrong type: the key is not looked for again.
    EXPECT_EQ(LoadFrom(R"({"p2p_port": "x", "P2P_PORT": 1000})").p2p_port, 9310);
}

TEST_F(LauncherConfigTest, OnlyTheJsonTextAtTheStartCounts)
{
    // Leading control bytes and spaces are skipped, text after the object
    // and after a NUL is ignored.
    EXPECT_EQ(LoadFrom("\x01\x1f \t{\"p2p_port\": 1000} trailing {[").p2p_port, 1000);
    EXPECT_EQ(LoadFrom(Bytes("{\"p2p_port\": 1000}\0{")).p2p_port, 1000);
    EXPECT_EQ(LoadFrom(Bytes("{\"p2p_port\": \0 1000}")).p2p_port, 9310);
}

TEST_F(LauncherConfigTest, UnreadableTextKeepsEveryDefault)
{
    for (const char* json : {
             "\xEF\xBB\xBF{\"p2p_port\": 1000}",          // byte-order mark
             "[{\"p2p_port\": 1000}]",                     // not an object
             "{\"p2p_port\": 1000, \"exit_on_done\": }",   // broken after a good member
             "{\"p2p_port\": 1000 // note\n}",             // comments are not JSON
             "{\"p2p_port\": 1000",                        // never closed
             "",
         }) {
        SCOPED_TRACE(json);
        ExpectDefaults(LoadFrom(json));
    }
}

TEST_F(LauncherConfigTest, StringsAreInTheAnsiCodePage)
{
    // "下载" in code page 936, the code page the tests run under.
    const CLauncherConfig config = LoadFrom("{\"config_url\": \"http://host/\xCF\xC2\xD4\xD8\"}");
    EXPECT_EQ(config.config_url, L"http://host/下载");
}

TEST_F(LauncherConfigTest, DumpCopiesTheTextReadWithCrLfLineEnds)
{
    const std::string text = "{\"dump_config\": true,\n \"p2p_port\": 1000\r\n}\n";
    LoadFrom(text + Bytes("\0tail\n"));
    EXPECT_EQ(m_folder.Read(L"dump_config.json"),
              "{\"dump_config\": true,\r\n \"p2p_port\": 1000\r\n}\r\n" + Bytes("\0tail\r\n"));
}

TEST_F(LauncherConfigTest, DumpOnlyWhenAskedWithTrue)
{
    for (const char* json : {R"({"dump_config": false})", R"({"dump_config": 1})",
                             R"({"dump_config": "true"})", "{\"dump_config\": true"}) {
        SCOPED_TRACE(json);
        LoadFrom(json);
        EXPECT_FALSE(m_folder.Exists(L"dump_config.json"));
    }
    LoadFrom(R"({"DUMP_CONFIG": true})");
    EXPECT_TRUE(m_folder.Exists(L"dump_config.json"));
}

} // namespace
