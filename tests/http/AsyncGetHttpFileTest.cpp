#include "net/AsyncGetHttpFile.h"

#include "http/TestServer.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "util/TextConvert.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::wstring Url(const std::string& path) { return AnsiToWide(TestServerUrl(path)); }

bool WaitUntilFinished(CAsyncGetHttpFile& fetcher)
{
    return WaitFor([&] { return fetcher.ReadOutcome().finished; }, 60s);
}

// Runs one fetch to its end; true when it succeeded.
bool Fetch(CAsyncGetHttpFile& fetcher, const std::string& path, const std::wstring& destination)
{
    EXPECT_TRUE(fetcher.Start(Url(path).c_str(), destination.c_str()));
    EXPECT_TRUE(WaitUntilFinished(fetcher));
    return fetcher.ReadOutcome().succeeded;
}

std::string BodyOf(const CAsyncGetHttpFile& fetcher)
{
    return std::string(fetcher.Body().begin(), fetcher.Body().end());
}

std::string ReadFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int FilesIn(const TempDir& dir)
{
    int count = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((dir.Path() + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        count += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return count;
}

// The handles this process has open, as the system's handle table lists
// them (Wine does not count them for GetProcessHandleCount).
DWORD OpenHandleCount()
{
    struct Entry {
        USHORT process;
        USHORT creatorBackTrace;
        UCHAR type;
        UCHAR attributes;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    constexpr ULONG kSystemHandleInformation = 16;
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    std::vector<char> buffer(4 << 20);
    ULONG length = 0;
    if (!query || query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                        &length) != 0)
        return 0;
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    const auto self = static_cast<USHORT>(::GetCurrentProcessId());
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i)
        count += table->entries[i].process == self;
    return count;
}

} // namespace

TEST(AsyncGetHttpFile, AcceptsOkAndPartialContentAskingFromByteZero)
{
    TempDir dir;
    CAsyncGetHttpFile echo;
    ASSERT_TRUE(Fetch(echo, "/echo/range", L""));
    EXPECT_NE(BodyOf(echo).find("range=bytes=0-\n"), std::string::npos) << BodyOf(echo);

    CAsyncGetHttpFile whole;
    ASSERT_TRUE(Fetch(whole, "/bytes/torrent?size=3000", dir.File(L"whole.bin")));
    EXPECT_EQ(dir.Read(L"whole.bin"), ServerPattern(3000));
    // A second run without a path writes to the first run's destination.
    // Its worker may still be ending after it set the flags: Start is refused
    // until then.
    ASSERT_TRUE(WaitFor(
        [&] { return whole.Start(Url("/bytes/torrent?size=1000&seed=7").c_str(), nullptr); }));
    ASSERT_TRUE(WaitUntilFinished(whole));
    EXPECT_TRUE(whole.ReadOutcome().succeeded);
    EXPECT_EQ(dir.Read(L"whole.bin"), ServerPattern(1000, 7));

    CAsyncGetHttpFile partial;
    ASSERT_TRUE(Fetch(partial, "/bytes/torrent?size=2500&status=206", dir.File(L"partial.bin")));
    EXPECT_EQ(dir.Read(L"partial.bin"), ServerPattern(2500));
}

TEST(AsyncGetHttpFile, FailuresLeaveTheDestinationAlone)
{
    TempDir dir;
    dir.Write(L"server.cfg", "old");
    const struct {
        const char* path;
        DWORD maxBodyBytes;
    } cases[] = {
        {"/status/404", 20000},
        {"/status/500", 20000},
        {"/redirect-to-404", 20000},
        {"/empty", 20000},
        {"/truncated?size=5000&send=3000", 20000},
        {"/chunked/x?size=20001", 20000},
        {"/bytes/x?size=20001", 20000},
    };
    for (const auto& c : cases) {
        CAsyncGetHttpFile fetcher(c.maxBodyBytes);
        EXPECT_FALSE(Fetch(fetcher, c.path, dir.File(L"server.cfg"))) << c.path;
        EXPECT_EQ(dir.Read(L"server.cfg"), "old") << c.path;
    }
    EXPECT_EQ(FilesIn(dir), 1) << "no temporary file may stay behind";
}

TEST(AsyncGetHttpFile, ReadsABodyWithoutContentLengthToItsEnd)
{
    TempDir dir;
    CAsyncGetHttpFile fetcher;
    ASSERT_TRUE(Fetch(fetcher, "/chunked/game.torrent?size=10000", dir.File(L"game.torrent")));
    EXPECT_EQ(dir.Read(L"game.torrent"), ServerPattern(10000));

    CAsyncGetHttpFile bounded(20000);
    ASSERT_TRUE(Fetch(bounded, "/chunked/game.torrent?size=20000", dir.File(L"game.torrent")));
    EXPECT_EQ(dir.Read(L"game.torrent"), ServerPattern(20000));
}

TEST(AsyncGetHttpFile, EmptyDestinationKeepsTheBodyInMemoryOnly)
{
    TempDir dir;
    CurrentDirScope inside(dir.Path());
    CAsyncGetHttpFile fetcher;
    ASSERT_TRUE(Fetch(fetcher, "/bytes/report?size=1500", L""));
    EXPECT_EQ(BodyOf(fetcher), ServerPattern(1500));
    EXPECT_EQ(FilesIn(dir), 0);
}

TEST(AsyncGetHttpFile, DestinationWithoutFolderIsRelativeToTheCurrentFolder)
{
    TempDir dir;
    CurrentDirScope inside(dir.Path());
    CAsyncGetHttpFile fetcher;
    ASSERT_TRUE(Fetch(fetcher, "/bytes/x?size=10", L"plain.bin"));
    EXPECT_EQ(dir.Read(L"plain.bin"), ServerPattern(10));
}

TEST(AsyncGetHttpFile, CreatesMissingFoldersNamedOutsideTheAnsiCodePage)
{
    TempDir dir;
    // Hangul and a Latin-2 letter: code page 936 has neither.
    const std::wstring folder = dir.File(L"\uD55C\uAE00\u0151");
    const std::wstring path = folder + L"\\cfg\\server.cfg";
    CAsyncGetHttpFile fetcher;
    ASSERT_TRUE(Fetch(fetcher, "/bytes/cfg?size=700", path));
    EXPECT_EQ(ReadFile(path), ServerPattern(700));
}

TEST(AsyncGetHttpFile, CutsUrlAndPathAt1023Characters)
{
    const std::string prefix = TestServerUrl("/echo/");
    const std::string url = prefix + std::string(1500 - prefix.size(), 'a');
    CAsyncGetHttpFile fetcher;
    ASSERT_TRUE(fetcher.Start(AnsiToWide(url).c_str(), std::wstring(1500, L'p').c_str()));
    EXPECT_EQ(std::wstring(fetcher.Url()), AnsiToWide(url.substr(0, 1023)));
    EXPECT_EQ(std::wstring(fetcher.DestinationPath()).size(), 1023u);
    ASSERT_TRUE(WaitUntilFinished(fetcher));
    // The file name is too long to be made, but the server saw the cut address.
    EXPECT_FALSE(fetcher.ReadOutcome().succeeded);
    const size_t hostLength = TestServerUrl("").size();
    EXPECT_NE(BodyOf(fetcher).find("path=" + url.substr(hostLength, 1023 - hostLength) + "\n"),
              std::string::npos);
}

TEST(AsyncGetHttpFile, ReportsAcceptanceProgressInKilobyteStepsAndTheEnd)
{
    struct CRecordingFetcher : CAsyncGetHttpFile {
        ~CRecordingFetcher() override { Shutdown(); }
        BOOL OnStatus(LONG code) override
        {
            codes.push_back(code);
            return TRUE;
        }
        std::vector<LONG> codes;
    } fetcher;
    ASSERT_TRUE(Fetch(fetcher, "/bytes/x?size=4096", L""));
    ASSERT_GE(fetcher.codes.size(), 6u); // accepted, at least 4 reads, done
    EXPECT_EQ(fetcher.codes.front(), 3);
    EXPECT_EQ(fetcher.codes.back(), 1);
    EXPECT_EQ(fetcher.codes[fetcher.codes.size() - 2], 100 << 16 | 2);
    for (size_t i = 1; i + 1 < fetcher.codes.size(); ++i)
        EXPECT_EQ(fetcher.codes[i] & 0xFFFF, 2);
}

TEST(AsyncGetHttpFile, RefusesAStartWhileTheRunIsUnderWay)
{
    CAsyncGetHttpFile fetcher;
    ASSERT_TRUE(fetcher.Start(Url("/slow?size=4000&piece=100&delay_ms=200").c_str(), L""));
    EXPECT_FALSE(fetcher.Start(Url("/bytes/x?size=10").c_str(), L""));
    EXPECT_FALSE(fetcher.ReadOutcome().finished);
}

TEST(AsyncGetHttpFile, DestroyedInTheMiddleOfASlowTransferReturnsAtOnceAndLeaksNothing)
{
    {
        CAsyncGetHttpFile warmUp; // WinINet keeps some handles of its own
        ASSERT_TRUE(Fetch(warmUp, "/bytes/x?size=10", L""));
    }
    const DWORD before = OpenHandleCount();
    for (int round = 0; round < 3; ++round) {
        struct CWatchedFetcher : CAsyncGetHttpFile {
            ~CWatchedFetcher() override { Shutdown(); }
            BOOL OnStatus(LONG code) override
            {
                reads += (code & 0xFFFF) == 2;
                return TRUE;
            }
            std::atomic<int> reads{0};
        };
        auto fetcher = std::make_unique<CWatchedFetcher>();
        ASSERT_TRUE(fetcher->Start(Url("/slow?size=100000&piece=200&delay_ms=150").c_str(), L""));
        ASSERT_TRUE(WaitFor([&] { return fetcher->reads > 0; }, 30s));
        const DWORD started = ::GetTickCount();
        fetcher.reset();
        EXPECT_LT(::GetTickCount() - started, 2000u);
    }
    // Each leaked fetch would keep four events and two threads.
    EXPECT_TRUE(WaitFor([&] { return OpenHandleCount() <= before + 3; }, 30s))
        << before << " handles before, " << OpenHandleCount() << " after";
}
