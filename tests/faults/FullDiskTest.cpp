// The game's folder on a small drive (a fixture mounts it and maps it as a
// drive letter): too little room, found before or while the download runs,
// and a drive that sets aside a file's whole size at once.
#include "faults/SwarmFaultTest.h"

#include "support/ChildProcess.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

const uint64_t kSmallDriveLimit = 256u << 20;
const wchar_t kWarningCaption[] = L"警告";

bool SpaceOfDrive(const std::wstring& root, uint64_t& available, uint64_t& total)
{
    ULARGE_INTEGER free{}, size{};
    if (!::GetDiskFreeSpaceExW(root.c_str(), &free, &size, nullptr))
        return false;
    available = free.QuadPart;
    total = size.QuadPart;
    return true;
}

// The drive at `root`, with its game folder and a file another program
// fills it with.
class SmallDriveTest : public SwarmFaultTest {
protected:
    explicit SmallDriveTest(const wchar_t* root)
        : m_root(root), m_filler(m_root + L"filler.bin"), m_gameFolder(m_root + L"Korvane\\")
    {
    }

    void SetUp() override
    {
        uint64_t available = 0, total = 0;
        if (!SpaceOfDrive(m_root, available, total) || total > kSmallDriveLimit)
            GTEST_SKIP() << "no small drive " << std::string(m_root.begin(), m_root.end())
                         << " (the fixture mounts one only when run as root)";
        SwarmFaultTest::SetUp();
        RemoveLeftovers();
        WriteBaseSettings(m_gameFolder);
        Describe({m_swarm.WebSeed()});
    }

    void TearDown() override { RemoveLeftovers(); }

    void RemoveLeftovers() const
    {
        ::DeleteFileW(m_filler.c_str());
        RemoveTree(m_root + L"Korvane");
    }

    uint64_t AvailableOnDrive() const
    {
        uint64_t available = 0, total = 0;
        SpaceOfDrive(m_root, available, total);
        return available;
    }

    // Writes real bytes (a small filesystem keeps every page written), up
    // to `size` or until the drive is full.
    void WriteFiller(uint64_t size) const
    {
        CUniqueHandle file(::CreateFileW(m_filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
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

    const std::wstring m_root;
    const std::wstring m_filler;
    const std::wstring m_gameFolder;
};

class FullDiskTest : public SmallDriveTest {
protected:
    FullDiskTest() : SmallDriveTest(L"K:\\") {}

    // The warning's text for this game: its whole size and a margin of ten.
    std::wstring ExpectedWarning() const
    {
        const int megabytes = static_cast<int>(static_cast<double>(m_swarm.TotalSize("game")) / (1 << 20));
        return L"磁盘空间不足，下载游戏至少需要预留" + std::to_wstring(megabytes + 10) +
               L"MB的空间，请更改您的下载路径。";
    }

    // The player reads the warning and the window shows the download paused.
    void ExpectWarnedAndPaused(const ProgramDriver& run, HWND warning) const
    {
        EXPECT_EQ(MessageBoxText(warning), ExpectedWarning());
        PressOk(warning);
        EXPECT_TRUE(run.WaitForLine([](const std::wstring& line) { return line.find(L"暂停") != std::wstring::npos; },
                                    std::chrono::seconds(30)))
            << "the window does not show the download paused\n" << run.Shown();
    }

    // Then frees room and resumes: the game completes and is the seed's.
    void FreeRoomAndResume(ProgramDriver& run, HWND warning)
    {
        ExpectWarnedAndPaused(run, warning);
        ASSERT_TRUE(::DeleteFileW(m_filler.c_str()));
        run.Press(L"btn_resume");
        ASSERT_EQ(run.WaitForExit(std::chrono::minutes(4)), 0u) << run.Shown();
        EXPECT_EQ(run.LastLine(), L"100% 下载完成！");
        ExpectGameIdenticalToSeed(m_gameFolder);
    }
};

TEST_F(FullDiskTest, TooLittleRoomPausesWithTheWarningAndResumesOnceFreed)
{
    // Room for half the game.
    const uint64_t total = m_swarm.TotalSize("game");
    ASSERT_GT(AvailableOnDrive(), total) << "the drive is not empty";
    WriteFiller(AvailableOnDrive() - total / 2);
    ASSERT_LT(AvailableOnDrive(), total);

    ProgramDriver run(m_debugOutput);
    ASSERT_TRUE(StartProgram(run));
    ASSERT_TRUE(run.PressStart()) << run.Shown();
    const HWND warning = run.WaitForMessageBox(kWarningCaption);
    ASSERT_NE(warning, nullptr) << "no warning\n" << run.Shown();
    FreeRoomAndResume(run, warning);
}

// The drive fills up under a running download: the player is told, frees
// room, resumes, and the game completes.
TEST_F(FullDiskTest, DriveFillingUpMidDownloadPausesWithTheWarningAndResumesOnceFreed)
{
    ASSERT_GT(AvailableOnDrive(), m_swarm.TotalSize("game"));
    ProgramDriver run(m_debugOutput);
    ASSERT_TRUE(StartProgram(run));
    ASSERT_TRUE(run.PressStart()) << run.Shown();
    ASSERT_TRUE(run.WaitForPercent(25)) << run.Shown();
    // Another program takes every byte left.
    WriteFiller(AvailableOnDrive());
    const HWND warning = run.WaitForMessageBox(kWarningCaption);
    ASSERT_NE(warning, nullptr) << "no warning once the drive was full\n" << run.Shown();
    FreeRoomAndResume(run, warning);
}

// An exFAT drive, like a FAT32 one, sets aside a file's whole size as soon
// as the file is extended, so free space falls by most of the game at once
// while little of it has come in. What is set aside for the game's own files
// is room the download has: a game that fits completes without a warning.
class FatDriveTest : public SmallDriveTest {
protected:
    FatDriveTest() : SmallDriveTest(L"L:\\") {}
};

TEST_F(FatDriveTest, AGameThatFitsCompletesWithoutAWarning)
{
    const uint64_t total = m_swarm.TotalSize("game");
    WriteFiller(AvailableOnDrive() - total - (2u << 20));
    ASSERT_GE(AvailableOnDrive(), total);
    ASSERT_LT(AvailableOnDrive(), total + total / 4) << "room for the game and little more";

    ProgramDriver run(m_debugOutput);
    ASSERT_TRUE(StartProgram(run));
    ASSERT_TRUE(run.PressStart()) << run.Shown();
    ASSERT_EQ(run.WaitForExit(std::chrono::minutes(4)), 0u) << "a warning stopped it?\n" << run.Shown();
    EXPECT_EQ(run.LastLine(), L"100% 下载完成！");
    ExpectGameIdenticalToSeed(m_gameFolder);
}

} // namespace

