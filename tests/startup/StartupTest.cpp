// Starts the real program under Wine and watches it from outside, as a
// player's second double-click or an installer's silent start would.
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

const wchar_t kTitle[] = L"Korvane下载器";

// The program as built, or the copy named by KORVANE_PROGRAM (a host path):
// the old-Windows run starts one that the test prefix shows Windows XP.
std::wstring ProgramPath()
{
    const char* copy = std::getenv("KORVANE_PROGRAM");
    return WindowsPathOfHostPath(copy && *copy ? copy : KORVANE_EXE_PATH);
}

std::string ConfigWithPort(int port, bool dump = false)
{
    return "{\"p2p_port\": " + std::to_string(port) + (dump ? ", \"dump_config\": true}" : "}");
}

// Starts the program in `folder` and waits until its window exists.
HWND StartAndWaitForWindow(ChildProcess& program, const TempDir& folder,
                           const std::wstring& arguments = L"")
{
    EXPECT_TRUE(program.Start(ProgramPath(), arguments, folder.Path()));
    return program.WaitForWindowTitled(kTitle);
}

// Closing the window ends the program, which must leave with exit code 0.
void CloseAndExpectCleanExit(ChildProcess& program, HWND window)
{
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(), 0u);
}

TEST(Startup, SecondStartHandsOverToTheFirstAndShowsItEvenWhenItWasSilent)
{
    TempDir folder;
    folder.Write(L"config.json", ConfigWithPort(19310, true));
    ChildProcess first;
    HWND window = StartAndWaitForWindow(first, folder, L"/S");
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(::IsWindowVisible(window));
    ::DeleteFileW(folder.File(L"dump_config.json").c_str());

    ChildProcess second;
    ASSERT_TRUE(second.Start(ProgramPath(), L"", folder.Path()));
    EXPECT_EQ(second.WaitForExit(), 0u);
    EXPECT_TRUE(folder.Exists(L"dump_config.json")) << "the second copy read its configuration";
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(window) != FALSE; }));
    EXPECT_TRUE(first.Running());

    CloseAndExpectCleanExit(first, window);
}

TEST(Startup, CopiesWithDifferentPortsRunSideBySide)
{
    TempDir folderA, folderB;
    folderA.Write(L"config.json", ConfigWithPort(19311));
    folderB.Write(L"config.json", ConfigWithPort(19312));
    ChildProcess a, b;
    HWND windowA = StartAndWaitForWindow(a, folderA);
    HWND windowB = StartAndWaitForWindow(b, folderB);
    ASSERT_NE(windowA, nullptr);
    ASSERT_NE(windowB, nullptr);
    EXPECT_TRUE(a.Running());
    EXPECT_TRUE(b.Running());

    CloseAndExpectCleanExit(a, windowA);
    CloseAndExpectCleanExit(b, windowB);
}

TEST(Startup, SilentSwitchesCreateTheWindowWithoutShowingIt)
{
    TempDir folder;
    folder.Write(L"config.json", ConfigWithPort(19313));
    for (const wchar_t* arguments : {L"/S", L"/s", L"/VERYSILENT", L"/silent", L"-x /S -y"}) {
        SCOPED_TRACE(::testing::Message() << "arguments " << std::string(arguments, arguments + wcslen(arguments)));
        ChildProcess program;
        HWND window = StartAndWaitForWindow(program, folder, arguments);
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(::IsWindowVisible(window));
        CloseAndExpectCleanExit(program, window);
    }
}

TEST(Startup, WithoutConfigurationTheWindowShowsAndTheMutexCarriesPort9310)
{
    TempDir folder;
    ChildProcess program;
    HWND window = StartAndWaitForWindow(program, folder);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(window) != FALSE; }));

    CUniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\Vantor_Tessary_Korvane_9310"));
    EXPECT_TRUE(mutex.Valid());
    mutex.Reset();

    CloseAndExpectCleanExit(program, window);
}

} // namespace
