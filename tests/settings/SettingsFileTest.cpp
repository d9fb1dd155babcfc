#include "settings/AppSetting.h"
#include "settings/BaseSetting.h"
#include "settings/DownSetting.h"
#include "settings/SimpleFile.h"

#include "support/TempDir.h"
#include "util/UniqueHandle.h"

#include <json/reader.h>
#include <json/writer.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <thread>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

class DownSettingTest : public ::testing::Test {
protected:
    bool Load(const std::string& bytes)
    {
        m_folder.Write(L"server.cfg", bytes);
        return m_setting.LoadFile(m_folder.File(L"server.cfg"));
    }

    TempDir m_folder;
    CDownSetting m_setting;
};

TEST_F(DownSettingTest, ReadsEveryKey)
{
    ASSERT_TRUE(Load(R"({"mainExe": "bin\\Korvane.exe", "torrentUrl": "http://h/t.torrent",
        "ver": "1.2", "httpSeed": ["http://s1/", "http://s2/"], "trackers": ["udp://a|udp://b"],
        "other": 1})"));
    EXPECT_EQ(m_setting.m_mainExe, "bin\\Korvane.exe");
    EXPECT_EQ(m_setting.m_torrentUrl, "http://h/t.torrent");
    EXPECT_EQ(m_setting.m_ver, "1.2");
    EXPECT_EQ(m_setting.m_httpSeed, (Strings{"http://s1/", "http://s2/"}));
    EXPECT_EQ(m_setting.m_trackers, (Strings{"udp://a|udp://b"}));
}

TEST_F(DownSettingTest, ListsThatAreNotArraysKeepTheOldOnes)
{
    ASSERT_TRUE(Load(R"({"httpSeed": ["a", "", "b"], "trackers": [1, true, null]})"));
    EXPECT_EQ(m_setting.m_httpSeed, (Strings{"a", "", "b"}));
    EXPECT_EQ(m_setting.m_trackers, (Strings{"1", "1", ""}));

    ASSERT_TRUE(Load(R"({"httpSeed": "http://one/", "trackers": {"x": "y"}, "mainExe": 5})"));
    EXPECT_EQ(m_setting.m_httpSeed, (Strings{"a", "", "b"}));
    EXPECT_EQ(m_setting.m_trackers, (Strings{"1", "1", ""}));
    EXPECT_EQ(m_setting.m_mainExe, "5");

    ASSERT_TRUE(Load("{}")); // missing lists are empty lists
    EXPECT_TRUE(m_setting.m_httpSeed.empty());
    EXPECT_TRUE(m_setting.m_trackers.empty());
}

TEST_F(DownSettingTest, RefusesWhatIsNotAnObjectAndChangesNothing)
{
    ASSERT_TRUE(Load(R"({"mainExe": "game.exe", "httpSeed": ["s"]})"));
    for (const char* text : {R"(["mainExe", "other.exe"])", "\"text\"", "42", "{\"mainExe\": ",
                             "", "not json"}) {
        EXPECT_FALSE(Load(text)) << text;
        EXPECT_EQ(m_setting.m_mainExe, "game.exe") << text;
        EXPECT_EQ(m_setting.m_httpSeed, (Strings{"s"})) << text;
    }
    EXPECT_FALSE(m_setting.LoadFile(m_folder.File(L"missing.cfg")));
    EXPECT_EQ(m_setting.m_mainExe, "game.exe");
}

TEST_F(DownSettingTest, DeepNestingIsRefusedNotACrash)
{
    ASSERT_TRUE(Load(R"({"mainExe": "game.exe"})"));
    EXPECT_FALSE(Load("{\"a\": " + std::string(100000, '[')));
    EXPECT_EQ(m_setting.m_mainExe, "game.exe");
}

TEST_F(DownSettingTest, AcceptsCommentsTrailingTextAndNull)
{
    ASSERT_TRUE(Load("// fetched from the server\n{ /* the program */ \"mainExe\": \"a.exe\",\n"
                     "  \"ver\": \"7\" // release\n} trailing words"));
    EXPECT_EQ(m_setting.m_mainExe, "a.exe");
    EXPECT_EQ(m_setting.m_ver, "7");

    ASSERT_TRUE(Load("null"));
    EXPECT_EQ(m_setting.m_mainExe, "");
    EXPECT_EQ(m_setting.m_ver, "");
}

TEST_F(DownSettingTest, ResetKeepsOnlyTheVersion)
{
    ASSERT_TRUE(Load(R"({"mainExe": "a.exe", "torrentUrl": "t", "ver": "9", "httpSeed": ["s"],
        "trackers": ["t"]})"));
    m_setting.Reset();
    EXPECT_EQ(m_setting.m_mainExe, "");
    EXPECT_EQ(m_setting.m_torrentUrl, "");
    EXPECT_TRUE(m_setting.m_httpSeed.empty());
    EXPECT_TRUE(m_setting.m_trackers.empty());
    EXPECT_EQ(m_setting.m_ver, "9");
}

TEST_F(DownSettingTest, ReadsFilesLongerThanOneChunk)
{
    const std::string padding = "/*" + std::string(10000, 'x') + "*/";
    ASSERT_TRUE(Load(padding + R"({"torrentUrl": ")" + std::string(5000, 'u') + "\"}"));
    EXPECT_EQ(m_setting.m_torrentUrl, std::string(5000, 'u'));
}

class BaseSettingTest : public ::testing::Test {
protected:
    std::wstring Path() const { return m_folder.File(L"base.cfg"); }

    // Every file name in `folder` (below the test's folder): a save leaves
    // only "base.cfg" behind, no temporary of its own.
    std::vector<std::wstring> FilesIn(const std::wstring& folder) const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        const HANDLE search = ::FindFirstFileW(m_folder.File(folder + L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return names;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(found.cFileName);
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
        return names;
    }

    TempDir m_folder;
};

const char kEveryMemberFile[] = R"({
   "downlimit" : 100,
   "infohash" : "0123abcd",
   "reportdone" : 1,
   "reportprocess_30" : 1,
   "reportprocess_50" : 0,
   "reportprocess_70" : 1,
   "reportstart" : 1,
   "savepath" : "D:\\Games\\Korvane\\",
   "uplimit" : 20,
   "uuid" : "64ef59ed159b1cfd56057da3b82a7677"
}
)";

TEST_F(BaseSettingTest, WritesAllMembersInNameOrderWhateverOrderWasRead)
{
    m_folder.Write(L"base.cfg", R"({"uuid": "64ef59ed159b1cfd56057da3b82a7677", "uplimit": 20,
        "savepath": "D:\\Games\\Korvane\\", "reportstart": 1, "reportprocess_70": 1,
        "reportprocess_30": 1, "reportdone": 1, "infohash": "0123abcd", "downlimit": 100})");
    CBaseSetting setting;
    ASSERT_TRUE(setting.LoadFile(Path()));
    EXPECT_EQ(setting.m_savePath, L"D:\\Games\\Korvane\\");
    EXPECT_EQ(setting.m_downLimit, 100);
    EXPECT_EQ(setting.m_upLimit, 20);
    EXPECT_EQ(setting.m_reportProcess50, 0);

    ASSERT_TRUE(setting.Save(Path()));
    EXPECT_EQ(m_folder.Read(L"base.cfg"), kEveryMemberFile);
}

// The layout is jsoncpp's StyledWriter's, byte for byte, for the texts that
// writer keeps intact.
TEST_F(BaseSettingTest, LayoutIsThatOfStyledWriter)
{
    CBaseSetting setting;
    setting.m_downLimit = 2147483647;
    setting.m_savePath = L"C:\\a \"quoted\"\\tab\there/";
    setting.m_infoHash = L"\x01\x1f";
    setting.m_uuid = L"x";

    Json::Value document;
    Json::Reader reader;
    ASSERT_TRUE(reader.parse(setting.SavedText(), document, false));
    EXPECT_EQ(setting.SavedText(), Json::StyledWriter().write(document));
}

TEST_F(BaseSettingTest, AnsiTextsSurviveLoadAndSaveUnchanged)
{
    // "D:\游戏\中文\" and an info-hash in code page 936, as written by hand.
    const std::string file = "{\n   \"downlimit\" : 0,\n   \"infohash\" : \"\xB9\xFE\xCF\xA3\",\n"
                             "   \"reportdone\" : 0,\n   \"reportprocess_30\" : 0,\n"
                             "   \"reportprocess_50\" : 0,\n   \"reportprocess_70\" : 0,\n"
                             "   \"reportstart\" : 0,\n"
                             "   \"savepath\" : \"D:\\\\\xD3\xCE\xCF\xB7\\\\\xD6\xD0\xCE\xC4\\\\\",\n"
                             "   \"uplimit\" : 0,\n   \"uuid\" : \"u\"\n}\n";
    ASSERT_EQ(::GetACP(), 936u);
    m_folder.Write(L"base.cfg", file);
    CBaseSetting setting;
    ASSERT_TRUE(setting.LoadFile(Path()));
    EXPECT_EQ(setting.m_savePath, L"D:\\游戏\\中文\\");
    ASSERT_TRUE(setting.Save(Path()));
    EXPECT_EQ(m_folder.Read(L"base.cfg"), file);
}

TEST_F(BaseSettingTest, MissingKeysResetTheirFields)
{
    CBaseSetting setting;
    setting.m_upLimit = 5;
    setting.m_reportDone = 1;
    setting.m_uuid = L"old";
    m_folder.Write(L"base.cfg", R"({"downlimit": 100})");
    ASSERT_TRUE(setting.LoadFile(Path()));
    EXPECT_EQ(setting.m_downLimit, 100);
    EXPECT_EQ(setting.m_upLimit, 0);
    EXPECT_EQ(setting.m_reportDone, 0);
    EXPECT_EQ(setting.m_uuid, L"");
}

// Another program (a virus scanner, an editor) holding the file open without
// letting it be replaced makes the real final step fail.
TEST_F(BaseSettingTest, SaveInterruptedAtTheFinalStepKeepsTheOldFileReadable)
{
    CBaseSetting setting;
    setting.m_downLimit = 300;
    ASSERT_TRUE(setting.Save(Path()));
    const std::string before = m_folder.Read(L"base.cfg");

    CUniqueHandle holder(::CreateFileW(Path().c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       0, nullptr));
    ASSERT_TRUE(holder.Valid());
    setting.m_downLimit = 500;
    EXPECT_FALSE(setting.Save(Path()));
    holder.Reset();

    EXPECT_EQ(m_folder.Read(L"base.cfg"), before);
    EXPECT_EQ(FilesIn(L""), std::vector<std::wstring>{L"base.cfg"});
    CBaseSetting reread;
    ASSERT_TRUE(reread.LoadFile(Path()));
    EXPECT_EQ(reread.m_downLimit, 300);
}

// The program reads its files while a fetch replaces them, and on Windows a
// virus scanner opens every new file for a moment: a hold of a moment must
// not make the replace fail.
TEST_F(BaseSettingTest, SaveReplacesAFileHeldForAMoment)
{
    CBaseSetting setting;
    ASSERT_TRUE(setting.Save(Path()));
    for (const bool ourReader : {true, false}) {
        SCOPED_TRACE(ourReader ? "the program's own reader" : "another program");
        CSimpleFile reader;
        CUniqueHandle scanner;
        if (ourReader)
            ASSERT_EQ(reader.Open(Path(), false), 0u);
        else
            scanner.Reset(::CreateFileW(Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        std::thread letGo([&] {
            ::Sleep(150);
            reader.Close();
            scanner.Reset();
        });
        setting.m_downLimit = ourReader ? 7 : 8;
        const bool saved = setting.Save(Path());
        letGo.join();
        EXPECT_TRUE(saved);
        CBaseSetting reread;
        ASSERT_TRUE(reread.LoadFile(Path()));
        EXPECT_EQ(reread.m_downLimit, setting.m_downLimit);
    }
    EXPECT_EQ(FilesIn(L""), std::vector<std::wstring>{L"base.cfg"});
}

TEST_F(BaseSettingTest, SaveIgnoresStaleTemporaryFileAndCreatesFolders)
{
    const std::wstring nested = m_folder.File(L"one\\two\\base.cfg");
    CBaseSetting setting;
    setting.m_uuid = L"abc";
    ASSERT_TRUE(setting.Save(nested));

    // A leftover from a save that died half-way must not leak into the next.
    m_folder.Write(L"one\\two\\base.cfg.tmp", std::string(9000, '#'));
    setting.m_uuid = L"def";
    ASSERT_TRUE(setting.Save(nested));
    EXPECT_EQ(m_folder.Read(L"one\\two\\base.cfg"), setting.SavedText());
    ::DeleteFileW(m_folder.File(L"one\\two\\base.cfg.tmp").c_str());
    EXPECT_EQ(FilesIn(L"one\\two\\"), std::vector<std::wstring>{L"base.cfg"});
}

TEST_F(BaseSettingTest, SaveThatCannotWriteFailsAndKeepsTheOldFile)
{
    m_folder.Write(L"blocker", "a file where a folder should be");
    CBaseSetting setting;
    EXPECT_FALSE(setting.Save(m_folder.File(L"blocker\\base.cfg")));
    EXPECT_EQ(m_folder.Read(L"blocker"), "a file where a folder should be");
}

bool IsLowercaseHex32(const std::wstring& text)
{
    if (text.size() != 32)
        return false;
    for (wchar_t c : text)
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')))
            return false;
    return true;
}

class AppSettingTest : public ::testing::Test {
protected:
    TempDir m_folder;
    CAppSetting m_settings{m_folder.Path() + L"\\"};
};

TEST_F(AppSettingTest, FirstLoadWithoutFilesCreatesBaseCfg)
{
    EXPECT_EQ(m_settings.m_baseCfgPath, m_folder.File(L"base.cfg"));
    EXPECT_EQ(m_settings.m_serverCfgPath, m_folder.File(L"server.cfg"));
    EXPECT_TRUE(m_settings.LoadAll());

    CBaseSetting written;
    ASSERT_TRUE(written.LoadFile(m_settings.m_baseCfgPath));
    EXPECT_EQ(written.m_savePath, m_settings.m_savePath);
    ASSERT_GE(written.m_savePath.size(), 4u);
    EXPECT_EQ(written.m_savePath.back(), L'\\');
    EXPECT_NE(written.m_savePath[written.m_savePath.size() - 2], L'\\');
    EXPECT_TRUE(IsLowercaseHex32(written.m_uuid));
    EXPECT_EQ(written.m_uuid, m_settings.m_uuid);
    EXPECT_EQ(written.m_downLimit + written.m_upLimit + written.m_reportDone +
                  written.m_reportStart + written.m_reportProcess30 + written.m_reportProcess50 +
                  written.m_reportProcess70,
              0);
    EXPECT_EQ(written.m_infoHash, L"");
    EXPECT_EQ(m_folder.Read(L"base.cfg"), written.SavedText());
    EXPECT_FALSE(m_folder.Exists(L"server.cfg"));
    EXPECT_EQ(m_settings.m_torrentUrl, "");
}

TEST_F(AppSettingTest, PartialBaseCfgIsCompletedAndHandEditedIdentityKept)
{
    m_folder.Write(L"base.cfg", R"({"downlimit": 100, "uuid": "abc"})");
    ASSERT_TRUE(m_settings.LoadAll());
    EXPECT_EQ(m_settings.m_downLimit, 100);
    EXPECT_EQ(m_settings.m_uuid, L"abc");
    EXPECT_FALSE(m_settings.m_savePath.empty());

    CBaseSetting written;
    ASSERT_TRUE(written.LoadFile(m_settings.m_baseCfgPath));
    EXPECT_EQ(written.m_downLimit, 100);
    EXPECT_EQ(written.m_uuid, L"abc");
    EXPECT_EQ(written.m_savePath, m_settings.m_savePath);
}

TEST_F(AppSettingTest, SameComputerMakesTheSameIdentityAgain)
{
    ASSERT_TRUE(m_settings.LoadAll());
    const std::wstring first = m_settings.m_uuid;
    m_folder.Write(L"base.cfg", R"({"savepath": "D:\\Games\\Korvane\\"})");
    ASSERT_TRUE(m_settings.LoadAll());
    EXPECT_EQ(m_settings.m_uuid, first);
    EXPECT_EQ(m_settings.m_savePath, L"D:\\Games\\Korvane\\");
}

TEST_F(AppSettingTest, FreshServerCfgReplacesTheOldValues)
{
    m_folder.Write(L"server.cfg", R"({"torrentUrl": "http://old/", "httpSeed": ["s1"]})");
    ASSERT_TRUE(m_settings.LoadAll());
    EXPECT_EQ(m_settings.m_torrentUrl, "http://old/");
    m_folder.Write(L"server.cfg", R"({"torrentUrl": "http://new/", "httpSeed": "broken"})");
    ASSERT_TRUE(m_settings.LoadAll());
    EXPECT_EQ(m_settings.m_torrentUrl, "http://new/");
    EXPECT_EQ(m_settings.m_httpSeed, (Strings{"s1"}));
}

TEST_F(AppSettingTest, BrokenBaseCfgIsRewrittenKeepingWhatWasInMemory)
{
    ASSERT_TRUE(m_settings.LoadAll());
    m_settings.m_downLimit = 42;
    ASSERT_TRUE(m_settings.Save(m_settings.m_baseCfgPath));
    m_folder.Write(L"base.cfg", "[1, 2, 3]");
    ASSERT_TRUE(m_settings.LoadAll()); // refused: the fields keep their values
    EXPECT_EQ(m_settings.m_downLimit, 42);
    EXPECT_EQ(m_folder.Read(L"base.cfg"), "[1, 2, 3]"); // nothing was missing, nothing saved
}

} // namespace
