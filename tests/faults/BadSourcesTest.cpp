// Sources that let the player down: an HTTP seed serving damaged bytes and
// a seeder that goes away in the middle of the transfer.
#include "faults/SwarmFaultTest.h"

#include "support/ChildProcess.h"
#include "util/TextConvert.h"

namespace {

const char kGamePath[] = "/KorvaneGame/";

class BadSourcesTest : public SwarmFaultTest {
protected:
    void TearDown() override { m_swarm.SetSeederAway(false); }
};

TEST_F(BadSourcesTest, CorruptHttpSeedAndALeavingSeederStillGiveTheSeedsFiles)
{
    ::CreateDirectoryW(m_temp.File(L"games").c_str(), nullptr);
    const std::wstring games = m_temp.File(L"games\\Korvane\\");
    WriteBaseSettings(games);
    // The damaged seed first: it is asked before the good one.
    Describe({m_swarm.CorruptSeed(), m_swarm.WebSeed()});
    const uint64_t corruptBefore = m_swarm.CorruptSeedSent(kGamePath);

    ProgramDriver run(m_debugOutput);
    ASSERT_TRUE(StartProgram(run));
    ASSERT_TRUE(run.PressStart()) << run.Shown();
    ASSERT_TRUE(run.WaitForPercent(20)) << run.Shown();
    ASSERT_TRUE(m_swarm.SetSeederAway(true));
    ASSERT_TRUE(WaitFor([&] { return m_swarm.SeederIsAway("game"); }));
    const uint64_t seederSentBeforeLeaving = m_swarm.SettledSeederUploaded("game");

    ASSERT_EQ(run.WaitForExit(std::chrono::minutes(4)), 0u) << run.Shown();
    EXPECT_EQ(run.LastLine(), L"100% 下载完成！");
    for (const std::wstring& line : run.Lines())
        EXPECT_EQ(line.find(L"出错"), std::wstring::npos) << WideToAnsi(line);
    ExpectGameIdenticalToSeed(games);
    // Every piece of the damaged copy fails its check: it was really asked,
    // and the seeder really gave nothing after it left.
    EXPECT_GT(m_swarm.CorruptSeedSent(kGamePath), corruptBefore) << "the damaged seed was never used";
    EXPECT_EQ(m_swarm.SeederUploaded("game"), seederSentBeforeLeaving);
}

} // namespace
