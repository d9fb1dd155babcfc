// The program killed in the middle of a download, as a crash or a power cut
// would end it, and started again: it goes on from what it had.
#include "faults/SwarmFaultTest.h"

#include "support/ChildProcess.h"
#include "util/TextConvert.h"

#include <json/reader.h>

#include <algorithm>
#include <sstream>

namespace {

// Pieces that were on their way when the program died, and requests the
// seeds had already answered: these may come twice (1 MiB pieces).
const uint64_t kInFlightLimit = 4u << 20;

Json::Value ParsedJson(const std::string& text)
{
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::istringstream in(text);
    std::string errors;
    if (!Json::parseFromStream(builder, in, &value, &errors))
        return Json::Value();
    return value;
}

using InterruptedDownloadTest = SwarmFaultTest;

TEST_F(InterruptedDownloadTest, KilledMidDownloadResumesWithoutFetchingVerifiedPiecesOrReportingTwice)
{
    ::CreateDirectoryW(m_temp.File(L"games").c_str(), nullptr);
    const std::wstring games = m_temp.File(L"games\\Korvane\\");
    WriteBaseSettings(games);
    Describe({m_swarm.WebSeed()});
    const uint64_t total = m_swarm.TotalSize("game");
    const uint64_t sentBefore = SeedsSent();

    int percentAtKill = 0;
    {
        ProgramDriver run(m_debugOutput);
        ASSERT_TRUE(StartProgram(run));
        ASSERT_TRUE(run.PressStart()) << run.Shown();
        ASSERT_TRUE(run.WaitForPercent(40)) << run.Shown();
        run.Kill();
        percentAtKill = PercentOf(run.LastLine());
        ASSERT_LT(percentAtKill, 90) << "the download was nearly over before it could be interrupted\n"
                                     << run.Shown();
    }
    const uint64_t sentFirst = SeedsSent() - sentBefore;

    // The settings file survived the kill whole, with the player's folder,
    // identity and rate limit, and the start already reported.
    const Json::Value base = ParsedJson(m_temp.Read(L"cfg\\base.cfg"));
    ASSERT_TRUE(base.isObject()) << m_temp.Read(L"cfg\\base.cfg");
    EXPECT_EQ(base["savepath"].asString(), WideToAnsi(games));
    EXPECT_EQ(base["uuid"].asString(), m_uuid);
    EXPECT_EQ(base["downlimit"].asInt(), kRateLimitKBps);
    EXPECT_EQ(base["reportstart"].asInt(), 1);

    ProgramDriver again(m_debugOutput);
    ASSERT_TRUE(StartProgram(again));
    ASSERT_TRUE(again.PressStart()) << again.Shown();
    ASSERT_EQ(again.WaitForExit(std::chrono::minutes(4)), 0u) << again.Shown();
    EXPECT_EQ(again.LastLine(), L"100% 下载完成！");
    const uint64_t sentSecond = SeedsSent() - sentBefore - sentFirst;

    // What was verified before the kill was checked on disk and kept.
    const uint64_t verifiedAtKill = total / 100 * static_cast<uint64_t>(percentAtKill);
    EXPECT_LE(sentSecond, total - verifiedAtKill + kInFlightLimit)
        << "killed at " << percentAtKill << "%, the second run fetched " << sentSecond << " of " << total;
    ExpectGameIdenticalToSeed(games);

    // Each report once over both runs: the start, each band passed, the
    // finish; and no close report from a run that was killed or ended itself.
    const std::vector<std::string> reports = Reports();
    const std::string all = ::testing::PrintToString(reports);
    EXPECT_EQ(ReportedRates(reports, "start").size(), 1u) << all;
    EXPECT_TRUE(ReportedRates(reports, "close").empty()) << all;
    const std::vector<int> finishRates = ReportedRates(reports, "finish");
    for (int band : {30, 50, 70})
        EXPECT_LE(std::count_if(finishRates.begin(), finishRates.end(),
                                [&](int rate) { return rate >= band && rate < band + 20; }),
                  1)
            << "band " << band << ": " << all;
    EXPECT_EQ(std::count(finishRates.begin(), finishRates.end(), 100), 1) << all;
}

} // namespace
