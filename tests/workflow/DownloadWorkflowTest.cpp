// The download workflow from the configuration fetch to a completed game,
// driven as the main window drives it, against the tests' server and a
// scripted kernel.
#include "workflow/WorkflowFixture.h"

#include "support/ChildProcess.h"
#include "util/TextConvert.h"

#include <windows.h>

namespace {

using Calls = std::vector<std::string>;

const uint64_t kMiB = 1ull << 20;
const char kNewHash[] = "fedcba9876543210fedcba9876543210fedcba98";

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

class DownloadWorkflowTest : public WorkflowFixture {
protected:
    std::string GamesFolder() const { return Utf8(m_temp.Path() + L"\\games\\"); }
    std::wstring TorrentPath() const { return m_cfgDir + L"korvane.torrent"; }

    // Once started; before the start a failure leaves the workflow Ready.
    void ExpectFailure(const wchar_t* text, WorkflowState state = WorkflowState::Failed)
    {
        EXPECT_EQ(m_workflow->Line(), text);
        EXPECT_TRUE(m_settings.m_torrentUrl.empty()) << "the description is forgotten";
        EXPECT_FALSE(Exists(TorrentPath())) << "the torrent file is deleted";
        EXPECT_EQ(State(), state);
    }

    // A start after a failure fetches everything again and gets going.
    void ExpectRecoveryByStartingAgain()
    {
        ServeDescription(TorrentUrl());
        ServeTorrent();
        m_workflow->Start(m_folder);
        EXPECT_EQ(m_workflow->Line(), L"正在加载配置信息....");
        EXPECT_EQ(State(), WorkflowState::Preparing);
        PollUntilFetchesEnd();
        EXPECT_EQ(State(), WorkflowState::Downloading) << Utf8(m_workflow->Line());
    }
};

TEST_F(DownloadWorkflowTest, FirstRunFetchesBothFilesAtOnceAndInTheBackgroundThenDownloadsToCompletion)
{
    m_options.reportIp = L"10.1.2.3";
    ServeDescription(TorrentUrl());
    ServeTorrent();
    MakeWorkflow();

    m_workflow->LoadConfiguration();
    EXPECT_EQ(m_workflow->Line(), L"正在加载配置信息....");
    EXPECT_TRUE(Exists(m_settings.m_serverCfgPath)) << "fetched at once on a clean machine";
    ASSERT_TRUE(WaitFor([&] {
        m_workflow->Tick();
        return m_workflow->Line() != L"正在加载配置信息....";
    }));
    EXPECT_EQ(m_workflow->Line(), L"正在加载P2P信息....");
    EXPECT_TRUE(Exists(TorrentPath())) << "fetched at once as well";
    PollUntilFetchesEnd();
    EXPECT_EQ(FetchCount(ServerName("server.cfg")), 2);
    EXPECT_EQ(FetchCount(ServerName("korvane.torrent")), 2);
    EXPECT_EQ(m_kernel->TakeCalls(), (Calls{"ReportIP 10.1.2.3"})) << "ready, but nothing starts before the player";
    EXPECT_EQ(State(), WorkflowState::Ready);
    EXPECT_TRUE(m_states.empty());

    m_workflow->Start(m_temp.Path() + L"/games/Korvane//");
    EXPECT_EQ(m_settings.m_savePath, m_folder);
    CAppSetting saved(m_cfgDir);
    saved.LoadAll();
    EXPECT_EQ(saved.m_savePath, m_folder);
    // The address again before the start: a library loaded anew has to hear it too.
    EXPECT_EQ(m_kernel->TakeCalls(), (Calls{"ReportIP 10.1.2.3", "Startup 9310-9320",
                                            "Initialize " + GamesFolder() + " Korvane",
                                            "Down 0", "Up 0", "Tracker http://tracker.invalid/announce 0",
                                            "Seed http://seed.invalid/"}));
    EXPECT_TRUE(m_workflow->Line().empty());

    EXPECT_EQ(Refresh(Status(DLBT_STATE_INITIALISING, 0.0f, 0, 0, DLBT_UNKNOWN_SIZE)), L"初始化进度：0 B");
    EXPECT_EQ(Refresh(Status(DLBT_STATE_DOWNLOADING, 50.0f, 1024, 50 * kMiB, 100 * kMiB)),
              L"下载速度：1024 B/s    完成下载：50.0% [50.0 MB]       剩余时间: 14:13:20");
    EXPECT_EQ(m_workflow->Percent(), 50);
    m_now += 3 * 60000 + 59999;
    EXPECT_EQ(Refresh(Status(DLBT_STATE_COMPLETE, 100.0f, 0, 100 * kMiB, 100 * kMiB)), L"下载完成！");
    EXPECT_EQ(m_workflow->Percent(), 100);
    Refresh(Status(DLBT_STATE_SEEDING, 100.0f, 0, 100 * kMiB, 100 * kMiB));
    EXPECT_EQ(m_states, (std::vector<WorkflowState>{WorkflowState::Downloading, WorkflowState::Completed}))
        << "each state told once, as it came";

    // 100 per cent lies in the 70 band: its milestone reads like the finish.
    EXPECT_EQ(SettledReports(), Sorted({Query("start", "0", "0"), Query("finish", "0", "50"),
                                        Query("finish", "3", "100"), Query("finish", "3", "100")}));
    EXPECT_EQ(m_kernel->TakeCalls(), Calls{}) << "the downloader stays and seeds";
}

TEST_F(DownloadWorkflowTest, LaterRunRefreshesOnlyTheDescriptionAndStartsOnceItsFetchHasEnded)
{
    ServeDescription(TorrentUrl());
    m_temp.Write(L"cfg\\server.cfg", "{\"torrentUrl\":\"" + TorrentUrl() + "\",\"mainExe\":\"x.exe\"}");
    m_temp.Write(L"cfg\\korvane.torrent", "local copy");
    m_settings.LoadAll();
    MakeWorkflow();

    m_workflow->LoadConfiguration();
    m_workflow->Start(m_folder); // while the description is still being fetched
    EXPECT_EQ(State(), WorkflowState::Preparing);
    PollUntilFetchesEnd();
    EXPECT_EQ(State(), WorkflowState::Downloading);
    EXPECT_EQ(FetchCount(ServerName("server.cfg")), 1) << "only the background job";
    EXPECT_EQ(FetchCount(ServerName("korvane.torrent")), 0);
    EXPECT_EQ(m_temp.Read(L"cfg\\korvane.torrent"), "local copy");
    EXPECT_EQ(m_settings.m_mainExe, "bin\\game.exe") << "the fresh description was read";
}

// A server that answers with something that is no description (an error
// page behind a proxy, noise) fails the fetch: the player keeps the last good
// one, and with it the next start. Temporary files a killed run left in the
// folder are gone at the next start; other files stay.
TEST_F(DownloadWorkflowTest, AnAnswerThatIsNoDescriptionKeepsTheStoredOne)
{
    const std::string good = "{\"torrentUrl\":\"" + TorrentUrl() + "\",\"mainExe\":\"x.exe\"}";
    m_temp.Write(L"cfg\\server.cfg", good);
    m_temp.Write(L"cfg\\korvane.torrent", "local copy");
    m_temp.Write(L"cfg\\server.cfg.7-3.part", "left by a run that was killed");
    m_temp.Write(L"cfg\\notes.part", "not ours");
    ASSERT_TRUE(StoreOnCollector(ServerName("server.cfg"), "<html><body>502 Bad Gateway</body></html>"));
    m_settings.LoadAll();
    MakeWorkflow();

    m_workflow->LoadConfiguration();
    EXPECT_FALSE(Exists(m_cfgDir + L"server.cfg.7-3.part"));
    EXPECT_TRUE(Exists(m_cfgDir + L"notes.part"));
    m_workflow->Start(m_folder);
    PollUntilFetchesEnd();
    EXPECT_EQ(FetchCount(ServerName("server.cfg")), 3) << "refused as a failed fetch, and tried again";
    EXPECT_EQ(m_temp.Read(L"cfg\\server.cfg"), good);
    EXPECT_EQ(State(), WorkflowState::Downloading) << Utf8(m_workflow->Line());
}

TEST_F(DownloadWorkflowTest, MissingTorrentAddressFailsAndAStartFetchesTheDescriptionAgain)
{
    ServeDescription("");
    MakeWorkflow();
    m_workflow->LoadConfiguration();
    PollUntilFetchesEnd();
    ExpectFailure(L"加载游戏服务器信息时出错，请稍后重试！", WorkflowState::Ready);
    ExpectRecoveryByStartingAgain();
}

TEST_F(DownloadWorkflowTest, TorrentAddressEndingInASlashFailsOnEveryStartUntilMended)
{
    ServeDescription(CollectorUrl("/files/" + ServerName("")));
    MakeWorkflow();
    m_workflow->LoadConfiguration();
    PollUntilFetchesEnd();
    ExpectFailure(L"加载游戏服务器信息异常，请稍后重试！", WorkflowState::Ready);
    m_workflow->Start(m_folder);
    PollUntilFetchesEnd();
    ExpectFailure(L"加载游戏服务器信息异常，请稍后重试！");
    EXPECT_EQ(FetchCount(ServerName("server.cfg")), 3) << "each start fetches the description again";
    ExpectRecoveryByStartingAgain();
}

TEST_F(DownloadWorkflowTest, TorrentNameThatWouldLeaveTheConfigurationFolderIsRefused)
{
    for (const char* name : {"..\\..\\evil.torrent", "..", "C:evil.torrent"}) {
        SCOPED_TRACE(name);
        ServeDescription("http://127.0.0.1:1/files/" + std::string(name));
        MakeWorkflow();
        m_workflow->LoadConfiguration();
        PollUntilFetchesEnd();
        ExpectFailure(L"加载游戏服务器信息异常，请稍后重试！", WorkflowState::Ready);
    }
}

TEST_F(DownloadWorkflowTest, TorrentThatCannotBeFetchedFailsTheStart)
{
    ServeDescription(TorrentUrl("absent.torrent"));
    MakeWorkflow();
    m_workflow->LoadConfiguration();
    PollUntilFetchesEnd();
    m_workflow->Start(m_folder);
    ExpectFailure(L"加载P2P信息出错，请稍后重试！");
    EXPECT_EQ(m_kernel->TakeCalls(), Calls{}) << "no kernel started without a torrent";
    ExpectRecoveryByStartingAgain();
}

TEST_F(DownloadWorkflowTest, KernelLibraryThatCannotBeLoadedFailsTheStart)
{
    m_kernel.reset();
    ::DeleteFileW((m_cfgDir + L"DLBT.dll").c_str());
    FetchUntilReady();
    m_workflow->Start(m_folder);
    ExpectFailure(L"加载P2P模块出错....");

    m_kernel = std::make_unique<FakeKernel>(m_cfgDir);
    ExpectRecoveryByStartingAgain();
}

TEST_F(DownloadWorkflowTest, DownloaderTheKernelRefusesFailsTheStart)
{
    m_kernel->SetInitializeFails(true);
    FetchUntilReady();
    m_workflow->Start(m_folder);
    ExpectFailure(L"启动下载失败，请重试！");
    m_kernel->SetInitializeFails(false);
    ExpectRecoveryByStartingAgain();
}

TEST_F(DownloadWorkflowTest, LowConnectionLimitIsToldThroughTheWindowOnceTheKernelStarts)
{
    m_kernel->SetConnectionLimit(10);
    StartDownloading();
    EXPECT_EQ(m_restartsAdvised, 1);
    m_workflow->Start(m_folder);
    EXPECT_EQ(m_restartsAdvised, 1) << "the kernel is started once";
}

TEST_F(DownloadWorkflowTest, PauseBeforeTheDownloaderExistsHoldsItBackUntilTheResume)
{
    ServeDescription(TorrentUrl());
    ServeTorrent();
    MakeWorkflow();
    m_workflow->LoadConfiguration();
    m_workflow->Start(m_folder);
    m_workflow->Pause();
    PollUntilFetchesEnd();
    EXPECT_EQ(State(), WorkflowState::Paused);
    EXPECT_EQ(m_kernel->TakeCalls(), (Calls{"Startup 9310-9320"}));

    m_workflow->Resume(m_folder);
    EXPECT_EQ(State(), WorkflowState::Downloading);
    const Calls calls = m_kernel->TakeCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0], "Initialize " + GamesFolder() + " Korvane") << "no second kernel start";
}

TEST_F(DownloadWorkflowTest, ResumeIntoAnotherFolderRestartsTheKernelThere)
{
    StartDownloading();
    m_workflow->Pause();
    m_workflow->Resume(m_folder);
    EXPECT_EQ(m_kernel->TakeCalls().back(), "Resume 1");

    m_workflow->Pause();
    const std::wstring other = m_temp.Path() + L"\\other\\Korvane";
    m_workflow->Resume(other);
    const Calls calls = m_kernel->TakeCalls();
    ASSERT_GE(calls.size(), 6u);
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 6),
              (Calls{"Pause 1", "Release 1", "PreShutdown", "Shutdown", "Startup 9310-9320",
                     "Initialize " + Utf8(m_temp.Path()) + "\\other\\ Korvane"}));
    EXPECT_EQ(m_settings.m_savePath, other + L"\\");
    EXPECT_EQ(State(), WorkflowState::Downloading);
}

TEST_F(DownloadWorkflowTest, SingleFileLandsInThePlayersFolderAndAFolderWithoutParentIsGivenWhole)
{
    m_kernel->SetFiles(1, L"setup.exe");
    StartDownloading();
    const Calls calls = m_kernel->TakeCalls();
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(Calls(calls.begin() + 1, calls.begin() + 4),
              (Calls{"Initialize " + GamesFolder() + " Korvane", "Release 1",
                     "Initialize " + Utf8(m_folder) + " -"}));

    m_kernel->SetFiles(3, L"Korvane\\a.dat");
    m_workflow->Start(L"Q:\\");
    EXPECT_EQ(m_kernel->TakeCalls()[1], "Initialize Q:\\ -");
    m_workflow->Start(L"Korvane");
    EXPECT_EQ(m_kernel->TakeCalls()[1], "Initialize Korvane\\ -");
}

TEST_F(DownloadWorkflowTest, ErrorStateShowsTheKernelsText)
{
    StartDownloading();
    m_kernel->SetLastError("\xd0\xb4\xc8\xeb\xca\xa7\xb0\xdc"); // 写入失败 in code page 936
    EXPECT_EQ(Refresh(Status(DLBT_STATE_ERROR, 10.0f, 0, 2048, 1 << 20)),
              L"出错: 写入失败下载速度：0 B/s    完成下载：10.0% [2 KB]    ");
}

TEST_F(DownloadWorkflowTest, TooLittleSpacePausesOnceEachTimeTheDownloadRunsAgain)
{
    StartDownloading();
    const auto huge = Status(DLBT_STATE_DOWNLOADING, 1.0f, 1000, 0, 1ull << 60);
    Refresh(huge);
    Refresh(huge);
    ASSERT_EQ(m_shortages.size(), 1u);
    EXPECT_EQ(m_shortages[0].second, 1ull << 60) << "the game's size, for the warning";
    EXPECT_GT(m_shortages[0].first, (1ull << 60) - (1ull << 50)) << "nearly all of it is missing";
    EXPECT_EQ(State(), WorkflowState::Paused);
    EXPECT_EQ(m_states.back(), WorkflowState::Paused) << "told before the shortage";
    EXPECT_EQ(m_kernel->TakeCalls().back(), "Pause 1");

    Refresh(Status(DLBT_STATE_PAUSED, 1.0f, 0, 0, 1ull << 60));
    m_workflow->Resume(m_folder);
    EXPECT_EQ(m_kernel->TakeCalls(), Calls{"Resume 1"}) << "the pause's own folder: the same downloader";
    Refresh(huge);
    EXPECT_EQ(m_shortages.size(), 2u) << "the check runs again after the resume";

    Refresh(Status(DLBT_STATE_PAUSED, 1.0f, 0, 0, 1ull << 60));
    Refresh(Status(DLBT_STATE_DOWNLOADING, 1.0f, 1000, 0, 800 * kMiB));
    EXPECT_EQ(m_shortages.size(), 2u) << "800 MB fit";
}

// The drive fills up while the download runs (here: the rest no longer fits
// in what is free): the download pauses with the warning there and then,
// rather than stall once the kernel can no longer write.
TEST_F(DownloadWorkflowTest, DriveFillingUpWhileDownloadingPausesWithTheWarning)
{
    StartDownloading();
    Refresh(Status(DLBT_STATE_DOWNLOADING, 1.0f, 1000, 0, 800 * kMiB));
    ASSERT_TRUE(m_shortages.empty());
    Refresh(Status(DLBT_STATE_DOWNLOADING, 1.0f, 1000, 0, 1ull << 60));
    EXPECT_EQ(m_shortages.size(), 1u);
    EXPECT_EQ(State(), WorkflowState::Paused);
}

TEST_F(DownloadWorkflowTest, FreeSpaceThatCannotBeToldNeitherWarnsNorPauses)
{
    StartDownloading();
    m_settings.m_savePath = L"Q:\\nowhere\\";
    Refresh(Status(DLBT_STATE_DOWNLOADING, 1.0f, 1000, 0, 1ull << 60));
    EXPECT_TRUE(m_shortages.empty());
    EXPECT_EQ(State(), WorkflowState::Downloading);
}

TEST_F(DownloadWorkflowTest, CompletionStartsTheGameInsideTheDownloadedTree)
{
    m_options.runGame = true;
    m_kernel->SetFiles(3, L"Korvane\\bin\\game.exe");
    StartDownloading();
    const std::wstring bin = m_folder + L"bin";
    ::CreateDirectoryW(bin.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(WindowsPathOfHostPath(KORVANE_GAME_STUB).c_str(), (bin + L"\\game.exe").c_str(), FALSE));

    Refresh(Status(DLBT_STATE_COMPLETE, 100.0f, 0, 10, 10));
    EXPECT_EQ(m_settings.m_mainExePath, bin + L"\\game.exe");
    EXPECT_TRUE(WaitForGameStarted(bin)) << "the game did not start in its folder";
}

TEST_F(DownloadWorkflowTest, ProgramPathThatLeavesTheDownloadIsNotStarted)
{
    m_options.runGame = true;
    FetchUntilReady("..\\..\\cfg\\DLBT.dll");
    m_workflow->Start(m_folder);
    Refresh(Status(DLBT_STATE_COMPLETE, 100.0f, 0, 10, 10));
    EXPECT_EQ(State(), WorkflowState::Completed);
    EXPECT_TRUE(m_settings.m_mainExePath.empty()) << "no launch and no shortcut target";
}

TEST_F(DownloadWorkflowTest, NewInfoHashReportsStartAndFinishAgainButNotTheMilestones)
{
    WriteBaseSettings("\"infohash\":\"0123456789abcdef0123456789abcdef01234567\",\"reportstart\":1,"
                      "\"reportdone\":1,\"reportprocess_30\":1,\"reportprocess_50\":1,\"reportprocess_70\":1,");
    StartDownloading();
    Refresh(Status(DLBT_STATE_SEEDING, 100.0f, 0, 10, 10, kNewHash));
    EXPECT_EQ(SettledReports(), Sorted({Query("start", "0", "0"), Query("finish", "0", "100")}));
    EXPECT_EQ(m_settings.m_infoHash, AnsiToWide(kNewHash));
    const std::string saved = m_temp.Read(L"cfg\\base.cfg");
    EXPECT_NE(saved.find(kNewHash), std::string::npos);
    EXPECT_NE(saved.find("\"reportprocess_30\" : 1"), std::string::npos) << saved;
}

TEST_F(DownloadWorkflowTest, SameInfoHashInALaterRunSendsNothingTwice)
{
    WriteBaseSettings("\"infohash\":\"0123456789abcdef0123456789abcdef01234567\",\"reportstart\":1,"
                      "\"reportdone\":1,\"reportprocess_50\":1,\"reportprocess_70\":1,");
    StartDownloading();
    Refresh(Status(DLBT_STATE_DOWNLOADING, 60.0f, 1, 6, 10));
    Refresh(Status(DLBT_STATE_COMPLETE, 100.0f, 0, 10, 10));
    EXPECT_EQ(SettledReports(), Calls{});
}

TEST_F(DownloadWorkflowTest, CloseReportOnlyAfterADownloaderWasSeenAndWithoutAnUnloadedKernel)
{
    StartDownloading();
    m_workflow->ReportClose();
    m_kernel->SetUploaded(5 * kMiB + 12345);
    m_now += 2 * 60000;
    Refresh(Status(DLBT_STATE_DOWNLOADING, 12.5f, 1, 1, 10));
    m_now += 5 * 60000;
    m_workflow->ReportClose();
    m_workflow->StopEngine();
    m_workflow->ReportClose();
    const std::string close =
        "uuid=" + m_uuid + "&opname=close&costtime=5&rate=12&ext_info={\"ver\":\"1.2.3\"%2C\"updata\":5}";
    const std::string closeUnloaded =
        "uuid=" + m_uuid + "&opname=close&costtime=5&rate=0&ext_info={\"ver\":\"1.2.3\"%2C\"updata\":0}";
    EXPECT_EQ(SettledReports(), Sorted({Query("start", "0", "0"), close, closeUnloaded}));
}

} // namespace
