// Two copies of the program started at the same moment with the same
// configuration, as a double double-click does: one hands over and ends, the
// other downloads the game as if it had been alone.
#include "faults/GameCase.h"

#include <gtest/gtest.h>

namespace {

class TwoCopies : public GameCase {};

TEST_F(TwoCopies, StartedAtOnceOnlyOneKeepsRunningAndItDownloadsTheGame)
{
    ASSERT_NO_FATAL_FAILURE(PrepareCase("two_copies", 31920));
    const std::wstring program = InstallProgram();
    PlayerProgram first(program, m_home.Path());
    PlayerProgram second(program, m_home.Path());
    ASSERT_TRUE(first.Launch());
    ASSERT_TRUE(second.Launch());

    ASSERT_TRUE(WaitFor([&] { return !first.Running() || !second.Running(); }))
        << "both copies kept running";
    PlayerProgram& ended = first.Running() ? second : first;
    PlayerProgram& survivor = first.Running() ? first : second;
    EXPECT_EQ(ended.WaitForExit(std::chrono::seconds(10)), 0u);
    ASSERT_TRUE(survivor.WaitForWindow()) << survivor.Transcript();
    EXPECT_TRUE(survivor.Running());
    EXPECT_EQ(CountProgramWindows(), 1);

    survivor.PressMainButton();
    ExpectDownloadCompletes(survivor, m_home.File(L"cfg\\"));
}

} // namespace
