#include "net/UrlClient.h"

#include "net/AsyncGetHttpFile.h"

#include "http/TestServer.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "util/TextConvert.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>

namespace {

// What a call printed on standard output.
template <typename Call>
std::string Printed(Call call)
{
    testing::internal::CaptureStdout();
    call();
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(UrlClient, TakesAUrlApart)
{
    struct {
        const char* url;
        const char* scheme;
        const char* host;
        const char* path;
    } const cases[] = {
        {"http://127.0.0.1:8701/qorn/QornClient/server.cfg", "http", "127.0.0.1:8701",
         "/qorn/QornClient/server.cfg"},
        {"http://report.example/events/qorn_download_tracka?a=1,2&b", "http", "report.example",
         "/events/qorn_download_tracka?a=1,2&b"},
        {"http://host.example", "http", "host.example", ""},
        {"http:///nohost", "http", "", ""},
        {"127.0.0.1/server.cfg", "", "", ""},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetUrlScheme(c.url), c.scheme) << c.url;
        EXPECT_EQ(GetUrlHost(c.url), c.host) << c.url;
        EXPECT_EQ(GetUrlPath(c.url), c.path) << c.url;
    }
}

TEST(UrlClient, DownloadReplacesTheFileOnlyOnOk)
{
    TempDir dir;
    dir.Write(L"server.cfg", "old");
    for (const char* path : {"/status/404", "/redirect-to-404", "/bytes/x?size=10&status=206",
                             "/status/500"}) {
        EXPECT_EQ(Printed([&] { DownloadUrlToFile(TestServerUrl(path), dir.File(L"server.cfg")); }),
                  "")
            << path;
        EXPECT_EQ(dir.Read(L"server.cfg"), "old") << path;
    }
    DownloadUrlToFile(TestServerUrl("/chunked/x?size=9000"), dir.File(L"server.cfg"));
    EXPECT_EQ(dir.Read(L"server.cfg"), ServerPattern(9000));
}

TEST(UrlClient, FailedTransfersPrintTheFailureLineAndKeepTheFile)
{
    TempDir dir;
    dir.Write(L"game.torrent", "old");
    const std::string unused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/x";
    const std::string truncated = TestServerUrl("/truncated?size=5000&send=100");
    const std::string cases[] = {unused, truncated, "no-scheme/x", "https://127.0.0.1/x",
                                 "http://127.0.0.1:99999999999/x"};
    for (const std::string& url : cases) {
        const std::string printed =
            Printed([&] { DownloadUrlToFile(url, dir.File(L"game.torrent")); });
        EXPECT_EQ(printed.rfind("url connect failed! error = ", 0), 0u) << url << ": " << printed;
        EXPECT_EQ(dir.Read(L"game.torrent"), "old") << url;
    }
    EXPECT_EQ(Printed([&] { DownloadUrlToFile(unused, dir.File(L"game.torrent")); }),
              "url connect failed! error = 2\n");
}

TEST(UrlClient, DownloadIntoAFolderNamedOutsideTheAnsiCodePage)
{
    TempDir dir;
    const std::wstring folder = dir.File(L"\uD55C\uAE00\u0151");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    DownloadUrlToFile(TestServerUrl("/bytes/x?size=2000"), folder + L"\\game.torrent");
    std::ifstream in((folder + L"\\game.torrent").c_str(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              ServerPattern(2000));
}

TEST(UrlClient, DownloadIntoAMissingFolderPrintsTheOpenError)
{
    TempDir dir;
    EXPECT_EQ(Printed([&] {
                  DownloadUrlToFile(TestServerUrl("/bytes/x?size=20"), dir.File(L"no\\such.cfg"));
              }),
              "open file error!\n");
}

TEST(UrlClient, RequestSendsTheQueryEncodedAndDropsTheBody)
{
    const std::string token = "report-" + std::to_string(::GetCurrentProcessId());
    const std::string path = "/record/" + token + "?ver=1.0&list=a,b c";
    EXPECT_EQ(Printed([&] { RequestUrl(TestServerUrl(path)); }), "url connect success!\n");
    EXPECT_EQ(AskTestServer("/seen/" + token), "/record/" + token + "?ver=1.0&list=a%2Cb%20c");
    EXPECT_EQ(Printed([&] { RequestUrl(TestServerUrl("/status/404")); }), "");
}

TEST(UrlClient, ConcurrentWritersOfOneFileLeaveOneWholeBody)
{
    TempDir dir;
    const std::wstring path = dir.File(L"server.cfg");
    const std::string fetched = ServerPattern(300000, 1);
    const std::string downloaded = ServerPattern(200000, 2);
    for (int round = 0; round < 3; ++round) {
        CAsyncGetHttpFile fetcher;
        ASSERT_TRUE(fetcher.Start(AnsiToWide(TestServerUrl("/bytes/x?size=300000&seed=1")).c_str(),
                                  path.c_str()));
        DownloadUrlToFile(TestServerUrl("/bytes/x?size=200000&seed=2"), path);
        ASSERT_TRUE(WaitFor([&] { return fetcher.ReadOutcome().finished; }));
        const std::string onDisk = dir.Read(L"server.cfg");
        EXPECT_TRUE(onDisk == fetched || onDisk == downloaded) << onDisk.size() << " bytes";
    }
}
