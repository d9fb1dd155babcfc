// The progress display's texts, as the player reads them.
#include "workflow/DiskSpace.h"
#include "workflow/ProgressText.h"
#include "workflow/FakeKernel.h"

#include <gtest/gtest.h>

namespace {

const uint64_t kMiB = 1ull << 20;
const uint64_t kGiB = 1ull << 30;

TEST(ProgressText, ByteCountsStepBy1024AndStayInTheirUnitUpToExactly1024)
{
    EXPECT_EQ(FormatByteCount(0), L"0 B");
    EXPECT_EQ(FormatByteCount(1024), L"1024 B");
    EXPECT_EQ(FormatByteCount(1025), L"1 KB");
    EXPECT_EQ(FormatByteCount(1536), L"1 KB");
    EXPECT_EQ(FormatByteCount(1048576), L"1024 KB");
    EXPECT_EQ(FormatByteCount(1048577), L"1.0 MB");
    EXPECT_EQ(FormatByteCount(int64_t(1) << 40), L"1024.0 GB");
    EXPECT_EQ(FormatByteCount((int64_t(1) << 40) + 1), L"1.0 ?");
    EXPECT_EQ(FormatByteCount(-1), L"?");

    const SScaledBytes beyond = ScaleByteCount((int64_t(1) << 40) + 1);
    EXPECT_EQ(beyond.index, 4);
    EXPECT_FLOAT_EQ(beyond.value, 1.0f);
    EXPECT_EQ(IntToString(-42), L"-42");
}

TEST(ProgressText, StateTextsFollowTheKernelsCodes)
{
    EXPECT_EQ(StateText(0), L"初始化");
    EXPECT_EQ(StateText(3), L"");
    EXPECT_EQ(StateText(6), L"供种中");
    EXPECT_EQ(StateText(7), L"分配存储空间");
    EXPECT_EQ(StateText(8), L"出错: ");
    EXPECT_EQ(StateText(8, L"磁盘已满"), L"出错: 磁盘已满");
    EXPECT_EQ(StateText(9), L"");
    EXPECT_EQ(StateText(-1), L"");
}

DLBT_DOWNLOADER_INFO Record(int state, float percent, int speed, uint64_t downloaded, uint64_t total)
{
    return Status(state, percent, speed, downloaded, total);
}

TEST(ProgressText, DownloadingLineShowsSpeedSizeAndRemainingTime)
{
    // 1.2 GB done, 1.5 MB/s, 907 seconds to go.
    const uint64_t done = static_cast<uint64_t>(1.2 * kGiB);
    const int speed = static_cast<int>(1.5 * kMiB);
    const auto info = Record(3, 45.3f, speed, done, done + 907ull * speed);
    EXPECT_EQ(FormatProgressLine(info, StateText(3)),
              L"下载速度：1.5 MB/s    完成下载：45.3% [1.2 GB]       剩余时间: 00:15:07");
    EXPECT_EQ(ProgressPercent(info, 7), static_cast<int>(done * 100 / info.totalSize));
}

TEST(ProgressText, PausedAndStalledLinesShowNoTime)
{
    const auto paused = Record(4, 45.3f, 0, static_cast<uint64_t>(1.2 * kGiB), 3 * kGiB);
    EXPECT_EQ(FormatProgressLine(paused, StateText(4)), L"暂停下载速度：0 B/s    完成下载：45.3% [1.2 GB]    ");
    const auto stalled = Record(3, 0.5f, 0, 512 * 1024, 100 * kMiB);
    EXPECT_EQ(FormatProgressLine(stalled, L""), L"下载速度：0 B/s    完成下载：0.5% [512 KB]    ");
}

TEST(ProgressText, OtherStatesShowOnlyTheProgressAndKeepThePercentage)
{
    const auto checking = Record(1, 12.0f, 5000, 300 * kMiB, 2500 * kMiB);
    EXPECT_EQ(FormatProgressLine(checking, StateText(1)), L"检查文件进度：12.0% [300.0 MB]");
    EXPECT_EQ(ProgressPercent(checking, 33), 33);

    const auto gettingTorrent = Record(2, 0.0f, 0, 0, DLBT_UNKNOWN_SIZE);
    EXPECT_EQ(FormatProgressLine(gettingTorrent, StateText(2)), L"获取种子进度：0 B");
}

TEST(ProgressText, ErrorLineCarriesTheKernelsTextBeforeTheSpeed)
{
    const auto failed = Record(8, 10.0f, 0, 2048, 1 << 20);
    EXPECT_EQ(FormatProgressLine(failed, StateText(8, L"写入失败")),
              L"出错: 写入失败下载速度：0 B/s    完成下载：10.0% [2 KB]    ");
}

TEST(ProgressText, HoursAreNotLimitedToTwoDigits)
{
    EXPECT_EQ(FormatRemainingTime(123 * 3600 + 4 * 60 + 5), L"123:04:05");
    EXPECT_EQ(FormatRemainingTime(59), L"00:00:59");
    const auto slow = Record(3, 1.0f, 1, 0, 123 * 3600 + 4 * 60 + 5);
    EXPECT_NE(FormatProgressLine(slow, L"").find(L"剩余时间: 123:04:05"), std::wstring::npos);
}

TEST(ProgressText, PercentageComesFromTheByteCountsAndMayPass100)
{
    EXPECT_EQ(ProgressPercent(Record(3, 99.0f, 1, 150, 100), 0), 150);
    EXPECT_EQ(ProgressPercent(Record(5, 100.0f, 0, 100, 100), 0), 100);
    EXPECT_EQ(ProgressPercent(Record(3, 0.0f, 0, 0, 0), 17), 17) << "no total, no change";
}

TEST(ProgressText, NoRemainingTimeFromAWrappedRemainder)
{
    // More downloaded than the total, or no total yet: there is no honest
    // remainder to divide by the speed.
    const auto over = Record(3, 100.0f, 1000, 2 * kMiB, kMiB);
    EXPECT_EQ(FormatProgressLine(over, L"").find(L"剩余时间"), std::wstring::npos);
    const auto unknown = Record(3, 0.0f, 1000, 5000, DLBT_UNKNOWN_SIZE);
    EXPECT_EQ(FormatProgressLine(unknown, L""), L"下载速度：1000 B/s    完成下载：4 KB    ");
}

TEST(DiskSpaceWarning, AsksForTheWholeSizePlusTenOfItsUnit)
{
    EXPECT_EQ(DiskSpaceWarningText(800 * kMiB), L"磁盘空间不足，下载游戏至少需要预留810MB的空间，请更改您的下载路径。");
    EXPECT_EQ(DiskSpaceWarningText(static_cast<uint64_t>(20.3 * kGiB)),
              L"磁盘空间不足，下载游戏至少需要预留30GB的空间，请更改您的下载路径。");
}

// Room the drive has already set aside for the game's files is room the
// download has. NTFS sets aside what has been written (sparse files); FAT32
// and exFAT every file's whole size as soon as it is extended.
TEST(DiskSpaceNeeded, CountsWhatTheDriveSetAsideForTheGame)
{
    const struct {
        const char* drive;
        uint64_t downloaded, allocated, needed;
    } cases[] = {
        {"nothing on disk yet", 0, 0, 800 * kMiB},
        {"sparse files, half in", 400 * kMiB, 401 * kMiB, 399 * kMiB},
        {"FAT, files extended, little in", 10 * kMiB, 600 * kMiB, 200 * kMiB},
        {"FAT, every file extended", 10 * kMiB, 800 * kMiB, 0},
        {"clusters rounded past the size", 10 * kMiB, 801 * kMiB, 0},
        {"files removed under the download", 400 * kMiB, 0, 400 * kMiB},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drive);
        EXPECT_EQ(BytesStillNeeded(800 * kMiB, c.downloaded, c.allocated), c.needed);
    }
}

} // namespace
