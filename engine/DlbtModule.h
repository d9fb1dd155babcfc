#pragma once

#include "DlbtApi.h"

#include <windows.h>

#include <string>
#include <utility>

// Every kernel function the program may call, looked up by name in the
// library loaded at run time. An entry stays null when the library does not
// export its name.
struct SDlbtFunctions {
    decltype(&::DLBT_Startup) DLBT_Startup = nullptr;
    decltype(&::DLBT_Shutdown) DLBT_Shutdown = nullptr;
    decltype(&::DLBT_PreShutdown) DLBT_PreShutdown = nullptr;
    decltype(&::DLBT_SetUploadSpeedLimit) DLBT_SetUploadSpeedLimit = nullptr;
    decltype(&::DLBT_SetDownloadSpeedLimit) DLBT_SetDownloadSpeedLimit = nullptr;
    decltype(&::DLBT_SetLocalNetworkLimit) DLBT_SetLocalNetworkLimit = nullptr;
    decltype(&::DLBT_SetReportIP) DLBT_SetReportIP = nullptr;
    decltype(&::DLBT_Downloader_Initialize) DLBT_Downloader_Initialize = nullptr;
    decltype(&::DLBT_Downloader_Release) DLBT_Downloader_Release = nullptr;
    decltype(&::DLBT_Downloader_AddHttpDownload) DLBT_Downloader_AddHttpDownload = nullptr;
    decltype(&::DLBT_Downloader_RemoveHttpDownload) DLBT_Downloader_RemoveHttpDownload = nullptr;
    decltype(&::DLBT_Downloader_SetMaxSessionPerHttp) DLBT_Downloader_SetMaxSessionPerHttp = nullptr;
    decltype(&::DLBT_Downloader_AddTracker) DLBT_Downloader_AddTracker = nullptr;
    decltype(&::DLBT_Downloader_AddPeerSource) DLBT_Downloader_AddPeerSource = nullptr;
    decltype(&::DLBT_Downloader_ResumeInError) DLBT_Downloader_ResumeInError = nullptr;
    decltype(&::DLBT_Downloader_SetDownloadLimit) DLBT_Downloader_SetDownloadLimit = nullptr;
    decltype(&::DLBT_Downloader_SetUploadLimit) DLBT_Downloader_SetUploadLimit = nullptr;
    decltype(&::DLBT_Downloader_SetMaxUploadConnections) DLBT_Downloader_SetMaxUploadConnections = nullptr;
    decltype(&::DLBT_Downloader_SetMaxTotalConnections) DLBT_Downloader_SetMaxTotalConnections = nullptr;
    decltype(&::DLBT_Downloader_IsPaused) DLBT_Downloader_IsPaused = nullptr;
    decltype(&::DLBT_Downloader_Pause) DLBT_Downloader_Pause = nullptr;
    decltype(&::DLBT_Downloader_Resume) DLBT_Downloader_Resume = nullptr;
    decltype(&::DLBT_GetKernelInfo) DLBT_GetKernelInfo = nullptr;
    decltype(&::DLBT_GetDownloaderInfo) DLBT_GetDownloaderInfo = nullptr;
    decltype(&::DLBT_SetDHTFilePathName) DLBT_SetDHTFilePathName = nullptr;
    decltype(&::DLBT_AddAppToWindowsXPFirewall) DLBT_AddAppToWindowsXPFirewall = nullptr;
    decltype(&::DLBT_AddUPnPPortMapping) DLBT_AddUPnPPortMapping = nullptr;
    decltype(&::DLBT_GetCurrentXPLimit) DLBT_GetCurrentXPLimit = nullptr;
    decltype(&::DLBT_ChangeXPConnectionLimit) DLBT_ChangeXPConnectionLimit = nullptr;
    decltype(&::DLBT_SetP2SPExtName) DLBT_SetP2SPExtName = nullptr;
    decltype(&::DLBT_Downloader_GetLastError) DLBT_Downloader_GetLastError = nullptr;
    decltype(&::DLBT_Downloader_GetTorrentName) DLBT_Downloader_GetTorrentName = nullptr;
    decltype(&::DLBT_Downloader_GetFilePathName) DLBT_Downloader_GetFilePathName = nullptr;
    decltype(&::DLBT_Downloader_GetFileCount) DLBT_Downloader_GetFileCount = nullptr;
};

// Writes the kernel library carried in the program's resources to `path`.
// True when the file there can be used: written now, or present and
// impossible to delete (in use).
bool ExtractEngineLibrary(const std::wstring& path);

// The kernel library: written out of the program into the configuration
// folder, loaded, and its functions resolved, on first need.
class CDlbtModule {
public:
    // `configDir` ends in "\"; empty means the program's configuration folder.
    explicit CDlbtModule(std::wstring configDir = {});
    ~CDlbtModule();
    CDlbtModule(const CDlbtModule&) = delete;
    CDlbtModule& operator=(const CDlbtModule&) = delete;

    // Loads the library and resolves the table; true at once when that is
    // done already.
    bool Load();
    // Frees the library and forgets the table and both marks. Whoever started
    // the kernel shuts it down first.
    void Unload();

    bool IsLoaded() const { return m_module != nullptr; }

    // Calls a table entry, or gives `fallback` when the library lacks it, so
    // a missing export fails the one operation and never calls through null.
    template <typename Function, typename Result, typename... Args>
    Result Call(Function SDlbtFunctions::*entry, Result fallback, Args&&... args) const
    {
        const Function function = m_functions.*entry;
        return function ? function(std::forward<Args>(args)...) : fallback;
    }
    // The same for functions that return nothing: false when it is missing.
    template <typename Function, typename... Args>
    bool CallVoid(Function SDlbtFunctions::*entry, Args&&... args) const
    {
        const Function function = m_functions.*entry;
        if (!function)
            return false;
        function(std::forward<Args>(args)...);
        return true;
    }

    SDlbtFunctions m_functions;
    bool m_resolved = false;
    bool m_started = false;
    HMODULE m_module = nullptr;

private:
    std::wstring ConfigDir() const;
    void Resolve();

    std::wstring m_configDir;
};
