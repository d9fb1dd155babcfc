// The kernel library writing onto a drive that another program has filled:
// its writes fail, and once room is freed and the download resumed, it
// completes with the seed's bytes. The small drive K: is mounted by a
// fixture (only when run as root).
#include "WebSeed.h"

#include "KernelEnvironment.h"
#include "TorrentMaker.h"

#include "kernel/Swarm.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "util/UniqueHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

namespace {

using namespace std::chrono_literals;

const wchar_t kDrive[] = L"K:\\";
const wchar_t kFiller[] = L"K:\\kernel-filler.bin";
const wchar_t kFolder[] = L"K:\\kernel-full";
const uint64_t kSmallDriveLimit = 256u << 20;
const uint64_t kGameSize = 16u << 20;

bool FreeOnDrive(uint64_t& available, uint64_t& total)
{
    ULARGE_INTEGER free{}, size{};
    if (!::GetDiskFreeSpaceExW(kDrive, &free, &size, nullptr))
        return false;
    available = free.QuadPart;
    total = size.QuadPart;
    return true;
}

// Another program writes until only `leave` bytes are free.
void FillDriveLeaving(uint64_t leave)
{
    uint64_t available = 0, total = 0;
    ASSERT_TRUE(FreeOnDrive(available, total));
    CUniqueHandle file(::CreateFileW(kFiller, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file.Valid());
    const std::vector<char> chunk(1 << 20, 'x');
    for (uint64_t left = available > leave ? available - leave : 0; left > 0;) {
        const DWORD step = static_cast<DWORD>(std::min<uint64_t>(chunk.size(), left));
        DWORD done = 0;
        if (!::WriteFile(file.Get(), chunk.data(), step, &done, nullptr) || done == 0)
            break;
        left -= done;
    }
}


class FullDriveKernelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        uint64_t available = 0, total = 0;
        if (!FreeOnDrive(available, total) || total > kSmallDriveLimit)
            GTEST_SKIP() << "no small drive K: (the fixture mounts one only when run as root)";
        RemoveLeftovers();
        ASSERT_TRUE(::CreateDirectoryW(kFolder, nullptr));
    }
    void TearDown() override { RemoveLeftovers(); }

    static void RemoveLeftovers()
    {
        ::DeleteFileW(kFiller);
        RemoveTree(kFolder);
    }

    DLBT_DOWNLOADER_INFO Info(DLBT_DOWNLOADER downloader) const { return TheKernel().Info(downloader); }

    // Until nothing more comes in for a few seconds: the kernel has met the
    // full drive.
    bool WaitUntilStalled(DLBT_DOWNLOADER downloader) const
    {
        uint64_t last = ~0ull;
        auto lastChange = std::chrono::steady_clock::now();
        return WaitFor([&] {
            const uint64_t downloaded = Info(downloader).downloaded;
            if (downloaded != last) {
                last = downloaded;
                lastChange = std::chrono::steady_clock::now();
            }
            return std::chrono::steady_clock::now() - lastChange > 3s;
        }, 60s);
    }

    TempDir m_cfg;
};

TEST_F(FullDriveKernelTest, WritesThatFailedOnAFullDriveAreMadeGoodAfterTheResume)
{
    const std::string game = RandomBytes(kGameSize, 20261209);
    CWebSeed seed(game);
    m_cfg.Write(L"game.torrent", MakeTorrent("game.bin", {{{}, game}}, 1 << 20));
    FillDriveLeaving(kGameSize / 4);

    KernelApi& kernel = TheKernel();
    const std::wstring torrent = m_cfg.File(L"game.torrent");
    DLBT_DOWNLOADER downloader = kernel.Initialize(torrent.c_str(), kFolder, (torrent + L".dlbt").c_str(), 1,
                                                   FALSE, FALSE, nullptr, nullptr, 0, 0);
    ASSERT_NE(downloader, nullptr);
    kernel.AddHttpDownload(downloader, seed.Url().c_str());
    ASSERT_TRUE(WaitUntilStalled(downloader));
    ASSERT_LT(Info(downloader).downloaded, kGameSize) << "the drive held the whole game";

    // The player is warned, frees room and resumes.
    kernel.Pause(downloader);
    ASSERT_TRUE(::DeleteFileW(kFiller));
    kernel.Resume(downloader);
    DLBT_DOWNLOADER_INFO info{};
    EXPECT_TRUE(WaitFor([&] {
        info = Info(downloader);
        return IsDone(info.state);
    }, 120s)) << "state " << info.state << " at " << info.percent << "%";
    kernel.Release(downloader, 0);
    EXPECT_TRUE(ReadWholeFile(std::wstring(kFolder) + L"\\game.bin") == game) << "the game on disk is not the seed's";
}

} // namespace
