#include "net/RetryGetHttpFile.h"

#include "http/TestServer.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "util/TextConvert.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

constexpr DWORD kShortAttemptLimitMs = 1500;

// Polls the job the way its owner does until it has ended.
bool PollUntilEnded(CRetryGetHttpFile& job)
{
    return WaitFor([&] {
        if (!job.m_handled)
            job.Poll();
        return job.m_succeeded || !job.m_fetcher;
    }, 120s);
}

std::wstring Url(const std::string& path) { return AnsiToWide(TestServerUrl(path)); }

} // namespace

TEST(RetryGetHttpFile, SucceedsWithTheFirstGoodAttempt)
{
    TempDir dir;
    CRetryGetHttpFile job(kShortAttemptLimitMs);
    job.Start(Url("/bytes/cfg?size=800"), dir.File(L"server.cfg"), 3);
    ASSERT_TRUE(PollUntilEnded(job));
    EXPECT_TRUE(job.m_succeeded);
    EXPECT_EQ(job.m_attempts, 1u);
    EXPECT_EQ(dir.Read(L"server.cfg"), ServerPattern(800));
}

TEST(RetryGetHttpFile, GivesUpAfterTheMaximumOfFailedAttempts)
{
    CRetryGetHttpFile job(kShortAttemptLimitMs);
    job.Start(Url("/status/500"), L"", 3);
    ASSERT_TRUE(PollUntilEnded(job));
    EXPECT_FALSE(job.m_succeeded);
    EXPECT_FALSE(job.m_handled);
    EXPECT_EQ(job.m_attempts, 4u);
}

TEST(RetryGetHttpFile, AnAttemptThatRunsOutOfTimeFailsAndIsRetried)
{
    TempDir dir;
    dir.Write(L"server.cfg", "old");
    const std::string token = "hang-" + std::to_string(::GetCurrentProcessId());
    CRetryGetHttpFile job(kShortAttemptLimitMs);
    const DWORD started = ::GetTickCount();
    job.Start(Url("/hang/" + token), dir.File(L"server.cfg"), 2);
    ASSERT_TRUE(PollUntilEnded(job));
    EXPECT_FALSE(job.m_succeeded);
    EXPECT_EQ(job.m_attempts, 3u);
    EXPECT_GE(::GetTickCount() - started, 2 * kShortAttemptLimitMs);
    EXPECT_EQ(AskTestServer("/hits/" + token), "2");
    EXPECT_EQ(dir.Read(L"server.cfg"), "old");
}

TEST(RetryGetHttpFile, StartDuringAnAttemptOnlyAsksForAnotherLook)
{
    CRetryGetHttpFile job(60000);
    job.Start(Url("/slow?size=2000&piece=500&delay_ms=100"), L"", 3);
    job.m_handled = true;
    job.Start(Url("/status/404"), L"", 1);
    EXPECT_FALSE(job.m_handled);
    EXPECT_EQ(job.m_attempts, 1u);
    EXPECT_EQ(job.m_maxAttempts, 3u);
    ASSERT_TRUE(PollUntilEnded(job));
    EXPECT_TRUE(job.m_succeeded);
}
