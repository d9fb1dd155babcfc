// What the program asks of the kernel, and in which order, observed through
// a function table of recording stand-ins: the real kernel cannot tell.
#include "engine/KernelCalls.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_calls;
UINT g_connectionLimit = 0;
BOOL g_limitChanged = TRUE;
int g_fileCount = 4;
int g_handles = 0;

std::string Narrow(LPCWSTR text)
{
    std::string narrow;
    for (; text && *text; ++text)
        narrow += *text < 128 ? static_cast<char>(*text) : '?';
    return text ? narrow : "(null)";
}

void Log(const std::string& call) { g_calls.push_back(call); }

UINT WINAPI FakeGetCurrentXPLimit() { return g_connectionLimit; }
BOOL WINAPI FakeChangeXPConnectionLimit(UINT limit)
{
    Log("ChangeXPConnectionLimit " + std::to_string(limit));
    return g_limitChanged;
}
BOOL WINAPI FakeStartup(const DLBT_START_PARAMS* p, const void*, int)
{
    Log("Startup " + std::to_string(p->tcp) + std::to_string(p->utp) + std::to_string(p->peerExchange) +
        std::to_string(p->dht) + std::to_string(p->localDiscovery) + " " + std::to_string(p->firstPort) + "-" +
        std::to_string(p->lastPort));
    return TRUE;
}
void WINAPI FakeDownLimit(int bytes) { Log("Down " + std::to_string(bytes)); }
void WINAPI FakeUpLimit(int bytes) { Log("Up " + std::to_string(bytes)); }
void WINAPI FakeLocalLimit(BOOL on, int down, int up)
{
    Log("Local " + std::to_string(on) + " " + std::to_string(down) + " " + std::to_string(up));
}
DLBT_DOWNLOADER WINAPI FakeInitialize(LPCWSTR torrent, LPCWSTR folder, LPCWSTR state, int sparse, BOOL paused,
                                      BOOL seedOnly, const void* reserved, LPCWSTR root, BOOL useRoot, int flags)
{
    Log("Initialize " + Narrow(torrent) + " " + Narrow(folder) + " " + Narrow(state) + " " +
        std::to_string(sparse) + std::to_string(paused) + std::to_string(seedOnly) + (reserved ? "x" : "0") +
        " " + Narrow(root) + " " + std::to_string(useRoot) + std::to_string(flags));
    return reinterpret_cast<DLBT_DOWNLOADER>(static_cast<intptr_t>(++g_handles));
}
int WINAPI FakeFileCount(DLBT_DOWNLOADER) { return g_fileCount; }
void WINAPI FakeRelease(DLBT_DOWNLOADER d, int) { Log("Release " + std::to_string(reinterpret_cast<intptr_t>(d))); }
BOOL WINAPI FakeMaxSession(DLBT_DOWNLOADER, int n)
{
    Log("MaxSessionPerHttp " + std::to_string(n));
    return TRUE;
}
BOOL WINAPI FakeAddTracker(DLBT_DOWNLOADER, LPCSTR url, int tier)
{
    Log(std::string("Tracker ") + url + " " + std::to_string(tier));
    return TRUE;
}
BOOL WINAPI FakeAddSeed(DLBT_DOWNLOADER, LPCSTR url)
{
    Log(std::string("Seed ") + url);
    return TRUE;
}
int WINAPI FakeFilePath(DLBT_DOWNLOADER, int index, wchar_t* buffer, int* size, BOOL)
{
    Log("FilePath " + std::to_string(index) + " " + std::to_string(*size));
    wcscpy(buffer, L"Korvane\\bin\\game.exe");
    return DLBT_OK;
}
void WINAPI FakePreShutdown() { Log("PreShutdown"); }
void WINAPI FakeShutdown() { Log("Shutdown"); }

class KernelCallsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_connectionLimit = 0;
        g_limitChanged = TRUE;
        g_fileCount = 4;
        g_handles = 0;
        SDlbtFunctions& f = m_kernel.m_functions;
        f.DLBT_GetCurrentXPLimit = FakeGetCurrentXPLimit;
        f.DLBT_ChangeXPConnectionLimit = FakeChangeXPConnectionLimit;
        f.DLBT_Startup = FakeStartup;
        f.DLBT_SetDownloadSpeedLimit = FakeDownLimit;
        f.DLBT_SetUploadSpeedLimit = FakeUpLimit;
        f.DLBT_SetLocalNetworkLimit = FakeLocalLimit;
        f.DLBT_Downloader_Initialize = FakeInitialize;
        f.DLBT_Downloader_GetFileCount = FakeFileCount;
        f.DLBT_Downloader_Release = FakeRelease;
        f.DLBT_Downloader_SetMaxSessionPerHttp = FakeMaxSession;
        f.DLBT_Downloader_AddTracker = FakeAddTracker;
        f.DLBT_Downloader_AddHttpDownload = FakeAddSeed;
        f.DLBT_Downloader_GetFilePathName = FakeFilePath;
        f.DLBT_PreShutdown = FakePreShutdown;
        f.DLBT_Shutdown = FakeShutdown;
        m_kernel.m_resolved = true;
    }

    SDownloaderSetup Setup() const
    {
        SDownloaderSetup setup;
        setup.torrentPath = L"C:\\cfg\\korvane.torrent";
        setup.downloadDir = L"D:\\Games\\";
        setup.rootName = L"Korvane";
        setup.userFolder = L"D:\\Games\\Korvane\\";
        setup.downLimitKBps = 250;
        setup.upLimitKBps = 40;
        setup.trackers = {"http://t1/announce|http://t2/announce", "udp://t3:80", "||"};
        setup.httpSeeds = {"http://seed1/", "http://seed2/"};
        return setup;
    }

    CDlbtModule m_kernel{L"C:\\unused\\"};
};

TEST_F(KernelCallsTest, StartListensOnTheConfiguredPortAndTheTenAboveItWrappingPast65535)
{
    EXPECT_FALSE(StartKernel(m_kernel, 9310));
    EXPECT_FALSE(StartKernel(m_kernel, static_cast<int16_t>(-6))); // 65530
    EXPECT_EQ(g_calls, (std::vector<std::string>{"Startup 11100 9310-9320", "Startup 11100 65530-4"}));
    EXPECT_TRUE(m_kernel.m_started);
}

TEST_F(KernelCallsTest, ALowConnectionLimitIsRaisedAndThePlayerToldOnlyWhenItChanged)
{
    for (UINT limit : {0u, 256u, 300u}) {
        g_connectionLimit = limit;
        EXPECT_FALSE(StartKernel(m_kernel, 9310)) << limit;
    }

    g_connectionLimit = 10;
    g_limitChanged = FALSE;
    EXPECT_FALSE(StartKernel(m_kernel, 9310));

    g_limitChanged = TRUE;
    g_calls.clear();
    EXPECT_TRUE(StartKernel(m_kernel, 9310));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"ChangeXPConnectionLimit 256", "Startup 11100 9310-9320"}));
    EXPECT_EQ(RestartNoticeText().rfind(L"Korvane下载器检测到", 0), 0u) << "the program's name opens the notice";
}

TEST_F(KernelCallsTest, DownloaderIsSetUpInTheKernelsOrderWithTrackersByTier)
{
    m_kernel.m_started = true;
    const SDownloader downloader = SetUpDownloader(m_kernel, Setup());
    EXPECT_EQ(g_calls, (std::vector<std::string>{
                           "Initialize C:\\cfg\\korvane.torrent D:\\Games\\ C:\\cfg\\korvane.torrent.dlbt 1000 "
                           "Korvane 10",
                           "MaxSessionPerHttp 12",
                           "Down 256000",
                           "Up 40960",
                           "Local 1 256000 40960",
                           "Tracker http://t1/announce 0",
                           "Tracker http://t2/announce 0",
                           "Tracker udp://t3:80 1",
                           "Seed http://seed1/",
                           "Seed http://seed2/",
                           "FilePath 0 260",
                       }));
    EXPECT_NE(downloader.handle, nullptr);
    EXPECT_FALSE(downloader.singleFile);
    EXPECT_EQ(downloader.downloadDir, L"D:\\Games\\");
    EXPECT_EQ(downloader.firstFilePath, L"Korvane\\bin\\game.exe");
}

TEST_F(KernelCallsTest, ASingleFileGoesStraightIntoThePlayersFolderAndLimitsWaitForTheStart)
{
    g_fileCount = 1;
    const SDownloader downloader = SetUpDownloader(m_kernel, Setup());
    ASSERT_GE(g_calls.size(), 3u);
    EXPECT_EQ(g_calls[1], "Release 1");
    EXPECT_EQ(g_calls[2], "Initialize C:\\cfg\\korvane.torrent D:\\Games\\Korvane\\ "
                          "C:\\cfg\\korvane.torrent.dlbt 1000 (null) 00");
    EXPECT_EQ(g_calls[3], "MaxSessionPerHttp 12");
    EXPECT_EQ(g_calls[4], "Tracker http://t1/announce 0") << "no limits before the kernel is started";
    EXPECT_TRUE(downloader.singleFile);
    EXPECT_EQ(downloader.downloadDir, L"D:\\Games\\Korvane\\");
}

TEST_F(KernelCallsTest, HugeLimitsAreClampedAndMissingExportsFailOnlyTheirOperation)
{
    ApplyRateLimits(m_kernel, 2097152, 4294967295u);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"Down " + std::to_string(INT_MAX), "Up " + std::to_string(INT_MAX),
                                                 "Local 1 " + std::to_string(INT_MAX) + " " +
                                                     std::to_string(INT_MAX)}));

    m_kernel.m_functions = SDlbtFunctions();
    m_kernel.m_functions.DLBT_Startup = FakeStartup;
    g_calls.clear();
    StartKernel(m_kernel, 9310);
    EXPECT_EQ(SetUpDownloader(m_kernel, Setup()).handle, nullptr);
    ApplyRateLimits(m_kernel, 1, 1);
    DLBT_DOWNLOADER downloader = reinterpret_cast<DLBT_DOWNLOADER>(7);
    StopKernel(m_kernel, downloader);
    EXPECT_EQ(downloader, nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"Startup 11100 9310-9320"}));
}

TEST_F(KernelCallsTest, StopReleasesThenShutsDownAStartedKernel)
{
    DLBT_DOWNLOADER downloader = reinterpret_cast<DLBT_DOWNLOADER>(5);
    m_kernel.m_started = true;
    m_kernel.m_module = ::GetModuleHandleW(L"kernel32.dll");
    ::LoadLibraryW(L"kernel32.dll"); // Unload frees one reference
    StopKernel(m_kernel, downloader);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"Release 5", "PreShutdown", "Shutdown"}));
    EXPECT_FALSE(m_kernel.m_started);
    EXPECT_FALSE(m_kernel.m_resolved);
}

} // namespace
