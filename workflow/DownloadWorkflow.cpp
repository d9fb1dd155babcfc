#include "workflow/DownloadWorkflow.h"

#include "engine/KernelCalls.h"
#include "util/AtomicFileWrite.h"
#include "util/PathText.h"
#include "util/TextConvert.h"
#include "workflow/CompletionActions.h"
#include "workflow/DiskSpace.h"
#include "workflow/ProgressText.h"

#include <vector>

namespace {

const DWORD kFetchAttempts = 3;

const wchar_t kLoadingConfiguration[] = L"正在加载配置信息....";
const wchar_t kLoadingTorrent[] = L"正在加载P2P信息....";
const wchar_t kNoTorrentAddress[] = L"加载游戏服务器信息时出错，请稍后重试！";
const wchar_t kBadTorrentAddress[] = L"加载游戏服务器信息异常，请稍后重试！";
const wchar_t kNoTorrentFile[] = L"加载P2P信息出错，请稍后重试！";
const wchar_t kNoKernel[] = L"加载P2P模块出错....";
const wchar_t kNoDownloader[] = L"启动下载失败，请重试！";
const wchar_t kDownloadComplete[] = L"下载完成！";

std::wstring WithoutTrailingBackslashes(std::wstring path)
{
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

// The kernel puts a torrent's content under a root folder of the name we
// give it, inside the folder we give it: so the player's folder is split into
// its parent and its last component, and the content lands in the player's
// folder itself. A drive root, or a folder without a parent part, is given
// whole and without a root name.
void SplitPlayersFolder(const std::wstring& savePath, std::wstring& kernelFolder, std::wstring& rootName)
{
    kernelFolder = savePath;
    rootName.clear();
    if (savePath.size() <= 3)
        return;
    const std::wstring folder = WithoutTrailingBackslashes(WithBackslashes(savePath));
    const size_t last = folder.rfind(L'\\');
    if (last == std::wstring::npos || last < 2 || last + 1 >= folder.size())
        return;
    rootName = folder.substr(last + 1);
    kernelFolder = WithOneTrailingBackslash(folder.substr(0, last));
}

void StartFetch(CSignedFetch& job, const std::wstring& url, const std::wstring& path, BodyCheck check = nullptr)
{
    job.Start(url, path, kFetchAttempts, std::move(check));
}

// The torrent's file name is the address's last part, from a description
// fetched over plain HTTP: it must name a file in the configuration folder.
bool IsPlainFileName(const std::wstring& name)
{
    return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\:") == std::wstring::npos;
}

// The kernel's word, and its own count agreeing: a game is started only on
// every piece.
bool IsComplete(const DLBT_DOWNLOADER_INFO& info)
{
    return (info.state == DLBT_STATE_COMPLETE || info.state == DLBT_STATE_SEEDING) &&
           info.piecesDone == info.pieceCount;
}

bool Ended(const CSignedFetch& job) { return job.Ended(); }

} // namespace

CDownloadWorkflow::CDownloadWorkflow(CAppSetting& settings, SWorkflowOptions options, IWorkflowEvents& events,
                                     ReportClock clock)
    : m_settings(settings),
      m_options(std::move(options)),
      m_events(events),
      m_reports(settings, m_options.reportHost, std::move(clock)),
      m_engine(settings.m_cfgDir),
      m_publisherKey(m_options.publisherKey)
{
}

CDownloadWorkflow::~CDownloadWorkflow()
{
    m_reports.m_startReport.reset();
    m_reports.m_finishReport.reset();
    StopEngine();
}

void CDownloadWorkflow::LoadConfiguration()
{
    FetchDescription();
    Publish();
}

void CDownloadWorkflow::Tick()
{
    PollFetchJobs();
    if (m_dirConfirmed && !m_completed)
        RefreshProgress();
    Publish();
}

void CDownloadWorkflow::Start(const std::wstring& folder)
{
    StartInDir(folder);
    Publish();
}

void CDownloadWorkflow::Pause()
{
    PauseDownload();
    Publish();
}

void CDownloadWorkflow::Resume(const std::wstring& folder)
{
    if (folder != m_pauseDir)
        StopEngine();
    m_userPaused = false;
    if (m_downloader)
        m_engine.CallVoid(&SDlbtFunctions::DLBT_Downloader_Resume, m_downloader);
    else
        StartInDir(folder);
    Publish();
}

void CDownloadWorkflow::ApplyStoredRateLimits()
{
    if (m_engine.m_started)
        ApplyRateLimits(m_engine, static_cast<uint32_t>(m_settings.m_downLimit),
                        static_cast<uint32_t>(m_settings.m_upLimit));
}

bool CDownloadWorkflow::Fetching() const
{
    return !m_configJob.m_handled || !m_torrentJob.m_handled;
}

void CDownloadWorkflow::ReportClose()
{
    if (!m_reports.DownloaderSeen())
        return;
    // After a resume into another folder the kernel may be unloaded: the
    // report then goes out with nothing uploaded and no progress.
    uint64_t uploaded = 0;
    int rate = 0;
    if (m_engine.IsLoaded()) {
        DLBT_KERNEL_INFO counters{};
        if (m_engine.Call(&SDlbtFunctions::DLBT_GetKernelInfo, FALSE, &counters))
            uploaded = counters.totalUploaded;
        DLBT_DOWNLOADER_INFO info{};
        if (m_downloader && ReadStatus(info))
            rate = static_cast<int>(info.percent);
    }
    m_reports.ReportClose(rate, uploaded);
}

void CDownloadWorkflow::StopEngine()
{
    StopKernel(m_engine, m_downloader);
    m_percent = 0;
}

void CDownloadWorkflow::FetchDescription()
{
    ShowStatus(kLoadingConfiguration);
    RemoveStaleTemporaryFiles(m_settings.m_cfgDir);
    StartFetch(m_configJob, m_options.configUrl, m_settings.m_serverCfgPath, &CDownSetting::IsDescription);
    if (!FileExists(m_settings.m_serverCfgPath))
        CSignedFetch::FetchNow(m_publisherKey, WideToAnsi(m_options.configUrl), m_settings.m_serverCfgPath,
                               &CDownSetting::IsDescription);
}

void CDownloadWorkflow::PollFetchJobs()
{
    if (!m_configJob.m_handled) {
        m_configJob.Poll();
        if (Ended(m_configJob)) {
            m_configJob.m_handled = true;
            m_settings.LoadAll();
            LoadServerInfo();
        }
    }
    if (!m_torrentJob.m_handled) {
        m_torrentJob.Poll();
        if (Ended(m_torrentJob)) {
            m_torrentJob.m_handled = true;
            if (m_dirConfirmed)
                StartEngine();
        }
    }
}

void CDownloadWorkflow::LoadServerInfo()
{
    const std::string& url = m_settings.m_torrentUrl;
    if (url.empty() || !Trusted(m_settings.m_serverCfgPath)) {
        Fail(kNoTorrentAddress);
        return;
    }
    const size_t slash = url.rfind('/');
    const std::wstring name = slash == std::string::npos ? L"" : AnsiToWide(url.substr(slash + 1));
    if (!IsPlainFileName(name)) {
        Fail(kBadTorrentAddress);
        return;
    }
    m_torrentPath = m_settings.m_cfgDir + name;
    if (FileExists(m_torrentPath)) {
        m_engine.Load();
        if (m_dirConfirmed)
            StartEngine();
    } else {
        ShowStatus(kLoadingTorrent);
        StartFetch(m_torrentJob, AnsiToWide(url), m_torrentPath);
        m_engine.Load();
        if (!FileExists(m_torrentPath))
            CSignedFetch::FetchNow(m_publisherKey, url, m_torrentPath);
    }
    HandReportAddress();
}

void CDownloadWorkflow::StartInDir(const std::wstring& folder)
{
    m_dirConfirmed = true;
    m_completed = false;
    const std::wstring normalised = WithOneTrailingBackslash(WithBackslashes(folder));
    if (normalised != m_settings.m_savePath) {
        m_settings.m_savePath = normalised;
        SaveBaseSettings();
    }
    if (m_configJob.m_handled) {
        if (m_settings.m_torrentUrl.empty())
            FetchDescription();
        else if (m_torrentJob.m_handled)
            StartEngine();
    }
}

void CDownloadWorkflow::StartEngine()
{
    if (!FileExists(m_torrentPath) || !Trusted(m_torrentPath)) {
        Fail(kNoTorrentFile);
        return;
    }
    if (!m_engine.Load()) {
        Fail(kNoKernel);
        return;
    }
    if (!m_dirConfirmed)
        return;
    if (!m_engine.m_started) {
        HandReportAddress(); // again: the library may have been loaded anew since
        if (StartKernel(m_engine, m_options.p2pPort))
            m_restartAdvised = true;
    }
    if (!m_userPaused)
        StartDownload();
}

void CDownloadWorkflow::StartDownload()
{
    ReleaseCurrentDownloader();
    ShowStatus(L"");

    SDownloaderSetup setup;
    setup.torrentPath = m_torrentPath;
    SplitPlayersFolder(m_settings.m_savePath, setup.downloadDir, setup.rootName);
    setup.userFolder = m_settings.m_savePath;
    setup.downLimitKBps = static_cast<uint32_t>(m_settings.m_downLimit);
    setup.upLimitKBps = static_cast<uint32_t>(m_settings.m_upLimit);
    setup.trackers = m_settings.m_trackers;
    setup.httpSeeds = m_settings.m_httpSeed;

    const SDownloader downloader = SetUpDownloader(m_engine, setup);
    m_downloadDir = downloader.downloadDir;
    m_singleFile = downloader.singleFile;
    m_infoChecked = false;
    m_allocation = SAllocation();
    m_firstFilePath = downloader.firstFilePath;
    m_downloader = downloader.handle;
    if (!m_downloader)
        Fail(kNoDownloader);
}

// Without a downloader, or a status to judge it by this time, the line is
// empty.
void CDownloadWorkflow::RefreshProgress()
{
    m_progressLine.clear();
    m_downloaderInError = false;
    DLBT_DOWNLOADER_INFO info{};
    if (!m_downloader || !ReadStatus(info))
        return;
    m_downloaderInError = info.state == DLBT_STATE_ERROR;
    if (!m_infoChecked)
        CheckFirstStatus(info);

    m_progressLine = FormatProgressLine(info, GetStateText(info.state));
    m_reports.CheckProgressReports(info.percent);
    m_percent = ProgressPercent(info, m_percent);

    if (IsComplete(info)) {
        m_percent = 100;
        ShowStatus(kDownloadComplete);
        if (!m_completed)
            HandleCompletion();
    }
    m_reports.ReapFinished();
    CheckDiskSpace(info.state);
}

void CDownloadWorkflow::PauseDownload()
{
    m_userPaused = true;
    if (m_downloader)
        m_engine.CallVoid(&SDlbtFunctions::DLBT_Downloader_Pause, m_downloader);
    m_pauseDir = m_settings.m_savePath;
}

void CDownloadWorkflow::ShowStatus(const std::wstring& text)
{
    m_statusText = text;
    m_failed = false;
}

void CDownloadWorkflow::Fail(const std::wstring& text)
{
    m_statusText = text;
    m_failed = true;
    m_settings.CDownSetting::Reset();
    if (!m_torrentPath.empty() && FileExists(m_torrentPath))
        ::DeleteFileW(m_torrentPath.c_str());
    ReleaseCurrentDownloader();
    m_completed = false;
}

std::wstring CDownloadWorkflow::GetStateText(int code) const
{
    if (code != DLBT_STATE_ERROR)
        return StateText(code);
    // The kernel answers a size question with the size and either success or
    // "buffer too small"; both are taken.
    int length = 0;
    const int sized = m_engine.Call(&SDlbtFunctions::DLBT_Downloader_GetLastError, DLBT_ERROR_INVALID_HANDLE,
                                    m_downloader, static_cast<char*>(nullptr), &length);
    if ((sized != DLBT_OK && sized != DLBT_ERROR_BUFFER_TOO_SMALL) || length <= 0)
        return StateText(code);
    std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
    if (m_engine.Call(&SDlbtFunctions::DLBT_Downloader_GetLastError, DLBT_ERROR_INVALID_HANDLE, m_downloader,
                      text.data(), &length) != DLBT_OK)
        return StateText(code);
    return StateText(code, AnsiToWide(text.data()));
}

// Checked on every refresh while the download runs, not only as it starts:
// another program may fill the drive meanwhile, and the kernel then stops
// writing without a word. A pause asked for shows in the kernel's state a
// moment later; until the player resumes there is nothing to check. The
// workflow pauses itself, as the pause button does, and tells its owner.
void CDownloadWorkflow::CheckDiskSpace(int state)
{
    if (state != DLBT_STATE_DOWNLOADING || m_userPaused || !m_downloader)
        return;
    uint64_t free = 0;
    if (!FreeBytesOfFolder(m_settings.m_savePath, free))
        return; // a folder whose space cannot be told is not a full disk
    DLBT_DOWNLOADER_INFO info{};
    if (!ReadStatus(info) || info.totalSize == DLBT_UNKNOWN_SIZE || info.downloaded >= info.totalSize)
        return;
    if (free >= info.totalSize - info.downloaded)
        return;
    const uint64_t needed = BytesStillNeeded(info.totalSize, info.downloaded, AllocatedToGame(free));
    if (free >= needed)
        return;
    PauseDownload();
    m_shortage = {true, needed - free, info.totalSize};
}
// Opening every file of the game is left for when free space alone falls
// short, and done again only once free space has changed: the drive's
// allocation to the game changes nothing else.
uint64_t CDownloadWorkflow::AllocatedToGame(uint64_t free)
{
    if (m_allocation.known && m_allocation.free == free)
        return m_allocation.bytes;
    std::vector<std::wstring> paths = DownloaderFilePaths(m_engine, m_downloader);
    const std::wstring folder = WithOneTrailingBackslash(WithBackslashes(m_downloadDir));
    for (std::wstring& path : paths)
        path = path.empty() ? path : folder + WithBackslashes(path);
    m_allocation = {true, free, AllocatedBytesOf(paths)};
    return m_allocation.bytes;
}

void CDownloadWorkflow::RunGame()
{
    const std::wstring path =
        GameProgramPath(m_downloadDir, m_singleFile, m_firstFilePath, AnsiToWide(m_settings.m_mainExe));
    if (path.empty())
        return;
    m_settings.m_mainExePath = path;
    LaunchProgram(path);
}

bool CDownloadWorkflow::ReadStatus(DLBT_DOWNLOADER_INFO& info) const
{
    return m_engine.Call(&SDlbtFunctions::DLBT_GetDownloaderInfo, FALSE, m_downloader, &info) != FALSE;
}

void CDownloadWorkflow::CheckFirstStatus(const DLBT_DOWNLOADER_INFO& info)
{
    const std::wstring infoHash =
        AnsiToWide(std::string(info.infoHash, strnlen(info.infoHash, sizeof(info.infoHash))));
    if (infoHash != m_settings.m_infoHash) {
        m_settings.m_infoHash = infoHash;
        m_settings.m_reportDone = 0;
        m_settings.m_reportStart = 0;
        SaveBaseSettings();
    }
    m_reports.MarkDownloaderSeen();
    m_reports.ReportStart();
    m_infoChecked = true;
}

void CDownloadWorkflow::HandleCompletion()
{
    m_reports.ReportFinish();
    m_completed = true;
    // The program to start is named by the description: only the
    // publisher's, for the publisher's game.
    if (m_options.runGame && Trusted(m_settings.m_serverCfgPath) && Trusted(m_torrentPath))
        RunGame();
}

bool CDownloadWorkflow::Trusted(const std::wstring& path) const
{
    return m_publisherKey.Empty() || m_publisherKey.VerifiesFile(path);
}

void CDownloadWorkflow::HandReportAddress()
{
    if (m_engine.IsLoaded() && !m_options.reportIp.empty())
        m_engine.CallVoid(&SDlbtFunctions::DLBT_SetReportIP, m_options.reportIp.c_str());
}

void CDownloadWorkflow::ReleaseCurrentDownloader() { ReleaseDownloader(m_engine, m_downloader); }

void CDownloadWorkflow::SaveBaseSettings() { m_settings.Save(m_settings.m_baseCfgPath); }

// In this order of priority: what the player has not started is Ready
// whatever happened in the background (its failures show once started), a
// completed game stays Completed, a pause holds over a failure, and a
// failure over work still under way.
WorkflowState CDownloadWorkflow::ComputeState() const
{
    if (!m_dirConfirmed)
        return WorkflowState::Ready;
    if (m_completed)
        return WorkflowState::Completed;
    if (m_userPaused)
        return WorkflowState::Paused;
    if (m_failed)
        return WorkflowState::Failed;
    if (!m_downloader)
        return WorkflowState::Preparing;
    return WorkflowState::Downloading;
}

void CDownloadWorkflow::Publish()
{
    const WorkflowState state = ComputeState();
    if (state != m_state) {
        m_state = state;
        m_events.OnStateChanged(state);
    }
    if (m_shortage.found) {
        const SShortage shortage = m_shortage;
        m_shortage = SShortage();
        m_events.OnDiskShort(shortage.missingBytes, shortage.gameSize);
    }
    if (m_restartAdvised) {
        m_restartAdvised = false;
        m_events.OnRestartAdvised();
    }
}
