#pragma once

#include "DlbtApi.h"

#include <windows.h>

#include <string>

// The kernel library loaded straight from the build, its functions looked up
// by name as the program does.
struct KernelApi {
    bool Load(const std::wstring& dllPath);
    // Loads the library from the build and starts the kernel with the
    // program's own start parameters (TCP, uTP and peer exchange) on the ten
    // ports from `firstPort`.
    bool StartAsTheProgramDoes(uint16_t firstPort);
    // Saves every downloader's state and stops the kernel, as the program does.
    void Stop() const;
    // Starts the kernel with one download limit for every peer, local or not
    // (0: none).
    void StartWithLimit(const DLBT_START_PARAMS& params, int bytesPerSecond) const;
    // Lets go of the library, as the program does when its window closes.
    void Unload();
    // What the kernel reports of a downloader; zeroes for one it does not know.
    DLBT_DOWNLOADER_INFO Info(DLBT_DOWNLOADER downloader) const;

    HMODULE module = nullptr;
    decltype(&::DLBT_Startup) Startup = nullptr;
    decltype(&::DLBT_Shutdown) Shutdown = nullptr;
    decltype(&::DLBT_PreShutdown) PreShutdown = nullptr;
    decltype(&::DLBT_SetDownloadSpeedLimit) SetDownloadSpeedLimit = nullptr;
    decltype(&::DLBT_SetUploadSpeedLimit) SetUploadSpeedLimit = nullptr;
    decltype(&::DLBT_SetLocalNetworkLimit) SetLocalNetworkLimit = nullptr;
    decltype(&::DLBT_GetKernelInfo) GetKernelInfo = nullptr;
    decltype(&::DLBT_Downloader_Initialize) Initialize = nullptr;
    decltype(&::DLBT_Downloader_Release) Release = nullptr;
    decltype(&::DLBT_Downloader_AddTracker) AddTracker = nullptr;
    decltype(&::DLBT_Downloader_AddHttpDownload) AddHttpDownload = nullptr;
    decltype(&::DLBT_Downloader_AddPeerSource) AddPeerSource = nullptr;
    decltype(&::DLBT_Downloader_Pause) Pause = nullptr;
    decltype(&::DLBT_Downloader_Resume) Resume = nullptr;
    decltype(&::DLBT_GetDownloaderInfo) GetDownloaderInfo = nullptr;
    decltype(&::DLBT_Downloader_GetLastError) GetLastError = nullptr;
    decltype(&::DLBT_Downloader_GetFilePathName) GetFilePathName = nullptr;
    decltype(&::DLBT_Downloader_GetFileCount) GetFileCount = nullptr;
    decltype(&::DLBT_GetLastError) GetKernelLastError = nullptr;
};

// Every piece verified: complete, or complete and seeding.
bool IsDone(int state);

// DLBT.dll beside the test programs' build folder.
std::wstring KernelDllPath();
