#include "KernelApi.h"

#include "support/ChildProcess.h"

namespace {
template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return function != nullptr;
}
} // namespace

std::wstring KernelDllPath() { return WindowsPathOfHostPath(KORVANE_KERNEL_DLL); }

bool KernelApi::Load(const std::wstring& dllPath)
{
    module = ::LoadLibraryW(dllPath.c_str());
    return module && Resolve(module, "DLBT_Startup", Startup) && Resolve(module, "DLBT_Shutdown", Shutdown) &&
           Resolve(module, "DLBT_PreShutdown", PreShutdown) &&
           Resolve(module, "DLBT_SetDownloadSpeedLimit", SetDownloadSpeedLimit) &&
           Resolve(module, "DLBT_SetUploadSpeedLimit", SetUploadSpeedLimit) &&
           Resolve(module, "DLBT_SetLocalNetworkLimit", SetLocalNetworkLimit) &&
           Resolve(module, "DLBT_GetKernelInfo", GetKernelInfo) &&
           Resolve(module, "DLBT_Downloader_Initialize", Initialize) &&
           Resolve(module, "DLBT_Downloader_Release", Release) &&
           Resolve(module, "DLBT_Downloader_AddTracker", AddTracker) &&
           Resolve(module, "DLBT_Downloader_AddHttpDownload", AddHttpDownload) &&
           Resolve(module, "DLBT_Downloader_AddPeerSource", AddPeerSource) &&
           Resolve(module, "DLBT_Downloader_Pause", Pause) && Resolve(module, "DLBT_Downloader_Resume", Resume) &&
           Resolve(module, "DLBT_GetDownloaderInfo", GetDownloaderInfo) &&
           Resolve(module, "DLBT_Downloader_GetLastError", GetLastError) &&
           Resolve(module, "DLBT_Downloader_GetFilePathName", GetFilePathName) &&
           Resolve(module, "DLBT_Downloader_GetFileCount", GetFileCount) &&
           Resolve(module, "DLBT_GetLastError", GetKernelLastError);
}

bool KernelApi::StartAsTheProgramDoes(uint16_t firstPort)
{
    DLBT_START_PARAMS params{1, 1, 1, 0, 0, firstPort, static_cast<uint16_t>(firstPort + 10)};
    return Load(KernelDllPath()) && Startup(&params, nullptr, 0);
}

void KernelApi::Stop() const
{
    PreShutdown();
    Shutdown();
}

void KernelApi::Unload()
{
    if (module)
        ::FreeLibrary(module);
    *this = KernelApi();
}

DLBT_DOWNLOADER_INFO KernelApi::Info(DLBT_DOWNLOADER downloader) const
{
    DLBT_DOWNLOADER_INFO info{};
    GetDownloaderInfo(downloader, &info);
    return info;
}

bool IsDone(int state) { return state == DLBT_STATE_COMPLETE || state == DLBT_STATE_SEEDING; }

void KernelApi::StartWithLimit(const DLBT_START_PARAMS& params, int bytesPerSecond) const
{
    Startup(&params, nullptr, 0);
    SetDownloadSpeedLimit(bytesPerSecond);
    SetLocalNetworkLimit(TRUE, bytesPerSecond, 0);
}
