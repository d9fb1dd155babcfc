// The usage reports: their addresses byte for byte, the clock, and the
// once-per-download rules of the milestones, received by the tests' collector.
#include "distribution/Distribution.h"
#include "report/UsageReporter.h"

#include "workflow/Collector.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

namespace {

using Reports = std::vector<std::string>;

TEST(ReportText, AddressesAndQueriesAreExactAndUnencoded)
{
    EXPECT_EQ(MakeReportUrl(L"a=1"), std::wstring(L"http://") + distribution::kReportHost +
                                         L"/events/qorn_download_tracka?a=1");
    EXPECT_EQ(MakeReportUrl(L"a=1", L"127.0.0.1:8080"), L"http://127.0.0.1:8080/events/qorn_download_tracka?a=1");
    EXPECT_EQ(StartReportQuery(L"u1", L"1.0"), L"uuid=u1&opname=start&costtime=0&rate=0&ext_info={\"ver\":\"1.0\"}");
    EXPECT_EQ(ProgressReportQuery(L"u1", 12, 31, L""),
              L"uuid=u1&opname=finish&costtime=12&rate=31&ext_info={\"ver\":\"\"}");
    EXPECT_EQ(FinishReportQuery(L"u1", 0, L"版本2"), L"uuid=u1&opname=finish&costtime=0&rate=100&ext_info={\"ver\":\"版本2\"}");
    EXPECT_EQ(CloseReportQuery(L"u1", 18446744073709551615ull, 7, L"1.0", 3),
              L"uuid=u1&opname=close&costtime=18446744073709551615&rate=7&ext_info={\"ver\":\"1.0\",\"updata\":3}");
}

TEST(ReportText, ClockCountsMillisecondsSince1970AndMinutesRoundDown)
{
    const uint64_t before = static_cast<uint64_t>(std::time(nullptr)) * 1000;
    const uint64_t now = CurrentTimeMs();
    EXPECT_GE(now + 1000, before);
    EXPECT_LE(now, before + 2000);
    EXPECT_EQ(MinutesSince(1000, 1000 + 119999), 1u);
    EXPECT_EQ(MinutesSince(1000, 1000 + 120000), 2u);
    EXPECT_EQ(MinutesSince(61000, 1000), (UINT64_MAX - 59999) / 1000 / 60) << "a clock set back wraps";
}

class UsageReporterTest : public ::testing::Test {
protected:
    UsageReporterTest() : m_settings(m_temp.Path() + L"\\")
    {
        m_settings.m_uuid = std::wstring(m_uuid.begin(), m_uuid.end());
        m_settings.m_ver = "2.0";
    }

    Reports Settled()
    {
        WaitFor([&] {
            for (const auto* slot : {&m_reporter.m_startReport, &m_reporter.m_progressReport, &m_reporter.m_finishReport})
                if (*slot && !(*slot)->ReadOutcome().finished)
                    return false;
            return true;
        });
        return ReceivedReports(m_uuid);
    }

    std::string Progress(int rate) const
    {
        return "uuid=" + m_uuid + "&opname=finish&costtime=0&rate=" + std::to_string(rate) +
               "&ext_info={\"ver\":\"2.0\"}";
    }

    TempDir m_temp;
    std::string m_uuid = UniqueClientId("rp");
    CAppSetting m_settings;
    uint64_t m_now = 5000000;
    CUsageReporter m_reporter{m_settings, CollectorHost(), [this] { return m_now; }};
};

TEST_F(UsageReporterTest, FirstReadingInsideABandReportsOnlyThatBandWithItsOwnRate)
{
    m_reporter.MarkDownloaderSeen();
    for (float p : {55.0f, 60.0f, 69.9f})
        m_reporter.CheckProgressReports(p);
    EXPECT_EQ(Settled(), Reports{Progress(55)});
    EXPECT_EQ(m_settings.m_reportProcess30, 0) << "the skipped band stays open but is never seen again";
    EXPECT_EQ(m_settings.m_reportProcess50, 1);
    EXPECT_NE(m_temp.Read(L"base.cfg").find("\"reportprocess_50\" : 1"), std::string::npos);
}

TEST_F(UsageReporterTest, JumpFrom20To75ReportsOnlySeventy)
{
    m_reporter.MarkDownloaderSeen();
    m_reporter.CheckProgressReports(20.0f);
    m_reporter.CheckProgressReports(75.0f);
    m_reporter.CheckProgressReports(100.0f);
    EXPECT_EQ(Settled(), Reports{Progress(75)});
}

TEST_F(UsageReporterTest, BandsStartAtTheirEdgesAndTakeTheFirstReadingTruncated)
{
    m_reporter.MarkDownloaderSeen();
    // Each reading is let arrive before the next, as minutes lie between
    // them in a download: a milestone's fetcher is replaced by the next one,
    // and two under way at once may arrive in either order.
    for (float p : {29.99f, 31.9f, 49.99f, 50.0f, 70.0f}) {
        m_reporter.CheckProgressReports(p);
        Settled();
    }
    EXPECT_EQ(Settled(), (Reports{Progress(31), Progress(50), Progress(70)}));
}

TEST_F(UsageReporterTest, OnlyOneMarksAStartOrFinishAsSentAndOnlyZeroLetsAMilestoneThrough)
{
    m_settings.m_reportStart = 2;
    m_settings.m_reportDone = 2;
    m_settings.m_reportProcess30 = 2;
    m_reporter.MarkDownloaderSeen();
    m_reporter.ReportStart();
    m_reporter.CheckProgressReports(35.0f);
    m_now += 61000;
    m_reporter.ReportFinish();
    m_reporter.ReportStart();
    m_reporter.ReportFinish();
    // The two reports travel side by side and may arrive in either order.
    Reports received = Settled();
    std::sort(received.begin(), received.end());
    EXPECT_EQ(received, (Reports{"uuid=" + m_uuid + "&opname=finish&costtime=1&rate=100&ext_info={\"ver\":\"2.0\"}",
                                 "uuid=" + m_uuid + "&opname=start&costtime=0&rate=0&ext_info={\"ver\":\"2.0\"}"}));
    EXPECT_EQ(m_settings.m_reportStart, 1);
    EXPECT_EQ(m_settings.m_reportDone, 1);
    m_reporter.ReapFinished();
    EXPECT_EQ(m_reporter.m_startReport, nullptr);
    EXPECT_EQ(m_reporter.m_finishReport, nullptr);
}

TEST_F(UsageReporterTest, NoCloseReportBeforeADownloaderWasSeen)
{
    m_reporter.ReportClose(50, 1 << 20);
    m_reporter.MarkDownloaderSeen();
    m_reporter.ReportClose(50, (3u << 20) - 1);
    EXPECT_EQ(ReceivedReports(m_uuid),
              Reports{"uuid=" + m_uuid + "&opname=close&costtime=0&rate=50&ext_info={\"ver\":\"2.0\"%2C\"updata\":2}"});
}

} // namespace
