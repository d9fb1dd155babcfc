// The kernel library writing the game onto a drive that fails it: full
// before the last piece, unable to extend a new file, an I/O error on one
// write or on a read of the check after a resume, writes that come back
// short. Whatever the drive does, the kernel never says the game is complete
// (complete or seeding) while a file on the drive differs from the seed's,
// nor with a piece missing, and once the writes have stopped it counts as
// verified and on disk only what the drive holds; and once the drive
// behaves again and the player
// has paused and resumed, as the program has the player do after its disk
// warning, the game completes with the seed's bytes. The drive is the lying
// drive M:, mounted by a fixture where FUSE can be mounted; what is on it is
// read from the folder behind it, so that the checks neither pass through
// its faults nor its cache.
#include "LyingDrive.h"
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
#include <sstream>

namespace {

using namespace std::chrono_literals;

// The game as tools/publish makes its torrent: 64 KiB pieces, every file
// starting a piece, so the small last file is alone in the short last piece.
const int kPieceSize = 64 * 1024;
const size_t kDataSize = 4u << 20;
const size_t kLastFileSize = 999;
const int kPieceCount = static_cast<int>(kDataSize / kPieceSize) + 1;
const uint64_t kGameSize = kDataSize + kLastFileSize;

const wchar_t kFolder[] = L"M:\\integrity";
// As the drive names them in its rules.
const char kDataRule[] = "integrity/game/data.pak";
const char kLastFileRule[] = "integrity/game/readme.txt";

struct SGameFile {
    const wchar_t* name;
    std::string content;
};

std::string StateName(int state)
{
    static const char* const kNames[] = {"initialising", "checking", "getting the torrent", "downloading",
                                         "paused", "complete", "seeding", "allocating", "error"};
    return std::to_string(state) + " (" + (state >= 0 && state <= 8 ? kNames[state] : "unknown") + ")";
}

class IntegrityTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!lying_drive::Present())
            GTEST_SKIP() << "no lying drive M: (its fixture mounts one where FUSE can be mounted)";
        ASSERT_TRUE(lying_drive::Reset());
        RemoveTree(kFolder);
        ASSERT_TRUE(::CreateDirectoryW(kFolder, nullptr));
        m_cfg.Write(L"game.torrent", MakeTorrent("Game", {{{"data.pak"}, m_files[0].content},
                                                          {{"readme.txt"}, m_files[1].content}},
                                                 kPieceSize));
        m_torrent = m_cfg.File(L"game.torrent");
        m_stateFile = m_torrent + L".dlbt";
    }

    void TearDown() override
    {
        Release();
        if (lying_drive::Present())
            lying_drive::Reset();
        RemoveTree(kFolder);
    }

    KernelApi& Kernel() const { return TheKernel(); }

    // A downloader of the game, resuming from the state file when there is
    // one, as the program makes it.
    void Start()
    {
        m_reported = false;
        m_trail.clear();
        // The downloader released before may still be leaving the session.
        ASSERT_TRUE(WaitFor([&] {
            m_downloader = Kernel().Initialize(m_torrent.c_str(), kFolder, m_stateFile.c_str(), 1, FALSE, FALSE,
                                               nullptr, nullptr, 0, 0);
            return m_downloader != nullptr;
        }, 30s)) << "the kernel makes no downloader of the game";
        Kernel().AddHttpDownload(m_downloader, m_seed.Url().c_str());
    }

    // As the program does when it closes.
    void Release()
    {
        if (m_downloader)
            Kernel().Release(m_downloader, 0);
        m_downloader = nullptr;
    }

    // The player, warned, frees room (or waits for the drive) and resumes.
    void PauseAndResume(const std::string& disarm = {})
    {
        Kernel().Pause(m_downloader);
        if (!disarm.empty()) {
            ASSERT_TRUE(lying_drive::Disarm(disarm));
        }
        Kernel().Resume(m_downloader);
    }

    // What differs between the game on the drive and the seed's; empty when
    // every file is the seed's. A file unchanged since it was last compared
    // is not read again.
    std::string DifferenceFromSeed()
    {
        std::string difference;
        for (size_t index = 0; index < m_files.size(); ++index) {
            const SGameFile& file = m_files[index];
            const std::wstring path = OnDrive(file);
            WIN32_FILE_ATTRIBUTE_DATA attributes{};
            std::string& known = m_compared[index].verdict;
            std::string stamp = "missing";
            if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes))
                stamp = std::to_string(attributes.nFileSizeLow) + "/" +
                        std::to_string(attributes.ftLastWriteTime.dwLowDateTime) + "/" +
                        std::to_string(attributes.ftLastWriteTime.dwHighDateTime);
            if (stamp != m_compared[index].stamp) {
                m_compared[index].stamp = stamp;
                known = Compare(std::string(file.name, file.name + wcslen(file.name)), path, file.content);
            }
            if (!known.empty())
                difference += (difference.empty() ? "" : "; ") + known;
        }
        return difference;
    }

    static std::string Compare(const std::string& name, const std::wstring& path, const std::string& seed)
    {
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return name + " is missing";
        const std::string onDisk = ReadWholeFile(path);
        if (onDisk == seed)
            return {};
        const auto differ = std::mismatch(onDisk.begin(), onDisk.end(), seed.begin(), seed.end());
        return name + " differs from the seed's copy: " + std::to_string(onDisk.size()) + " bytes for " +
               std::to_string(seed.size()) + ", the first difference at " +
               std::to_string(differ.first - onDisk.begin());
    }

    // One look at the kernel's status, held against the drive: complete or
    // seeding only with every piece and every file the seed's.
    DLBT_DOWNLOADER_INFO Poll()
    {
        const DLBT_DOWNLOADER_INFO info = Kernel().Info(m_downloader);
        const std::string step = StateName(info.state) + " " + std::to_string(info.piecesDone) + "/" +
                                 std::to_string(info.pieceCount);
        if (m_trail.empty() || m_trail.back() != step)
            m_trail.push_back(step);
        m_identical = false;
        if (!IsDone(info.state))
            return info;
        std::string wrong;
        if (info.piecesDone < info.pieceCount)
            wrong = "with " + std::to_string(info.piecesDone) + " of " + std::to_string(info.pieceCount) +
                    " pieces";
        const std::string difference = DifferenceFromSeed();
        if (!difference.empty())
            wrong += (wrong.empty() ? "while " : ", while ") + difference;
        m_identical = wrong.empty();
        if (!wrong.empty()) {
            m_claimedFalsely = true;
            if (!m_reported)
                ADD_FAILURE() << "the kernel says " << StateName(info.state) << " " << wrong << "\n" << Described();
            m_reported = true;
        }
        return info;
    }

    // Until the game is complete and the seed's; false at once when the
    // kernel claims completion that is not so, or after `limit`.
    bool WaitForCompletion(std::chrono::seconds limit = 120s)
    {
        m_claimedFalsely = false;
        return WaitFor([&] {
            Poll();
            return m_identical || m_claimedFalsely;
        }, limit) && m_identical;
    }

    // Until the drive has injected the fault of `rule` and the kernel does
    // no more about it: for three seconds neither its status nor the drive's
    // writes change. Also when the kernel says the game is complete.
    bool WaitUntilSettled(const std::string& rule, std::chrono::seconds limit = 90s)
    {
        m_claimedFalsely = false;
        std::string last;
        auto since = std::chrono::steady_clock::now();
        return WaitFor([&] {
            const DLBT_DOWNLOADER_INFO info = Poll();
            if (m_identical || m_claimedFalsely)
                return true;
            const auto now = std::chrono::steady_clock::now();
            const std::string report = lying_drive::Report();
            const std::string status = std::to_string(info.state) + " " + std::to_string(info.piecesDone) + " " +
                                       std::to_string(info.downloaded) + "\n" + report;
            if (lying_drive::Fired(rule) < 1 || status != last) {
                last = status;
                since = now;
                return false;
            }
            if (now - since < 3s)
                return false;
            // Nothing is on its way to the drive: what the kernel counts as
            // verified and on disk must be there.
            const uint64_t intact = IntactBytes();
            EXPECT_LE(info.downloaded, intact)
                << "the kernel counts " << info.downloaded << " bytes verified and on disk, the drive holds "
                << intact << " of them as the seed has them\n" << Described();
            return true;
        }, limit);
    }

    std::wstring OnDrive(const SGameFile& file) const
    {
        return lying_drive::BackingPath(std::wstring(kFolder) + L"\\Game\\" + file.name);
    }

    // The bytes of the pieces that are on the drive as the seed has them.
    uint64_t IntactBytes() const
    {
        std::string onDrive, seed;
        for (const SGameFile& file : m_files) {
            std::string bytes = ReadWholeFile(OnDrive(file));
            bytes.resize(file.content.size(), '\0');
            onDrive += bytes;
            seed += file.content;
        }
        uint64_t intact = 0;
        for (size_t at = 0; at < seed.size(); at += kPieceSize) {
            const size_t length = std::min<size_t>(kPieceSize, seed.size() - at);
            if (onDrive.compare(at, length, seed, at, length) == 0)
                intact += length;
        }
        return intact;
    }

    // The kernel's status, the files on the drive and the states it went
    // through, for a failure's message.
    std::string Described()
    {
        const DLBT_DOWNLOADER_INFO info = Kernel().Info(m_downloader);
        std::ostringstream text;
        text << "kernel: state " << StateName(info.state) << ", pieces " << info.piecesDone << "/"
             << info.pieceCount << ", " << info.downloaded << " of " << info.totalSize << " bytes verified";
        char error[512] = "";
        int length = sizeof error;
        if (info.state == DLBT_STATE_ERROR && Kernel().GetLastError(m_downloader, error, &length) == DLBT_OK)
            text << " (" << error << ")";
        text << "\non the drive:";
        for (const SGameFile& file : m_files) {
            const std::wstring path = OnDrive(file);
            WIN32_FILE_ATTRIBUTE_DATA attributes{};
            text << " " << std::string(file.name, file.name + wcslen(file.name)) << " ";
            if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes))
                text << attributes.nFileSizeLow << " bytes";
            else
                text << "missing";
        }
        const std::string difference = DifferenceFromSeed();
        text << "\n" << (difference.empty() ? "every file is the seed's" : difference) << "\nstates:";
        for (const std::string& step : m_trail)
            text << " [" << step << "]";
        text << "\n" << lying_drive::Report();
        return text.str();
    }

    // Expects the rule to have fired: a case whose fault never happened
    // proves nothing.
    void ExpectFired(const std::string& rule, int atLeast = 1)
    {
        EXPECT_GE(lying_drive::Fired(rule), atLeast) << "the drive never injected " << rule << "\n" << Described();
    }

    struct SCompared {
        std::string stamp;
        std::string verdict;
    };

    const std::string m_seedContent = RandomBytes(kDataSize, 20261210);
    CWebSeed m_seed{m_seedContent};
    // The seed answers every path with the same bytes: the last file is
    // their beginning.
    const std::vector<SGameFile> m_files{{L"data.pak", m_seedContent},
                                         {L"readme.txt", m_seedContent.substr(0, kLastFileSize)}};
    std::vector<SCompared> m_compared = std::vector<SCompared>(2);
    TempDir m_cfg;
    std::wstring m_torrent;
    std::wstring m_stateFile;
    DLBT_DOWNLOADER m_downloader = nullptr;
    std::vector<std::string> m_trail;
    bool m_identical = false;
    bool m_claimedFalsely = false;
    bool m_reported = false;
};

// The drive fills up with one piece still to write. Once there is room, a
// pause and a resume complete the game; the next start of the program,
// which finds the last file cut short, completes it again from the state
// file rather than taking the state file's word.
TEST_F(IntegrityTest, ADriveFullBeforeTheLastPieceNeverShowsTheGameCompleteAndCompletesOnceThereIsRoom)
{
    ASSERT_TRUE(lying_drive::Arm("full", "enospc write after=" +
                                             std::to_string(kGameSize - kLastFileSize) +
                                             " times=forever free"));
    Start();
    ASSERT_TRUE(WaitUntilSettled("full")) << Described();
    ExpectFired("full");

    PauseAndResume("full");
    EXPECT_TRUE(WaitForCompletion()) << "after room was made and the download resumed\n" << Described();

    Release();
    {
        CUniqueHandle last(::CreateFileW((std::wstring(kFolder) + L"\\Game\\readme.txt").c_str(), GENERIC_WRITE,
                                         0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(last.Valid());
        ASSERT_NE(::SetFilePointer(last.Get(), kLastFileSize / 2, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
        ASSERT_TRUE(::SetEndOfFile(last.Get()));
    }
    Start();
    EXPECT_TRUE(WaitForCompletion()) << "started again from the state file, the last file cut short\n"
                                     << Described();
}

// The drive cannot extend the new last file: its first write fails.
TEST_F(IntegrityTest, ALastFileTheDriveCannotExtendIsWrittenOnceThereIsRoom)
{
    ASSERT_TRUE(lying_drive::Arm("extend", std::string("enospc grow new times=forever path=") + kLastFileRule));
    Start();
    ASSERT_TRUE(WaitUntilSettled("extend")) << Described();
    ExpectFired("extend");

    PauseAndResume("extend");
    EXPECT_TRUE(WaitForCompletion()) << "after room was made and the download resumed\n" << Described();
}

// One write in the middle of the game fails with an I/O error (a piece is
// one write).
TEST_F(IntegrityTest, AWriteThatFailsInTheMiddleIsWrittenAgain)
{
    ASSERT_TRUE(lying_drive::Arm("broken", std::string("eio write nth=") + std::to_string(kPieceCount / 2) +
                                               " path=" + kDataRule));
    Start();
    ASSERT_TRUE(WaitUntilSettled("broken")) << Described();
    EXPECT_EQ(lying_drive::Fired("broken"), 1) << Described();
    if (!m_identical) {
        PauseAndResume();
        EXPECT_TRUE(WaitForCompletion()) << "after the download was paused and resumed\n" << Described();
    }
}

// The drive fills up halfway; the player makes room and resumes, and the
// check of what is on the drive meets an I/O error on a read.
TEST_F(IntegrityTest, AReadThatFailsInTheCheckAfterAResumeLeavesNothingClaimed)
{
    ASSERT_TRUE(lying_drive::Arm("full", "enospc write after=" + std::to_string(kDataSize / 2) +
                                             " times=forever free"));
    Start();
    ASSERT_TRUE(WaitUntilSettled("full")) << Described();
    ExpectFired("full");

    Kernel().Pause(m_downloader);
    ASSERT_TRUE(lying_drive::Arm("unreadable", std::string("eio read path=") + kDataRule));
    ASSERT_TRUE(lying_drive::Disarm("full"));
    Kernel().Resume(m_downloader);
    ASSERT_TRUE(WaitUntilSettled("unreadable")) << "the check after the resume never read data.pak from the drive\n"
                                                << Described();
    ExpectFired("unreadable");
    if (!m_identical) {
        PauseAndResume();
        EXPECT_TRUE(WaitForCompletion()) << "after the download was paused and resumed again\n" << Described();
    }
}

// Every write to the drive writes fewer bytes than asked.
TEST_F(IntegrityTest, WritesThatComeBackShortStillWriteTheWholeGame)
{
    ASSERT_TRUE(lying_drive::Arm("short", "short write times=forever"));
    Start();
    EXPECT_TRUE(WaitForCompletion()) << Described();
    ExpectFired("short", kPieceCount);
}

// Each piece reaches the drive in one write once it is verified: no block
// of 16 KiB on its own, no piece twice, no byte written to extend a file;
// and once the game is complete nothing of it is left in memory.
TEST_F(IntegrityTest, EveryPieceReachesTheDriveInOneWriteOnceVerified)
{
    Start();
    ASSERT_TRUE(WaitForCompletion()) << Described();
    EXPECT_EQ(lying_drive::Count("writes"), static_cast<uint64_t>(kPieceCount)) << Described();
    EXPECT_EQ(lying_drive::Count("written"), kGameSize) << Described();
    DLBT_KERNEL_INFO kernel{};
    ASSERT_TRUE(Kernel().GetKernelInfo(&kernel));
    EXPECT_EQ(kernel.diskBufferedBytes, 0u);
    EXPECT_EQ(kernel.diskPiecesInFlight, 0u);
}

// A seed that sends wrong bytes in every piece: each piece fails its check
// in memory and none reaches the drive.
TEST_F(IntegrityTest, PiecesThatFailTheirCheckNeverReachTheDrive)
{
    std::string wrong = m_seedContent;
    for (size_t at = 0; at < wrong.size(); at += kPieceSize)
        wrong[at] = static_cast<char>(wrong[at] ^ 0x5A);
    CWebSeed liar(wrong);
    m_downloader = Kernel().Initialize(m_torrent.c_str(), kFolder, m_stateFile.c_str(), 1, FALSE, FALSE, nullptr,
                                       nullptr, 0, 0);
    ASSERT_NE(m_downloader, nullptr);
    Kernel().AddHttpDownload(m_downloader, liar.Url().c_str());
    ASSERT_TRUE(WaitFor([&] { return liar.Served() >= kGameSize; }, 60s)) << Described();
    EXPECT_EQ(lying_drive::Count("written"), 0u) << Described();
    EXPECT_EQ(Kernel().Info(m_downloader).piecesDone, 0) << Described();
}

} // namespace
