// The kernel library against a real swarm on 127.0.0.1: opentracker, a
// libtorrent seeder and nginx as HTTP seed, started by the test fixture.
#include "KernelApi.h"
#include "Swarm.h"

#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

KernelApi g_kernel;
Swarm g_swarm;

// One kernel for the whole test program, as in the downloader.
class KernelEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(g_swarm.Load()) << "the swarm fixture has not run";
        ASSERT_TRUE(g_kernel.StartAsTheProgramDoes(29300));
    }
    void TearDown() override { g_kernel.Stop(); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new KernelEnvironment);

void SetLimits(int bytesPerSecond)
{
    g_kernel.SetDownloadSpeedLimit(bytesPerSecond);
    g_kernel.SetLocalNetworkLimit(TRUE, bytesPerSecond, 0);
}

DLBT_DOWNLOADER_INFO InfoOf(DLBT_DOWNLOADER downloader) { return g_kernel.Info(downloader); }

bool WaitForState(DLBT_DOWNLOADER downloader, bool (*accept)(int), std::chrono::milliseconds limit = 120s)
{
    return WaitFor([&] { return accept(InfoOf(downloader).state); }, limit);
}

// A downloader in a fresh folder, released when the test ends.
class Download {
public:
    explicit Download(const char* torrent, const wchar_t* rootName = nullptr)
        : m_torrent(torrent)
    {
        m_handle = g_kernel.Initialize(g_swarm.TorrentPath(torrent).c_str(), m_folder.Path().c_str(),
                                       StateFile().c_str(), 1, FALSE, FALSE, nullptr, rootName, 1, 0);
    }
    ~Download()
    {
        if (m_handle)
            g_kernel.Release(m_handle, 0);
    }

    DLBT_DOWNLOADER Handle() const { return m_handle; }
    const TempDir& Folder() const { return m_folder; }
    std::wstring StateFile() const { return m_folder.Path() + L".dlbt"; }

    void AddPeers() const { g_kernel.AddTracker(m_handle, g_swarm.Tracker().c_str(), 0); }
    void AddWebSeed(const std::string& url) const { g_kernel.AddHttpDownload(m_handle, url.c_str()); }
    bool WaitUntilDone() const { return WaitForState(m_handle, IsDone); }

    std::wstring FilePath(int index) const
    {
        wchar_t path[261] = {};
        int size = 260;
        return g_kernel.GetFilePathName(m_handle, index, path, &size, FALSE) == DLBT_OK ? path : L"";
    }

private:
    const char* m_torrent;
    TempDir m_folder;
    DLBT_DOWNLOADER m_handle = nullptr;
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring WindowsSeparators(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return Wide(path);
}

// Every file of the torrent, under `onDiskRoot` instead of its own root,
// holds exactly the seeds' bytes.
void ExpectFilesIdentical(const TempDir& folder, const std::vector<std::string>& files,
                          const std::string& torrentRoot, const std::string& onDiskRoot)
{
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        std::string onDisk = file;
        if (!torrentRoot.empty())
            onDisk = onDiskRoot + file.substr(torrentRoot.size());
        EXPECT_EQ(ReadWholeFile(folder.File(WindowsSeparators(onDisk))), g_swarm.SeedFile(file));
    }
}

const std::vector<std::string> kMultiFiles = {"KorvaneGame/bin/game.exe", "KorvaneGame/data/pack1.dat",
                                              "KorvaneGame/data/pack2.dat", "KorvaneGame/readme.txt"};

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override { SetLimits(0); }
    void TearDown() override { SetLimits(0); }
};

TEST_F(KernelTest, ContentLandsUnderTheRootNameOrInTheFolderItself)
{
    Download multi("multi", L"KorvaneLand");
    ASSERT_NE(multi.Handle(), nullptr);
    multi.AddPeers();
    multi.AddWebSeed(g_swarm.WebSeed());
    Download single("single", L"Ignored");
    ASSERT_NE(single.Handle(), nullptr);
    single.AddPeers();

    EXPECT_EQ(g_kernel.GetFileCount(multi.Handle()), 4);
    EXPECT_EQ(multi.FilePath(0).rfind(L"KorvaneLand\\", 0), 0u) << multi.FilePath(0).c_str();
    EXPECT_EQ(g_kernel.GetFileCount(single.Handle()), 1);
    EXPECT_EQ(single.FilePath(0), L"korvane_patch.bin");

    ASSERT_TRUE(multi.WaitUntilDone());
    ASSERT_TRUE(single.WaitUntilDone());
    ExpectFilesIdentical(multi.Folder(), kMultiFiles, "KorvaneGame", "KorvaneLand");
    ExpectFilesIdentical(single.Folder(), {"korvane_patch.bin"}, "", "");

    const DLBT_DOWNLOADER_INFO info = InfoOf(multi.Handle());
    EXPECT_EQ(info.totalSize, g_swarm.TotalSize("multi"));
    EXPECT_EQ(info.downloaded, info.totalSize);
    EXPECT_FLOAT_EQ(info.percent, 100.0f);
    EXPECT_EQ(std::string(info.infoHash), g_swarm.InfoHash("multi"));
}

TEST_F(KernelTest, CompletesFromTheHttpSeedAloneAndFromThePeerAlone)
{
    Download fromWeb("multi");
    fromWeb.AddWebSeed(g_swarm.WebSeed());
    Download fromPeer("resume");
    fromPeer.AddPeers();

    ASSERT_TRUE(fromWeb.WaitUntilDone());
    ExpectFilesIdentical(fromWeb.Folder(), kMultiFiles, "", "");
    ASSERT_TRUE(fromPeer.WaitUntilDone());
    ExpectFilesIdentical(fromPeer.Folder(), {"ResumeGame/a.dat", "ResumeGame/b.dat"}, "", "");
}

// The publishing tool starts every file at a piece, with pad files between
// them: the kernel names and counts only the game's files, writes no pad
// file, and completes from the HTTP seed and the peer.
TEST_F(KernelTest, AnAlignedTorrentShowsOnlyTheGamesFilesAndCompletes)
{
    Download download("aligned");
    download.AddWebSeed(g_swarm.WebSeed());
    download.AddPeers();
    std::vector<std::wstring> listed;
    for (int index = 0; index < g_kernel.GetFileCount(download.Handle()); ++index)
        listed.push_back(download.FilePath(index));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::wstring>{L"AlignedGame\\bin\\game.exe", L"AlignedGame\\data\\pack.dat",
                                                 L"AlignedGame\\readme.txt"}));

    ASSERT_TRUE(download.WaitUntilDone());
    ExpectFilesIdentical(download.Folder(),
                         {"AlignedGame/bin/game.exe", "AlignedGame/data/pack.dat", "AlignedGame/readme.txt"}, "", "");
    const DLBT_DOWNLOADER_INFO info = InfoOf(download.Handle());
    EXPECT_EQ(info.totalSize, 100'003u + 700'001u + 999u);
    EXPECT_EQ(info.downloaded, info.totalSize);
    EXPECT_EQ(::GetFileAttributesW(download.Folder().File(L"AlignedGame\\.pad").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(KernelTest, PauseStopsTheTransferAndResumeCompletesIt)
{
    SetLimits(300 * 1024);
    Download download("pause");
    download.AddPeers();
    std::vector<int> states;
    auto record = [&] {
        const int state = InfoOf(download.Handle()).state;
        if (states.empty() || states.back() != state)
            states.push_back(state);
        return state;
    };
    ASSERT_TRUE(WaitFor([&] { return record() == DLBT_STATE_DOWNLOADING && InfoOf(download.Handle()).downloaded > 0; }));

    g_kernel.Pause(download.Handle());
    ASSERT_TRUE(WaitFor([&] { return record() == DLBT_STATE_PAUSED; }));
    const uint64_t atPause = InfoOf(download.Handle()).downloaded;
    std::this_thread::sleep_for(1500ms); // a span in which nothing may arrive
    EXPECT_EQ(InfoOf(download.Handle()).downloaded, atPause);
    EXPECT_LT(atPause, g_swarm.TotalSize("pause"));

    SetLimits(0);
    g_kernel.Resume(download.Handle());
    const auto resumed = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return IsDone(record()); }, 120s));
    EXPECT_LT(std::chrono::steady_clock::now() - resumed, 30s) << "peers were found again at once";
    ExpectFilesIdentical(download.Folder(), {"pause_test.bin"}, "", "");

    // Checking may come first; downloading, paused, downloading again and
    // done follow in order.
    std::vector<int> tail(states.end() - 4, states.end());
    EXPECT_EQ(tail, (std::vector<int>{DLBT_STATE_DOWNLOADING, DLBT_STATE_PAUSED, DLBT_STATE_DOWNLOADING, tail[3]}));
    EXPECT_TRUE(IsDone(tail[3]));
}

TEST_F(KernelTest, DownloadLimitHoldsSteadilyForAPeerAndAnHttpSeedOnTheLocalNetwork)
{
    const int limit = 200 * 1024;
    SetLimits(limit);
    Download download("limit");
    download.AddPeers();
    download.AddWebSeed(g_swarm.WebSeed());
    ASSERT_TRUE(WaitFor([&] { return InfoOf(download.Handle()).downloaded >= 256 * 1024; }));

    // Long enough that the limiter's rounds average out, short enough that
    // 6 MB do not run out at the limit. The limit must not come as long
    // silences followed by bursts.
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const uint64_t before = InfoOf(download.Handle()).downloaded;
    uint64_t last = before;
    auto lastChange = start;
    Clock::duration longestSilence{};
    while (Clock::now() - start < 8s) {
        std::this_thread::sleep_for(100ms);
        const uint64_t now = InfoOf(download.Handle()).downloaded;
        if (now != last) {
            last = now;
            lastChange = Clock::now();
        }
        longestSilence = std::max(longestSilence, Clock::now() - lastChange);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rate = static_cast<double>(last - before) / seconds;
    EXPECT_LT(rate, limit * 1.35) << rate;
    EXPECT_GT(rate, limit * 0.3) << rate;
    EXPECT_LT(longestSilence, 5s) << std::chrono::duration<double>(longestSilence).count() << " s";
}

// A player lowers the limit in the middle of an unlimited download from an
// HTTP seed that sends 1 MB/s: within a second the download keeps to the new
// limit, however much it had asked the seed for before.
TEST_F(KernelTest, ALoweredLimitBitesWithinASecondOnAnHttpSeed)
{
    Download download("limit");
    download.AddWebSeed(g_swarm.SlowSeed());
    ASSERT_TRUE(WaitFor([&] { return InfoOf(download.Handle()).downloaded >= 1024 * 1024; }));

    // Bytes as they come in: completed pieces would also count what came
    // before the limit into pieces that complete after it.
    auto received = [] {
        DLBT_KERNEL_INFO info{};
        g_kernel.GetKernelInfo(&info);
        return info.totalDownloaded;
    };
    const int limit = 50 * 1024;
    SetLimits(limit);
    std::this_thread::sleep_for(1s);
    const uint64_t before = received();
    std::this_thread::sleep_for(2s);
    const uint64_t during = received() - before;
    // Two seconds at the limit and the limiter's allowance of three seconds'
    // worth held over.
    EXPECT_LE(during, 2 * limit + 3 * limit) << during << " bytes in the two seconds";
    EXPECT_FALSE(IsDone(InfoOf(download.Handle()).state));
}

TEST_F(KernelTest, CorruptHttpSeedIsOutvotedByThePeer)
{
    Download download("multi");
    download.AddWebSeed(g_swarm.CorruptSeed());
    download.AddPeers();
    ASSERT_TRUE(download.WaitUntilDone());
    ExpectFilesIdentical(download.Folder(), kMultiFiles, "", "");
}

TEST_F(KernelTest, UnwritableFolderIsAnErrorWithTextAndANonTorrentNoHandle)
{
    TempDir folder;
    folder.Write(L"blocker", "a file where the download folder would be");
    DLBT_DOWNLOADER downloader =
        g_kernel.Initialize(g_swarm.TorrentPath("single").c_str(), (folder.File(L"blocker") + L"\\sub").c_str(),
                            folder.File(L"state.dlbt").c_str(), 1, FALSE, FALSE, nullptr, nullptr, 1, 0);
    ASSERT_NE(downloader, nullptr);
    g_kernel.AddTracker(downloader, g_swarm.Tracker().c_str(), 0);
    EXPECT_TRUE(WaitForState(downloader, [](int state) { return state == DLBT_STATE_ERROR; }));
    int length = 0;
    EXPECT_EQ(g_kernel.GetLastError(downloader, nullptr, &length), DLBT_OK);
    EXPECT_GT(length, 1);
    std::string text(static_cast<size_t>(length), '\0');
    EXPECT_EQ(g_kernel.GetLastError(downloader, &text[0], &length), DLBT_OK);
    EXPECT_NE(text[0], '\0');
    g_kernel.Release(downloader, 0);

    folder.Write(L"fake.torrent", "<html>not found</html>");
    EXPECT_EQ(g_kernel.Initialize(folder.File(L"fake.torrent").c_str(), folder.Path().c_str(), L"", 1, FALSE,
                                  FALSE, nullptr, nullptr, 1, 0),
              nullptr);
    EXPECT_EQ(g_kernel.Initialize(folder.File(L"missing.torrent").c_str(), folder.Path().c_str(), L"", 1,
                                  FALSE, FALSE, nullptr, nullptr, 1, 0),
              nullptr);
}

TEST_F(KernelTest, HandlesAreNeitherSharedNorRevived)
{
    Download first("single");
    ASSERT_NE(first.Handle(), nullptr);
    TempDir otherFolder;
    EXPECT_EQ(g_kernel.Initialize(g_swarm.TorrentPath("single").c_str(), otherFolder.Path().c_str(), L"", 1, FALSE,
                                  FALSE, nullptr, nullptr, 1, 0),
              nullptr)
        << "a second downloader of the same torrent";
    first.AddPeers();
    ASSERT_TRUE(first.WaitUntilDone()) << "the refused second one left the first alone";

    DLBT_DOWNLOADER_INFO info{};
    DLBT_DOWNLOADER released;
    {
        Download gone("pause");
        released = gone.Handle();
        ASSERT_NE(released, nullptr);
    }
    EXPECT_FALSE(g_kernel.GetDownloaderInfo(released, &info));
    Download later("pause"); // may well live where the released one did
    ASSERT_NE(later.Handle(), nullptr);
    EXPECT_FALSE(g_kernel.GetDownloaderInfo(released, &info));
    EXPECT_TRUE(g_kernel.GetDownloaderInfo(later.Handle(), &info));
}

std::wstring HelperPath() { return WindowsPathOfHostPath(KORVANE_KERNEL_HELPER); }

// "downloaded total state" as the helper last wrote it.
uint64_t HelperDownloaded(const TempDir& folder)
{
    std::istringstream progress(ReadWholeFile(folder.File(L"progress.txt")));
    uint64_t downloaded = 0;
    progress >> downloaded;
    return downloaded;
}

TEST_F(KernelTest, AfterAHardKillVerifiedPiecesAreNotFetchedAgain)
{
    TempDir folder;
    const std::wstring state = folder.File(L"resume.torrent.dlbt");
    const uint64_t total = g_swarm.TotalSize("resume");
    const uint64_t sentBefore = g_swarm.SeederUploaded("resume");

    ChildProcess helper;
    ASSERT_TRUE(helper.Start(HelperPath(),
                             L"\"" + g_swarm.TorrentPath("resume") + L"\" \"" + folder.Path() + L"\" \"" + state +
                                 L"\" --tracker " + Wide(g_swarm.Tracker()) + L" --limit 1048576 --progress \"" +
                                 folder.File(L"progress.txt") + L"\"",
                             folder.Path()));
    ASSERT_TRUE(WaitFor([&] { return HelperDownloaded(folder) >= total * 2 / 5; }, 120s));
    ASSERT_TRUE(::TerminateProcess(::OpenProcess(PROCESS_TERMINATE, FALSE, helper.Id()), 9));
    ASSERT_EQ(helper.WaitForExit(), 9u);
    const uint64_t verifiedAtKill = HelperDownloaded(folder);
    const uint64_t sentToHelper = g_swarm.SettledSeederUploaded("resume") - sentBefore;

    DLBT_DOWNLOADER downloader =
        g_kernel.Initialize(g_swarm.TorrentPath("resume").c_str(), folder.Path().c_str(), state.c_str(), 1, FALSE,
                            FALSE, nullptr, nullptr, 1, 0);
    ASSERT_NE(downloader, nullptr);
    ASSERT_TRUE(WaitForState(downloader, [](int state) { return state != DLBT_STATE_CHECKING; }));
    EXPECT_GE(InfoOf(downloader).downloaded, verifiedAtKill) << "what was verified before the kill counts";
    g_kernel.AddTracker(downloader, g_swarm.Tracker().c_str(), 0);
    ASSERT_TRUE(WaitForState(downloader, IsDone));
    g_kernel.Release(downloader, 0);
    ExpectFilesIdentical(folder, {"ResumeGame/a.dat", "ResumeGame/b.dat"}, "", "");

    const uint64_t sentAfterRestart = g_swarm.SettledSeederUploaded("resume") - sentBefore - sentToHelper;
    const uint64_t slack = 16 * 64 * 1024; // pieces in flight at the kill
    EXPECT_LE(sentAfterRestart, total - verifiedAtKill + slack)
        << "verified at kill " << verifiedAtKill << " of " << total;
}

// The program unloads the library when its window closes; nothing the
// library left behind may run after that (an access violation at exit, seen
// by a player as a crash report).
TEST_F(KernelTest, AProcessThatUnloadedTheLibraryEndsCleanly)
{
    TempDir folder;
    ChildProcess helper;
    ASSERT_TRUE(helper.Start(HelperPath(),
                             L"\"" + g_swarm.TorrentPath("single") + L"\" \"" + folder.Path() + L"\" \"\" --tracker " +
                                 Wide(g_swarm.Tracker()),
                             folder.Path()));
    EXPECT_EQ(helper.WaitForExit(120s), 0u);
}

TEST_F(KernelTest, KernelInfoCountsWhatWasUploadedToALeecher)
{
    TempDir seedFolder;
    seedFolder.Write(L"upload_test.bin", g_swarm.SeedFile("upload_test.bin"));
    DLBT_DOWNLOADER seeder = g_kernel.Initialize(g_swarm.TorrentPath("upload").c_str(), seedFolder.Path().c_str(),
                                                 L"", 1, FALSE, FALSE, nullptr, nullptr, 1, 0);
    ASSERT_NE(seeder, nullptr);
    ASSERT_TRUE(WaitForState(seeder, [](int state) { return state == DLBT_STATE_SEEDING; }));
    DLBT_KERNEL_INFO before{};
    ASSERT_TRUE(g_kernel.GetKernelInfo(&before));
    ASSERT_NE(before.listenPort, 0);

    TempDir leecherFolder;
    ChildProcess leecher;
    ASSERT_TRUE(leecher.Start(HelperPath(),
                              L"\"" + g_swarm.TorrentPath("upload") + L"\" \"" + leecherFolder.Path() +
                                  L"\" \"\" --peer " + std::to_wstring(before.listenPort),
                              leecherFolder.Path()));
    EXPECT_EQ(leecher.WaitForExit(120s), 0u);

    DLBT_KERNEL_INFO after{};
    ASSERT_TRUE(g_kernel.GetKernelInfo(&after));
    EXPECT_GE(after.totalUploaded - before.totalUploaded, g_swarm.TotalSize("upload"));
    g_kernel.Release(seeder, 0);
}

} // namespace
