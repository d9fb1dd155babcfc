// A game the kernel completed, found again at a later start: files that
// were deleted, cut short or damaged since are checked again and their
// damaged pieces fetched, and nothing is reported complete before; an
// intact game is complete at once and fetches nothing. Also what the kernel
// says when it refuses or fails.
#include "WebSeed.h"

#include "KernelEnvironment.h"
#include "TorrentMaker.h"

#include "kernel/Swarm.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "util/UniqueHandle.h"

#include <gtest/gtest.h>


namespace {

using namespace std::chrono_literals;

const int kPieceSize = 64 * 1024;

// Payload the kernel has taken in since it started, released downloaders'
// included.
uint64_t KernelDownloaded()
{
    DLBT_KERNEL_INFO info{};
    TheKernel().GetKernelInfo(&info);
    return info.totalDownloaded;
}

// A game of three files, the middle one not on a piece boundary, served by
// an HTTP seed that holds each file's bytes as a prefix of its own.
class FinishedGameTest : public ::testing::Test {
protected:
    FinishedGameTest() : m_content(RandomBytes(1 << 20, 20261210)), m_seed(m_content)
    {
        m_files = {{{"game.exe"}, m_content.substr(0, 300000)},
                   {{"data", "level.pak"}, m_content.substr(0, 700001)},
                   {{"readme.txt"}, m_content.substr(0, 999)}};
        m_dir.Write(L"game.torrent", MakeTorrent("Game", m_files, kPieceSize));
        ::CreateDirectoryW(Folder().c_str(), nullptr);
    }

    std::wstring Folder() const { return m_dir.File(L"download"); }
    std::wstring FileOnDisk(size_t index) const
    {
        std::wstring path = Folder() + L"\\Game";
        for (const std::string& element : m_files[index].path)
            path += L"\\" + std::wstring(element.begin(), element.end());
        return path;
    }

    DLBT_DOWNLOADER Start() const
    {
        const std::wstring torrent = m_dir.File(L"game.torrent");
        DLBT_DOWNLOADER downloader = TheKernel().Initialize(torrent.c_str(), Folder().c_str(),
                                                            (torrent + L".dlbt").c_str(), 1, FALSE, FALSE, nullptr,
                                                            nullptr, 0, 0);
        if (downloader)
            TheKernel().AddHttpDownload(downloader, m_seed.Url().c_str());
        return downloader;
    }

    // Until complete, checking at every look that a completion claimed is
    // the game on disk.
    ::testing::AssertionResult CompletesIdentical(DLBT_DOWNLOADER downloader) const
    {
        bool claimedEarly = false;
        DLBT_DOWNLOADER_INFO info{};
        const bool done = WaitFor([&] {
            info = TheKernel().Info(downloader);
            if (IsDone(info.state) && !Identical())
                claimedEarly = true;
            return IsDone(info.state) || claimedEarly;
        }, 120s);
        if (claimedEarly)
            return ::testing::AssertionFailure() << "reported complete while a file differs: " << Differences();
        if (!done)
            return ::testing::AssertionFailure() << "state " << info.state << " at " << info.percent << "%";
        if (info.piecesDone != info.pieceCount)
            return ::testing::AssertionFailure() << info.piecesDone << " of " << info.pieceCount << " pieces";
        return ::testing::AssertionSuccess();
    }

    // Downloads the game whole and lets the downloader go, as the program
    // does when it ends after completion.
    void Complete() const
    {
        DLBT_DOWNLOADER downloader = Start();
        ASSERT_NE(downloader, nullptr);
        ASSERT_TRUE(CompletesIdentical(downloader));
        TheKernel().Release(downloader, 0);
    }

    // A second start over what is on disk: complete and identical, having
    // fetched at most `mostBytes`.
    void ExpectRestartCompletes(uint64_t leastBytes, uint64_t mostBytes) const
    {
        const uint64_t before = KernelDownloaded();
        DLBT_DOWNLOADER downloader = Start();
        ASSERT_NE(downloader, nullptr);
        EXPECT_TRUE(CompletesIdentical(downloader));
        TheKernel().Release(downloader, 0);
        const uint64_t fetched = KernelDownloaded() - before;
        EXPECT_GE(fetched, leastBytes);
        EXPECT_LE(fetched, mostBytes) << "fetched more than the damage";
    }

    bool Identical() const { return Differences().empty(); }
    std::string Differences() const
    {
        std::string differences;
        for (size_t i = 0; i < m_files.size(); ++i) {
            const std::string onDisk = ReadWholeFile(FileOnDisk(i));
            if (onDisk != m_files[i].content)
                differences += "file " + std::to_string(i) + " has " + std::to_string(onDisk.size()) + " of " +
                               std::to_string(m_files[i].content.size()) + " bytes; ";
        }
        return differences;
    }

    // Another program changes a byte of file `index` at `offset`.
    void DamageByte(size_t index, int64_t offset) const
    {
        CUniqueHandle file(::CreateFileW(FileOnDisk(index).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file.Valid());
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        const char byte = static_cast<char>(~m_files[index].content[static_cast<size_t>(offset)]);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.Get(), &byte, 1, &written, &at));
    }

    void Truncate(size_t index, int64_t size) const
    {
        CUniqueHandle file(
            ::CreateFileW(FileOnDisk(index).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file.Valid());
        LARGE_INTEGER at;
        at.QuadPart = size;
        ASSERT_TRUE(::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.Get()));
    }

    TempDir m_dir;
    std::string m_content;
    CWebSeed m_seed;
    std::vector<STorrentFile> m_files;
};

TEST_F(FinishedGameTest, AnIntactGameIsCompleteAtOnceAndFetchesNothing)
{
    Complete();
    ExpectRestartCompletes(0, 0);
}

TEST_F(FinishedGameTest, ADeletedFileIsFetchedAgainAndNothingElse)
{
    Complete();
    ASSERT_TRUE(::DeleteFileW(FileOnDisk(2).c_str()));
    ExpectRestartCompletes(m_files[2].content.size(), 2 * kPieceSize);
}

TEST_F(FinishedGameTest, AFileCutShortIsCompletedAgain)
{
    Complete();
    Truncate(1, 100000);
    ExpectRestartCompletes(700001 - 100000 - kPieceSize, 700001 + 2 * kPieceSize);
}

// The same size, a new time: the file is checked and only the piece that
// holds the changed byte is fetched.
TEST_F(FinishedGameTest, ADamagedByteCostsItsPieceOnly)
{
    Complete();
    DamageByte(1, 500000);
    ExpectRestartCompletes(1, kPieceSize);
}

// A state file that says the download was only uploading (what libtorrent
// falls back to after a write failed) does not keep a new start from
// fetching what is missing.
TEST_F(FinishedGameTest, AStateFileOfAnUploadOnlyDownloadStillFetches)
{
    Complete();
    Truncate(2, 0);
    const std::wstring stateFile = m_dir.File(L"game.torrent.dlbt");
    std::string state = ReadWholeFile(stateFile);
    const std::string uploading = "11:upload_modei1e";
    const size_t at = state.find("11:upload_modei0e");
    ASSERT_NE(at, std::string::npos) << "no upload mode in the state file";
    state.replace(at, uploading.size(), uploading);
    m_dir.Write(L"game.torrent.dlbt", state);
    ExpectRestartCompletes(m_files[2].content.size(), 2 * kPieceSize);
}

// Refusals and failures are told in words the player's code page shows.
TEST(KernelReasons, ARefusedTorrentSaysWhy)
{
    TempDir dir;
    KernelApi& kernel = TheKernel();
    const std::wstring missing = dir.File(L"missing.torrent");
    EXPECT_EQ(kernel.Initialize(missing.c_str(), dir.Path().c_str(), nullptr, 1, FALSE, FALSE, nullptr, nullptr, 0, 0),
              nullptr);
    char text[1024] = {};
    int length = sizeof text;
    ASSERT_EQ(kernel.GetKernelLastError(text, &length), DLBT_OK);
    EXPECT_NE(std::string(text).find("cannot read the torrent file"), std::string::npos) << text;

    dir.Write(L"junk.torrent", "this is not bencoding");
    const std::wstring junk = dir.File(L"junk.torrent");
    EXPECT_EQ(kernel.Initialize(junk.c_str(), dir.Path().c_str(), nullptr, 1, FALSE, FALSE, nullptr, nullptr, 0, 0),
              nullptr);
    length = sizeof text;
    ASSERT_EQ(kernel.GetKernelLastError(text, &length), DLBT_OK);
    EXPECT_NE(std::string(text).find("not a torrent file"), std::string::npos) << text;
}

// A plain file where the game's folder must go: the download stops in the
// error state with the system's own words for it, whole in the player's
// code page (a Chinese system text once came out as question marks).
TEST(KernelReasons, AFileErrorIsToldInThePlayersCodePage)
{
    TempDir dir;
    const std::string content = "game";
    CWebSeed seed(content);
    dir.Write(L"game.torrent", MakeTorrent("Blocked", {{{"a.bin"}, content}, {{"b.bin"}, content}}));
    ::CreateDirectoryW(dir.File(L"download").c_str(), nullptr);
    dir.Write(L"download\\Blocked", "a file in the folder's place");
    KernelApi& kernel = TheKernel();
    const std::wstring torrent = dir.File(L"game.torrent"), folder = dir.File(L"download");
    DLBT_DOWNLOADER downloader =
        kernel.Initialize(torrent.c_str(), folder.c_str(), nullptr, 1, FALSE, FALSE, nullptr, nullptr, 0, 0);
    ASSERT_NE(downloader, nullptr);
    kernel.AddHttpDownload(downloader, seed.Url().c_str());
    EXPECT_TRUE(WaitFor([&] { return kernel.Info(downloader).state == DLBT_STATE_ERROR; }, 60s));
    char text[1024] = {};
    int length = sizeof text;
    ASSERT_EQ(kernel.GetLastError(downloader, text, &length), DLBT_OK);
    kernel.Release(downloader, 0);
    wchar_t wide[1024] = {};
    ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 1024);
    const std::wstring shown = wide;
    EXPECT_FALSE(shown.empty());
    EXPECT_EQ(shown.find(L'?'), std::wstring::npos) << "the text did not survive the code page";
    EXPECT_EQ(shown.find(L'\xFFFD'), std::wstring::npos);
    EXPECT_NE(shown.find(L"a.bin"), std::wstring::npos) << "which file";
}

} // namespace
