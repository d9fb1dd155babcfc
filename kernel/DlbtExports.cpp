// The C boundary of the kernel library. Every export catches whatever the
// engine throws: nothing may unwind into a caller that is not C++ or not
// this library's C++.
#include "DlbtApi.h"
#include "Kernel.h"
#include "KernelText.h"

#include <openssl/crypto.h>

#include <memory>

using kernel::CDownloader;
using kernel::CKernel;

namespace {

// The library's one kernel, alive from start-up to shut-down, and what the
// program asked for before it started; that stays for a kernel started again.
struct SLibraryState {
    // A process that ends without shutting the kernel down has already lost
    // the kernel's threads by the time this runs: closing the session would
    // wait for answers nobody can give. The system reclaims it all anyway.
    ~SLibraryState()
    {
        if (processEnding)
            (void)kernel.release();
    }

    std::unique_ptr<CKernel> kernel;
    std::wstring dhtStateFile;
    std::string announcedAddress;
    std::wstring lastError; // why the last downloader was refused
    bool processEnding = false;
};

SLibraryState& Library()
{
    static SLibraryState state;
    return state;
}

CKernel* Kernel() { return Library().kernel.get(); }

template <typename Result, typename Body>
Result Guarded(Result fallback, Body body) noexcept
{
    try {
        return body();
    } catch (...) {
        return fallback;
    }
}

template <typename Body>
void Guarded(Body body) noexcept
{
    try {
        body();
    } catch (...) {
    }
}

template <typename Result, typename Action>
Result WithDownloader(DLBT_DOWNLOADER downloader, Result fallback, Action action) noexcept
{
    return Guarded(fallback, [&] {
        CKernel* kernel = Kernel();
        return kernel ? kernel->With(downloader, fallback, action) : fallback;
    });
}

std::wstring TextOrEmpty(LPCWSTR text) { return text ? text : L""; }

void Refused(const std::wstring& reason)
{
    Library().lastError = reason;
    kernel::Tell(reason);
}

// OpenSSL, linked in here, would otherwise put its clean-up on the C
// runtime's list for process exit, which outlives this library: a host that
// unloads it (the program, when its window closes) would end by calling into
// code no longer there. Initialised without that entry before anything else
// reaches it (Boost.Asio's SSL support does from a static constructor, hence
// the priority), it never makes one; what it holds goes with the process.
struct COpenSslWithoutExitEntry {
    COpenSslWithoutExitEntry() { OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr); }
};
__attribute__((init_priority(101))) const COpenSslWithoutExitEntry g_openSslWithoutExitEntry;

} // namespace

extern "C" {

// Runs before the library's static objects are destroyed.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr)
        Library().processEnding = true;
    return TRUE;
}

BOOL WINAPI DLBT_Startup(const DLBT_START_PARAMS* params, const void*, int)
{
    return Guarded(FALSE, [&] {
        if (!params)
            return FALSE;
        if (!Library().kernel)
            Library().kernel =
                std::make_unique<CKernel>(*params, Library().dhtStateFile, Library().announcedAddress);
        return TRUE;
    });
}

void WINAPI DLBT_PreShutdown(void)
{
    Guarded([] {
        if (CKernel* kernel = Kernel())
            kernel->SaveAll(false, false);
    });
}

void WINAPI DLBT_Shutdown(void)
{
    Guarded([] { Library().kernel.reset(); });
}

void WINAPI DLBT_SetUploadSpeedLimit(int bytesPerSecond)
{
    Guarded([&] {
        if (CKernel* kernel = Kernel())
            kernel->SetUploadLimit(bytesPerSecond);
    });
}

void WINAPI DLBT_SetDownloadSpeedLimit(int bytesPerSecond)
{
    Guarded([&] {
        if (CKernel* kernel = Kernel())
            kernel->SetDownloadLimit(bytesPerSecond);
    });
}

void WINAPI DLBT_SetLocalNetworkLimit(BOOL limit, int downBytesPerSecond, int upBytesPerSecond)
{
    Guarded([&] {
        if (CKernel* kernel = Kernel())
            kernel->SetLocalNetworkLimits(limit != FALSE, downBytesPerSecond, upBytesPerSecond);
    });
}

void WINAPI DLBT_SetReportIP(LPCWSTR address)
{
    Guarded([&] {
        Library().announcedAddress = kernel::WideToUtf8(TextOrEmpty(address));
        if (CKernel* kernel = Kernel())
            kernel->SetAnnouncedAddress(Library().announcedAddress);
    });
}

BOOL WINAPI DLBT_GetKernelInfo(DLBT_KERNEL_INFO* info)
{
    return Guarded(FALSE, [&] {
        CKernel* kernel = Kernel();
        if (!kernel || !info)
            return FALSE;
        kernel->FillInfo(*info);
        return TRUE;
    });
}

BOOL WINAPI DLBT_SetDHTFilePathName(LPCWSTR path)
{
    return Guarded(FALSE, [&] {
        if (!path || !*path)
            return FALSE;
        Library().dhtStateFile = path;
        if (CKernel* kernel = Kernel())
            kernel->EnableDht(); // its state is read at the next start-up
        return TRUE;
    });
}

// The program registers itself with the firewall; the kernel has no way of
// its own to do so.
BOOL WINAPI DLBT_AddAppToWindowsXPFirewall(LPCWSTR, LPCWSTR) { return FALSE; }

BOOL WINAPI DLBT_AddUPnPPortMapping(void)
{
    return Guarded(FALSE, [] {
        CKernel* kernel = Kernel();
        if (!kernel)
            return FALSE;
        kernel->EnablePortMapping();
        return TRUE;
    });
}

// Supported systems have no half-open connection limit to raise.
UINT WINAPI DLBT_GetCurrentXPLimit(void) { return 0; }
BOOL WINAPI DLBT_ChangeXPConnectionLimit(UINT) { return FALSE; }
BOOL WINAPI DLBT_SetP2SPExtName(LPCWSTR) { return FALSE; }

DLBT_DOWNLOADER WINAPI DLBT_Downloader_Initialize(LPCWSTR torrentPath, LPCWSTR saveFolder, LPCWSTR stateFile,
                                                  int sparseFiles, BOOL startPaused, BOOL, const void*,
                                                  LPCWSTR rootName, BOOL useRootName, int)
{
    return Guarded<DLBT_DOWNLOADER>(nullptr, [&]() -> DLBT_DOWNLOADER {
        CKernel* kernel = Kernel();
        if (!kernel || !torrentPath || !saveFolder) {
            Refused(kernel ? L"no torrent file or save folder given" : L"the kernel is not started");
            return nullptr;
        }
        kernel::SDownloaderRequest request;
        request.torrentPath = torrentPath;
        request.saveFolder = saveFolder;
        request.stateFile = TextOrEmpty(stateFile);
        request.rootName = useRootName ? TextOrEmpty(rootName) : L"";
        request.sparseFiles = sparseFiles != 0;
        request.startPaused = startPaused != FALSE;
        std::wstring error;
        const DLBT_DOWNLOADER downloader = kernel->Add(request, error);
        if (!downloader)
            Refused(L"cannot download " + request.torrentPath + L": " + error);
        return downloader;
    });
}

int WINAPI DLBT_GetLastError(char* buffer, int* length)
{
    return Guarded(DLBT_ERROR_INVALID_ARGUMENT,
                   [&] { return kernel::CopyOut(kernel::WideToAnsi(Library().lastError), buffer, length); });
}

void WINAPI DLBT_Downloader_Release(DLBT_DOWNLOADER downloader, int)
{
    Guarded([&] {
        if (CKernel* kernel = Kernel())
            kernel->Release(downloader);
    });
}

BOOL WINAPI DLBT_Downloader_AddHttpDownload(DLBT_DOWNLOADER downloader, LPCSTR url)
{
    if (!url || !*url)
        return FALSE;
    return WithDownloader(downloader, FALSE, [&](CDownloader& d) {
        d.AddHttpSeed(url);
        return TRUE;
    });
}

BOOL WINAPI DLBT_Downloader_RemoveHttpDownload(DLBT_DOWNLOADER downloader, LPCSTR url)
{
    if (!url)
        return FALSE;
    return WithDownloader(downloader, FALSE, [&](CDownloader& d) {
        d.RemoveHttpSeed(url);
        return TRUE;
    });
}

// libtorrent keeps one connection per HTTP seed and pipelines its requests
// on it; the count is accepted and there is nothing further to set.
BOOL WINAPI DLBT_Downloader_SetMaxSessionPerHttp(DLBT_DOWNLOADER downloader, int connections)
{
    return WithDownloader(downloader, FALSE, [&](CDownloader&) { return connections > 0 ? TRUE : FALSE; });
}

BOOL WINAPI DLBT_Downloader_AddTracker(DLBT_DOWNLOADER downloader, LPCSTR url, int tier)
{
    if (!url || !*url || tier < 0 || tier > 255)
        return FALSE;
    return WithDownloader(downloader, FALSE, [&](CDownloader& d) {
        lt::announce_entry tracker(url);
        tracker.tier = static_cast<std::uint8_t>(tier);
        d.Handle().add_tracker(tracker);
        return TRUE;
    });
}

BOOL WINAPI DLBT_Downloader_AddPeerSource(DLBT_DOWNLOADER downloader, LPCSTR address, USHORT port)
{
    if (!address)
        return FALSE;
    return WithDownloader(downloader, FALSE, [&](CDownloader& d) {
        lt::error_code ec;
        const lt::address ip = lt::make_address(address, ec);
        if (ec || port == 0)
            return FALSE;
        d.Handle().connect_peer(lt::tcp::endpoint(ip, port));
        return TRUE;
    });
}

BOOL WINAPI DLBT_Downloader_ResumeInError(DLBT_DOWNLOADER downloader)
{
    return WithDownloader(downloader, FALSE, [](CDownloader& d) { return d.ResumeInError() ? TRUE : FALSE; });
}

BOOL WINAPI DLBT_Downloader_SetDownloadLimit(DLBT_DOWNLOADER downloader, int bytesPerSecond)
{
    return WithDownloader(downloader, FALSE, [&](CDownloader& d) {
        d.Handle().set_download_limit(bytesPerSecond > 0 ? bytesPerSecond : -1);
        return TRUE;
    });
}

BOOL WINAPI DLBT_Downloader_SetUploadLimit(DLBT_DOWNLOADER downloader, int bytesPerSecond)
{
    return WithDownloader(downloader, FALSE, [&](CDownloader& d) {
        d.Handle().set_upload_limit(bytesPerSecond > 0 ? bytesPerSecond : -1);
        return TRUE;
    });
}

BOOL WINAPI DLBT_Downloader_SetMaxUploadConnections(DLBT_DOWNLOADER downloader, int connections)
{
    return WithDownloader(downloader, FALSE, [&](CDownloader& d) {
        d.Handle().set_max_uploads(connections > 0 ? connections : -1);
        return TRUE;
    });
}

BOOL WINAPI DLBT_Downloader_SetMaxTotalConnections(DLBT_DOWNLOADER downloader, int connections)
{
    return WithDownloader(downloader, FALSE, [&](CDownloader& d) {
        d.Handle().set_max_connections(connections > 1 ? connections : -1);
        return TRUE;
    });
}

BOOL WINAPI DLBT_Downloader_IsPaused(DLBT_DOWNLOADER downloader)
{
    return WithDownloader(downloader, FALSE, [](CDownloader& d) { return d.IsPaused() ? TRUE : FALSE; });
}

void WINAPI DLBT_Downloader_Pause(DLBT_DOWNLOADER downloader)
{
    Guarded([&] {
        if (CKernel* kernel = Kernel())
            kernel->Pause(downloader);
    });
}

void WINAPI DLBT_Downloader_Resume(DLBT_DOWNLOADER downloader)
{
    Guarded([&] {
        if (CKernel* kernel = Kernel())
            kernel->Resume(downloader);
    });
}

BOOL WINAPI DLBT_GetDownloaderInfo(DLBT_DOWNLOADER downloader, DLBT_DOWNLOADER_INFO* info)
{
    if (!info)
        return FALSE;
    return WithDownloader(downloader, FALSE, [&](CDownloader& d) {
        d.FillInfo(*info);
        return TRUE;
    });
}

int WINAPI DLBT_Downloader_GetLastError(DLBT_DOWNLOADER downloader, char* buffer, int* length)
{
    return WithDownloader(downloader, DLBT_ERROR_INVALID_HANDLE, [&](CDownloader& d) {
        return kernel::CopyOut(kernel::WideToAnsi(d.LastError()), buffer, length);
    });
}

int WINAPI DLBT_Downloader_GetTorrentName(DLBT_DOWNLOADER downloader, wchar_t* buffer, int* length)
{
    return WithDownloader(downloader, DLBT_ERROR_INVALID_HANDLE,
                          [&](CDownloader& d) { return kernel::CopyOut(d.TorrentName(), buffer, length); });
}

int WINAPI DLBT_Downloader_GetFilePathName(DLBT_DOWNLOADER downloader, int index, wchar_t* buffer, int* length,
                                           BOOL)
{
    return WithDownloader(downloader, DLBT_ERROR_INVALID_HANDLE, [&](CDownloader& d) {
        const std::wstring* path = d.RelativePath(index);
        return path ? kernel::CopyOut(*path, buffer, length) : DLBT_ERROR_INVALID_ARGUMENT;
    });
}

int WINAPI DLBT_Downloader_GetFileCount(DLBT_DOWNLOADER downloader)
{
    return WithDownloader(downloader, 0, [](CDownloader& d) { return d.FileCount(); });
}

} // extern "C"
