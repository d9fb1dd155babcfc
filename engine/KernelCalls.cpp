#include "engine/KernelCalls.h"

#include "distribution/Distribution.h"

#include <climits>

namespace {

const UINT kWantedConnectionLimit = 256;
const int kConnectionsPerHttpSeed = 12;
const int kLongestPath = 32768; // what Windows allows through "\\?\" paths
const wchar_t kRestartNotice[] =
    L"检测到您系统上的连接数需要优化，为了更好的下载效果，\r\n 已自动进行了系统优化，请手工重启电脑后生效！\r\n";

int BytesPerSecond(uint32_t kbps)
{
    const uint64_t bytes = static_cast<uint64_t>(kbps) * 1024;
    return bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes);
}

DLBT_DOWNLOADER Initialize(const CDlbtModule& kernel, const std::wstring& torrentPath, const std::wstring& folder,
                           const std::wstring& rootName, BOOL useRootName)
{
    const std::wstring stateFile = torrentPath + L".dlbt";
    return kernel.Call(&SDlbtFunctions::DLBT_Downloader_Initialize, DLBT_DOWNLOADER(nullptr), torrentPath.c_str(),
                       folder.c_str(), stateFile.c_str(), 1, FALSE, FALSE, nullptr,
                       rootName.empty() ? nullptr : rootName.c_str(), useRootName, 0);
}

void Configure(const CDlbtModule& kernel, DLBT_DOWNLOADER downloader, const SDownloaderSetup& setup)
{
    kernel.Call(&SDlbtFunctions::DLBT_Downloader_SetMaxSessionPerHttp, FALSE, downloader, kConnectionsPerHttpSeed);
    if (kernel.m_started)
        ApplyRateLimits(kernel, setup.downLimitKBps, setup.upLimitKBps);
    for (const auto& tracker : TrackerTiers(setup.trackers))
        kernel.Call(&SDlbtFunctions::DLBT_Downloader_AddTracker, FALSE, downloader, tracker.first.c_str(),
                    tracker.second);
    for (const std::string& seed : setup.httpSeeds)
        kernel.Call(&SDlbtFunctions::DLBT_Downloader_AddHttpDownload, FALSE, downloader, seed.c_str());
}

} // namespace

std::wstring RestartNoticeText() { return std::wstring(distribution::kWindowTitle) + kRestartNotice; }

DLBT_START_PARAMS KernelStartParams(int16_t port)
{
    DLBT_START_PARAMS params{1, 1, 1, 0, 0, 0, 0};
    params.firstPort = static_cast<uint16_t>(port);
    params.lastPort = static_cast<uint16_t>(params.firstPort + 10);
    return params;
}

bool StartKernel(CDlbtModule& kernel, int16_t port)
{
    const UINT limit = kernel.Call(&SDlbtFunctions::DLBT_GetCurrentXPLimit, UINT(0));
    const bool raised = limit > 0 && limit < kWantedConnectionLimit &&
                        kernel.Call(&SDlbtFunctions::DLBT_ChangeXPConnectionLimit, FALSE, kWantedConnectionLimit);
    const DLBT_START_PARAMS params = KernelStartParams(port);
    kernel.Call(&SDlbtFunctions::DLBT_Startup, FALSE, &params, nullptr, 0);
    kernel.m_started = true;
    return raised;
}

void ApplyRateLimits(const CDlbtModule& kernel, uint32_t downKBps, uint32_t upKBps)
{
    const int down = BytesPerSecond(downKBps);
    const int up = BytesPerSecond(upKBps);
    kernel.CallVoid(&SDlbtFunctions::DLBT_SetDownloadSpeedLimit, down);
    kernel.CallVoid(&SDlbtFunctions::DLBT_SetUploadSpeedLimit, up);
    kernel.CallVoid(&SDlbtFunctions::DLBT_SetLocalNetworkLimit, TRUE, down, up);
}

std::vector<std::pair<std::string, int>> TrackerTiers(const std::vector<std::string>& entries)
{
    std::vector<std::pair<std::string, int>> trackers;
    for (size_t tier = 0; tier < entries.size(); ++tier) {
        size_t start = 0;
        for (;;) {
            const size_t bar = entries[tier].find('|', start);
            std::string address = entries[tier].substr(start, bar - start);
            if (!address.empty())
                trackers.emplace_back(std::move(address), static_cast<int>(tier));
            if (bar == std::string::npos)
                break;
            start = bar + 1;
        }
    }
    return trackers;
}

SDownloader SetUpDownloader(const CDlbtModule& kernel, const SDownloaderSetup& setup)
{
    SDownloader result;
    result.downloadDir = setup.downloadDir;
    result.handle = Initialize(kernel, setup.torrentPath, setup.downloadDir, setup.rootName, TRUE);
    if (!result.handle)
        return result;
    result.singleFile = kernel.Call(&SDlbtFunctions::DLBT_Downloader_GetFileCount, 0, result.handle) == 1;
    if (result.singleFile && !setup.rootName.empty()) {
        ReleaseDownloader(kernel, result.handle);
        result.downloadDir = setup.userFolder;
        result.handle = Initialize(kernel, setup.torrentPath, setup.userFolder, L"", FALSE);
        if (!result.handle)
            return result;
    }
    Configure(kernel, result.handle, setup);
    result.firstFilePath = DownloaderFilePath(kernel, result.handle, 0);
    return result;
}

std::wstring DownloaderFilePath(const CDlbtModule& kernel, DLBT_DOWNLOADER downloader, int index)
{
    std::vector<wchar_t> path(MAX_PATH + 1);
    int size = MAX_PATH;
    int result = kernel.Call(&SDlbtFunctions::DLBT_Downloader_GetFilePathName, DLBT_ERROR_INVALID_HANDLE,
                             downloader, index, path.data(), &size, FALSE);
    if (result == DLBT_ERROR_BUFFER_TOO_SMALL && size > MAX_PATH && size <= kLongestPath) {
        path.assign(static_cast<size_t>(size), L'\0');
        result = kernel.Call(&SDlbtFunctions::DLBT_Downloader_GetFilePathName, DLBT_ERROR_INVALID_HANDLE,
                             downloader, index, path.data(), &size, FALSE);
    }
    return result == DLBT_OK ? path.data() : L"";
}

std::vector<std::wstring> DownloaderFilePaths(const CDlbtModule& kernel, DLBT_DOWNLOADER downloader)
{
    std::vector<std::wstring> paths;
    const int count = kernel.Call(&SDlbtFunctions::DLBT_Downloader_GetFileCount, 0, downloader);
    for (int index = 0; index < count; ++index)
        paths.push_back(DownloaderFilePath(kernel, downloader, index));
    return paths;
}

void ReleaseDownloader(const CDlbtModule& kernel, DLBT_DOWNLOADER& downloader)
{
    if (downloader)
        kernel.CallVoid(&SDlbtFunctions::DLBT_Downloader_Release, downloader, 0);
    downloader = nullptr;
}

void StopKernel(CDlbtModule& kernel, DLBT_DOWNLOADER& downloader)
{
    ReleaseDownloader(kernel, downloader);
    if (kernel.m_started && kernel.IsLoaded()) {
        kernel.CallVoid(&SDlbtFunctions::DLBT_PreShutdown);
        kernel.CallVoid(&SDlbtFunctions::DLBT_Shutdown);
    }
    kernel.Unload();
}
