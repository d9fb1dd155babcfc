// HTTPS for real: the local swarm's nginx serves the seed, the tracker and
// the download description over TLS with a certificate of a test authority
// that the test prefix trusts while these tests run (a fixture), and the
// same with a certificate of an authority nobody trusts. Both fetch paths
// and the kernel must take the first and refuse the second.
#include "kernel/KernelApi.h"
#include "kernel/Swarm.h"

#include "net/AsyncGetHttpFile.h"
#include "net/UrlClient.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

const char kDescription[] = "{\"torrentUrl\":\"https://127.0.0.1/game.torrent\",\"ver\":\"1.0\"}";

Swarm g_swarm;
KernelApi g_kernel;

class HttpsEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(g_swarm.Load()) << "the swarm fixture has not run";
        ASSERT_TRUE(g_swarm.PutFile("server.cfg", kDescription));
        ASSERT_TRUE(g_kernel.StartAsTheProgramDoes(29520));
    }
    void TearDown() override { g_kernel.Stop(); }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new HttpsEnvironment);

bool FetchInBackground(const std::string& url, const std::wstring& path)
{
    CAsyncGetHttpFile fetch;
    const std::wstring wide(url.begin(), url.end());
    if (!fetch.Start(wide.c_str(), path.c_str()))
        return false;
    EXPECT_TRUE(WaitFor([&] { return fetch.ReadOutcome().finished; }, 60s));
    return fetch.ReadOutcome().succeeded;
}

// A download into a fresh folder; one torrent can be in the kernel once.
struct Download {
    explicit Download(const char* torrent)
    {
        handle = g_kernel.Initialize(g_swarm.TorrentPath(torrent).c_str(), folder.Path().c_str(), L"", 1, FALSE,
                                     FALSE, nullptr, nullptr, 1, 0);
    }
    ~Download()
    {
        if (handle)
            g_kernel.Release(handle, 0);
    }
    bool Complete() const { return IsDone(g_kernel.Info(handle).state); }

    TempDir folder;
    DLBT_DOWNLOADER handle = nullptr;
};

} // namespace

TEST(Https, BothFetchPathsTakeTheDescriptionFromATrustedServerAndRefuseAnother)
{
    TempDir folder;
    for (const std::string& server : {g_swarm.HttpsSeed(), g_swarm.RogueSeed()}) {
        SCOPED_TRACE(server);
        const bool trusted = server == g_swarm.HttpsSeed();
        const std::string url = server + "files/server.cfg";
        const std::wstring blocking = trusted ? L"blocking-good.cfg" : L"blocking-rogue.cfg";
        DownloadUrlToFile(url, folder.File(blocking));
        EXPECT_EQ(folder.Read(blocking), trusted ? kDescription : "");

        const std::wstring background = trusted ? L"background-good.cfg" : L"background-rogue.cfg";
        EXPECT_EQ(FetchInBackground(url, folder.File(background)), trusted);
        EXPECT_EQ(folder.Read(background), trusted ? kDescription : "");
    }
}

TEST(Https, TheKernelCompletesFromAnHttpsSeedAndThroughAnHttpsTrackerButTakesNothingFromAnUntrustedSeed)
{
    Download fromSeed("multi"), fromTracker("single"), fromRogue("upload");
    ASSERT_TRUE(fromSeed.handle && fromTracker.handle && fromRogue.handle);
    g_kernel.AddHttpDownload(fromSeed.handle, g_swarm.HttpsSeed().c_str());
    g_kernel.AddTracker(fromTracker.handle, g_swarm.HttpsTracker().c_str(), 0);
    g_kernel.AddHttpDownload(fromRogue.handle, g_swarm.RogueSeed().c_str());

    EXPECT_TRUE(WaitFor([&] { return fromSeed.Complete(); }, 120s)) << "nothing from the HTTPS seed";
    EXPECT_TRUE(WaitFor([&] { return fromTracker.Complete(); }, 120s)) << "no peer through the HTTPS tracker";
    EXPECT_EQ(fromSeed.folder.Read(L"KorvaneGame\\data\\pack1.dat"), g_swarm.SeedFile("KorvaneGame/data/pack1.dat"));
    EXPECT_EQ(fromTracker.folder.Read(L"korvane_patch.bin"), g_swarm.SeedFile("korvane_patch.bin"));
    EXPECT_EQ(g_kernel.Info(fromRogue.handle).downloaded, 0u) << "the untrusted seed was used";
}
