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
    ProgramDriver first = Player();
    ProgramDriver second = Player();
    ASSERT_TRUE(first.Launch(program, m_home.Path()));
    ASSERT_TRUE(second.Launch(program, m_home.Path()));

    ASSERT_TRUE(WaitFor([&] { return !first.Running() || !second.Running(); }))
        << "both copies kept running";
    ProgramDriver& ended = first.Running() ? second : first;
    ProgramDriver& survivor = first.Running() ? first : second;
    EXPECT_EQ(ended.WaitForExit(std::chrono::seconds(10)), 0u);
    ASSERT_TRUE(survivor.WaitForWindow()) << survivor.Shown();
    EXPECT_TRUE(survivor.Running());
    EXPECT_EQ(CountProgramWindows(), 1);

    ASSERT_TRUE(survivor.Press(L"btn_start"));
    ExpectDownloadCompletes(survivor, m_home.File(L"cfg\\"));
}

} // namespace
