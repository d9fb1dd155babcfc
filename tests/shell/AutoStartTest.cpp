// The autostart value under the current user's Run key of the test prefix,
// and opening web pages through a stand-in for ShellExecuteW, so that no
// browser ever starts.
#include "AutoStartValue.h"

#include "shell/AutoStart.h"
#include "shell/OpenUrl.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <vector>

namespace {

class AutoStartTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveAutoStartValue(); }
    void TearDown() override { RemoveAutoStartValue(); }
};

} // namespace

TEST(ModulePath, IsTheFullPathOfThisProgram)
{
    const std::wstring path = GetModulePath();
    ASSERT_GT(path.size(), 3u);
    EXPECT_EQ(path[1], L':');
    EXPECT_EQ(path.substr(path.size() - 15), L"shell_tests.exe");
}

TEST_F(AutoStartTest, SwitchingOnWritesThisProgramsPathAndOffRemovesIt)
{
    EXPECT_FALSE(QueryAutoStart());
    SetAutoStart(true);
    std::wstring value;
    ASSERT_TRUE(ReadAutoStartValue(value));
    EXPECT_EQ(value, GetModulePath());
    EXPECT_TRUE(QueryAutoStart());

    SetAutoStart(false);
    EXPECT_FALSE(ReadAutoStartValue(value));
    EXPECT_FALSE(QueryAutoStart());
    // Off again, with nothing left to remove, changes nothing.
    SetAutoStart(false);
    EXPECT_FALSE(ReadAutoStartValue(value));
}

TEST_F(AutoStartTest, OnlyThisExactPathCountsAsSetAndSwitchingOnReplacesAnyOther)
{
    const std::wstring path = GetModulePath();
    std::wstring upper = path;
    for (wchar_t& c : upper)
        c = wchar_t(::towupper(c));
    ASSERT_NE(upper, path);
    for (const std::wstring& other : {upper, L"\"" + path + L"\"", path + L" /S", std::wstring(L"C:\\Other\\Korvane.exe")}) {
        WriteAutoStartValue(REG_SZ, other);
        EXPECT_FALSE(QueryAutoStart());
        SetAutoStart(true);
        EXPECT_TRUE(QueryAutoStart());
    }
}

TEST_F(AutoStartTest, AValueOfAnotherTypeOrTooLongCountsAsNotSetAndIsNotRemoved)
{
    const DWORD number = 1;
    WriteAutoStartRaw(REG_DWORD, &number, sizeof(number));
    EXPECT_FALSE(QueryAutoStart());
    SetAutoStart(false);
    EXPECT_TRUE(AutoStartValueExists());

    // A path of 256 characters is written but can never be read back.
    const std::wstring longPath = L"C:\\" + std::wstring(253, L'k');
    WriteAutoStartValue(REG_SZ, longPath);
    EXPECT_FALSE(QueryAutoStart());
    SetAutoStart(false);
    EXPECT_TRUE(AutoStartValueExists());
}

namespace {

struct ShellCall {
    std::wstring verb, file, parameters;
    bool noOwner, noFolder;
    int show;
};
std::vector<ShellCall> g_shellCalls;
INT_PTR g_shellAnswers[2];

HINSTANCE WINAPI RecordShellExecute(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder,
                                    INT show)
{
    g_shellCalls.push_back({verb ? verb : L"", file ? file : L"", parameters ? parameters : L"", owner == nullptr,
                            folder == nullptr, show});
    return reinterpret_cast<HINSTANCE>(g_shellAnswers[(g_shellCalls.size() - 1) % 2]);
}

} // namespace

TEST(OpenUrl, OpensTheAddressMaximisedAndFallsBackToInternetExplorer)
{
    const std::wstring url = L"https://www.korvane.net/register";
    g_shellCalls.clear();
    g_shellAnswers[0] = 42;
    OpenUrlWith(url, RecordShellExecute);
    ASSERT_EQ(g_shellCalls.size(), 1u);
    EXPECT_EQ(g_shellCalls[0].verb, L"open");
    EXPECT_EQ(g_shellCalls[0].file, url);
    EXPECT_EQ(g_shellCalls[0].parameters, L"");
    EXPECT_TRUE(g_shellCalls[0].noOwner && g_shellCalls[0].noFolder);
    EXPECT_EQ(g_shellCalls[0].show, SW_SHOWMAXIMIZED);

    // No handler for addresses: 32 and below are failures.
    wchar_t programFiles[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, programFiles)));
    for (INT_PTR failure : {INT_PTR(SE_ERR_NOASSOC), INT_PTR(32)}) {
        g_shellCalls.clear();
        g_shellAnswers[0] = failure;
        g_shellAnswers[1] = 0;
        OpenUrlWith(url, RecordShellExecute);
        ASSERT_EQ(g_shellCalls.size(), 2u);
        EXPECT_EQ(g_shellCalls[1].verb, L"open");
        EXPECT_EQ(g_shellCalls[1].file, std::wstring(programFiles) + L"\\Internet Explorer\\IEXPLORE.EXE");
        EXPECT_EQ(g_shellCalls[1].parameters, url);
        EXPECT_TRUE(g_shellCalls[1].noOwner && g_shellCalls[1].noFolder);
        EXPECT_EQ(g_shellCalls[1].show, SW_SHOWMAXIMIZED);
    }
}
