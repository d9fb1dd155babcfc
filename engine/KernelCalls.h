#pragma once

#include "engine/DlbtModule.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The program's calls into the kernel, each in the order the kernel expects
// them. All of them run on the user-interface thread.

// What the player is told when the kernel raised the connection limit.
inline constexpr wchar_t kRestartNoticeCaption[] = L"优化提示";
std::wstring RestartNoticeText();

// The listening range: `port` and the ten above it, in 16-bit arithmetic.
DLBT_START_PARAMS KernelStartParams(int16_t port);

// Raises the system's connection limit when the kernel finds it low, then
// starts the kernel. Sets `m_started` whatever the kernel answered. True when
// the limit was raised: it takes effect once the computer restarts.
bool StartKernel(CDlbtModule& kernel, int16_t port);

// The three kernel-wide limits, from KB/s (0: none) to bytes per second.
void ApplyRateLimits(const CDlbtModule& kernel, uint32_t downKBps, uint32_t upKBps);

// Tracker entries as kept in the download description: each may hold several
// addresses joined by "|", which share the entry's tier (its index).
std::vector<std::pair<std::string, int>> TrackerTiers(const std::vector<std::string>& entries);

struct SDownloaderSetup {
    std::wstring torrentPath;
    std::wstring downloadDir;   // the folder given to the kernel
    std::wstring rootName;      // empty: none
    std::wstring userFolder;    // the player's folder, for a single file
    uint32_t downLimitKBps = 0;
    uint32_t upLimitKBps = 0;
    std::vector<std::string> trackers;
    std::vector<std::string> httpSeeds;
};

struct SDownloader {
    DLBT_DOWNLOADER handle = nullptr;  // null: the kernel refused
    bool singleFile = false;
    std::wstring downloadDir;          // where the content lies under
    std::wstring firstFilePath;        // file 0, relative to downloadDir
};

// Creates and configures the downloader for a torrent. A single file is not
// put in a folder of its own: it goes straight into the player's folder.
SDownloader SetUpDownloader(const CDlbtModule& kernel, const SDownloaderSetup& setup);

// A file of the download by its index, relative to the download's folder;
// empty for a file the kernel does not name.
std::wstring DownloaderFilePath(const CDlbtModule& kernel, DLBT_DOWNLOADER downloader, int index);
std::vector<std::wstring> DownloaderFilePaths(const CDlbtModule& kernel, DLBT_DOWNLOADER downloader);

void ReleaseDownloader(const CDlbtModule& kernel, DLBT_DOWNLOADER& downloader);

// Releases the downloader, stops a started kernel and unloads the library.
void StopKernel(CDlbtModule& kernel, DLBT_DOWNLOADER& downloader);
