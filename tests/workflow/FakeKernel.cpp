// A stand-in for the kernel library with the same exports, whose status the
// tests script and whose calls they read back: the real kernel's status
// sequence cannot be driven. Built as a DLL the program's loader loads.
#define DLBT_BUILDING_KERNEL
#include "DlbtApi.h"

#include <cstring>
#include <string>
#include <vector>

#define FAKE_API extern "C" __declspec(dllexport)

namespace {

std::vector<std::string> g_log;
DLBT_DOWNLOADER_INFO g_status{};
int g_fileCount = 3;
std::wstring g_firstFile = L"Korvane\\bin\\game.exe";
bool g_initializeFails = false;
std::string g_lastError;
uint64_t g_uploaded = 0;
UINT g_connectionLimit = 0;
intptr_t g_lastHandle = 0;

std::string Utf8(LPCWSTR text)
{
    if (!text)
        return "-";
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

std::string Handle(DLBT_DOWNLOADER downloader) { return std::to_string(reinterpret_cast<intptr_t>(downloader)); }

void Log(const std::string& entry) { g_log.push_back(entry); }

int CopyOut(const void* data, int bytes, int unit, void* buffer, int* length)
{
    const int needed = bytes / unit;
    if (!buffer || *length < needed) {
        *length = needed;
        return DLBT_ERROR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, data, bytes);
    *length = needed;
    return DLBT_OK;
}

} // namespace

// A program that loads the stand-in on its own (the tests cannot script it
// there) finds its download complete when its environment says so.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    char value[8] = {};
    if (reason == DLL_PROCESS_ATTACH && ::GetEnvironmentVariableA("KORVANE_FAKE_KERNEL_COMPLETE", value, sizeof value)) {
        g_status.state = DLBT_STATE_COMPLETE;
        g_status.percent = 100.0f;
        g_status.downloaded = g_status.totalSize = 1 << 20;
    }
    return TRUE;
}

// The tests' side.
FAKE_API void FakeKernel_Reset()
{
    g_log.clear();
    g_status = DLBT_DOWNLOADER_INFO{};
    g_fileCount = 3;
    g_firstFile = L"Korvane\\bin\\game.exe";
    g_initializeFails = false;
    g_lastError.clear();
    g_uploaded = 0;
    g_connectionLimit = 0;
}
FAKE_API void FakeKernel_SetStatus(const DLBT_DOWNLOADER_INFO* status) { g_status = *status; }
FAKE_API void FakeKernel_SetFiles(int count, LPCWSTR firstFile)
{
    g_fileCount = count;
    g_firstFile = firstFile;
}
FAKE_API void FakeKernel_SetInitializeFails(BOOL fails) { g_initializeFails = fails != FALSE; }
FAKE_API void FakeKernel_SetLastError(const char* text) { g_lastError = text; }
FAKE_API void FakeKernel_SetUploaded(uint64_t bytes) { g_uploaded = bytes; }
FAKE_API void FakeKernel_SetConnectionLimit(UINT limit) { g_connectionLimit = limit; }
FAKE_API void FakeKernel_ClearLog() { g_log.clear(); }
// The calls so far, one per line; the length needed when `size` is short.
FAKE_API int FakeKernel_Log(char* buffer, int size)
{
    std::string text;
    for (const std::string& entry : g_log)
        text += entry + "\n";
    if (buffer && size > static_cast<int>(text.size()))
        std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size()) + 1;
}

// The kernel's side.
BOOL WINAPI DLBT_Startup(const DLBT_START_PARAMS* params, const void*, int)
{
    Log("Startup " + std::to_string(params->firstPort) + "-" + std::to_string(params->lastPort));
    return TRUE;
}
void WINAPI DLBT_PreShutdown() { Log("PreShutdown"); }
void WINAPI DLBT_Shutdown() { Log("Shutdown"); }
void WINAPI DLBT_SetUploadSpeedLimit(int bytes) { Log("Up " + std::to_string(bytes)); }
void WINAPI DLBT_SetDownloadSpeedLimit(int bytes) { Log("Down " + std::to_string(bytes)); }
void WINAPI DLBT_SetLocalNetworkLimit(BOOL, int, int) {}
void WINAPI DLBT_SetReportIP(LPCWSTR address) { Log("ReportIP " + Utf8(address)); }
BOOL WINAPI DLBT_GetKernelInfo(DLBT_KERNEL_INFO* info)
{
    *info = DLBT_KERNEL_INFO{};
    info->totalUploaded = g_uploaded;
    return TRUE;
}
UINT WINAPI DLBT_GetCurrentXPLimit() { return g_connectionLimit; }
BOOL WINAPI DLBT_ChangeXPConnectionLimit(UINT) { return TRUE; }

DLBT_DOWNLOADER WINAPI DLBT_Downloader_Initialize(LPCWSTR torrentPath, LPCWSTR saveFolder, LPCWSTR stateFile, int,
                                                  BOOL, BOOL, const void*, LPCWSTR rootName, BOOL, int)
{
    const bool stateBeside = Utf8(stateFile) == Utf8(torrentPath) + ".dlbt";
    Log("Initialize " + Utf8(saveFolder) + " " + Utf8(rootName) + (stateBeside ? "" : " bad-state-file"));
    if (g_initializeFails)
        return nullptr;
    return reinterpret_cast<DLBT_DOWNLOADER>(++g_lastHandle);
}
void WINAPI DLBT_Downloader_Release(DLBT_DOWNLOADER downloader, int) { Log("Release " + Handle(downloader)); }
BOOL WINAPI DLBT_Downloader_AddHttpDownload(DLBT_DOWNLOADER, LPCSTR url)
{
    Log(std::string("Seed ") + url);
    return TRUE;
}
BOOL WINAPI DLBT_Downloader_SetMaxSessionPerHttp(DLBT_DOWNLOADER, int) { return TRUE; }
BOOL WINAPI DLBT_Downloader_AddTracker(DLBT_DOWNLOADER, LPCSTR url, int tier)
{
    Log(std::string("Tracker ") + url + " " + std::to_string(tier));
    return TRUE;
}
void WINAPI DLBT_Downloader_Pause(DLBT_DOWNLOADER downloader) { Log("Pause " + Handle(downloader)); }
void WINAPI DLBT_Downloader_Resume(DLBT_DOWNLOADER downloader) { Log("Resume " + Handle(downloader)); }
BOOL WINAPI DLBT_GetDownloaderInfo(DLBT_DOWNLOADER downloader, DLBT_DOWNLOADER_INFO* info)
{
    if (!downloader)
        return FALSE;
    *info = g_status;
    return TRUE;
}
int WINAPI DLBT_Downloader_GetLastError(DLBT_DOWNLOADER, char* buffer, int* length)
{
    return CopyOut(g_lastError.c_str(), static_cast<int>(g_lastError.size()) + 1, 1, buffer, length);
}
int WINAPI DLBT_Downloader_GetFilePathName(DLBT_DOWNLOADER, int index, wchar_t* buffer, int* length, BOOL)
{
    if (index != 0)
        return DLBT_ERROR_INVALID_ARGUMENT;
    const int bytes = static_cast<int>((g_firstFile.size() + 1) * sizeof(wchar_t));
    return CopyOut(g_firstFile.c_str(), bytes, sizeof(wchar_t), buffer, length);
}
int WINAPI DLBT_Downloader_GetFileCount(DLBT_DOWNLOADER) { return g_fileCount; }
