#include "engine/DlbtModule.h"

#include "settings/ConfigDir.h"
#include "settings/SimpleFile.h"
#include "util/PathText.h"
#include "util/UniqueHandle.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const wchar_t kLibraryName[] = L"DLBT.dll";
const wchar_t kSecondLibraryName[] = L"DLBT_3.8.dll";
const int kLibraryResourceId = 131;
const wchar_t kLibraryResourceType[] = L"DLLRES";

// Resources live as long as the module; nothing to free.
bool FindLibraryResource(const void*& data, DWORD& size)
{
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(kLibraryResourceId), kLibraryResourceType);
    if (!resource)
        return false;
    HGLOBAL loaded = ::LoadResource(self, resource);
    size = ::SizeofResource(self, resource);
    data = loaded ? ::LockResource(loaded) : nullptr;
    return data != nullptr && size != 0;
}

// Whether the file at `path` holds exactly `size` bytes of `data`.
bool FileHolds(const std::wstring& path, const void* data, DWORD size)
{
    CUniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER fileSize{};
    if (!file || !::GetFileSizeEx(file.Get(), &fileSize) || fileSize.QuadPart != size)
        return false;
    std::vector<char> chunk(1 << 20);
    const char* expected = static_cast<const char*>(data);
    for (DWORD done = 0; done < size;) {
        DWORD read = 0;
        const DWORD wanted = std::min<DWORD>(size - done, static_cast<DWORD>(chunk.size()));
        if (!::ReadFile(file.Get(), chunk.data(), wanted, &read, nullptr) || read == 0 ||
            std::memcmp(chunk.data(), expected + done, read) != 0)
            return false;
        done += read;
    }
    return true;
}

// A library left by an older version of the program loads, but lacks what
// was added since: the one to use is always the one carried.
bool IsCarriedLibrary(const std::wstring& path)
{
    const void* data = nullptr;
    DWORD size = 0;
    return !FindLibraryResource(data, size) || FileHolds(path, data, size);
}

template <typename Function>
void ResolveEntry(HMODULE module, const char* name, Function& entry)
{
    entry = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

} // namespace

bool ExtractEngineLibrary(const std::wstring& path)
{
    const void* data = nullptr;
    DWORD size = 0;
    if (!FindLibraryResource(data, size))
        return false;
    if (FileExists(path))
        ::DeleteFileW(path.c_str());
    if (FileExists(path))
        return true; // in use: the file there is the one to load
    CSimpleFile file;
    if (file.Open(path, true) != 0)
        return false;
    const bool written = file.Append(data, size) == 0;
    file.Close();
    return written;
}

CDlbtModule::CDlbtModule(std::wstring configDir) : m_configDir(std::move(configDir)) {}

CDlbtModule::~CDlbtModule()
{
    if (m_module)
        ::FreeLibrary(m_module);
}

std::wstring CDlbtModule::ConfigDir() const { return m_configDir.empty() ? GetConfigDir() : m_configDir; }

bool CDlbtModule::Load()
{
    if (m_module && m_resolved)
        return true;
    if (!m_module) {
        const std::wstring folder = ConfigDir();
        std::wstring path = folder + kLibraryName;
        if (!FileExists(path) || !IsCarriedLibrary(path))
            ExtractEngineLibrary(path);
        if (!FileExists(path)) {
            path = folder + kSecondLibraryName;
            ExtractEngineLibrary(path);
        }
        m_module = ::LoadLibraryW(path.c_str());
        if (!m_module) {
            // A damaged or foreign file: write ours over it and try once more.
            path = folder + kLibraryName;
            ExtractEngineLibrary(path);
            m_module = ::LoadLibraryW(path.c_str());
            if (!m_module)
                return false;
        }
    }
    Resolve();
    return true;
}

void CDlbtModule::Unload()
{
    if (m_module)
        ::FreeLibrary(m_module);
    m_module = nullptr;
    m_functions = SDlbtFunctions();
    m_resolved = false;
    m_started = false;
}

void CDlbtModule::Resolve()
{
    SDlbtFunctions& f = m_functions;
    HMODULE m = m_module;
    ResolveEntry(m, "DLBT_Startup", f.DLBT_Startup);
    ResolveEntry(m, "DLBT_Shutdown", f.DLBT_Shutdown);
    ResolveEntry(m, "DLBT_PreShutdown", f.DLBT_PreShutdown);
    ResolveEntry(m, "DLBT_SetUploadSpeedLimit", f.DLBT_SetUploadSpeedLimit);
    ResolveEntry(m, "DLBT_SetDownloadSpeedLimit", f.DLBT_SetDownloadSpeedLimit);
    ResolveEntry(m, "DLBT_SetLocalNetworkLimit", f.DLBT_SetLocalNetworkLimit);
    ResolveEntry(m, "DLBT_SetReportIP", f.DLBT_SetReportIP);
    ResolveEntry(m, "DLBT_Downloader_Initialize", f.DLBT_Downloader_Initialize);
    ResolveEntry(m, "DLBT_Downloader_Release", f.DLBT_Downloader_Release);
    ResolveEntry(m, "DLBT_Downloader_AddHttpDownload", f.DLBT_Downloader_AddHttpDownload);
    ResolveEntry(m, "DLBT_Downloader_RemoveHttpDownload", f.DLBT_Downloader_RemoveHttpDownload);
    ResolveEntry(m, "DLBT_Downloader_SetMaxSessionPerHttp", f.DLBT_Downloader_SetMaxSessionPerHttp);
    ResolveEntry(m, "DLBT_Downloader_AddTracker", f.DLBT_Downloader_AddTracker);
    ResolveEntry(m, "DLBT_Downloader_AddPeerSource", f.DLBT_Downloader_AddPeerSource);
    ResolveEntry(m, "DLBT_Downloader_ResumeInError", f.DLBT_Downloader_ResumeInError);
    ResolveEntry(m, "DLBT_Downloader_SetDownloadLimit", f.DLBT_Downloader_SetDownloadLimit);
    ResolveEntry(m, "DLBT_Downloader_SetUploadLimit", f.DLBT_Downloader_SetUploadLimit);
    ResolveEntry(m, "DLBT_Downloader_SetMaxUploadConnections", f.DLBT_Downloader_SetMaxUploadConnections);
    ResolveEntry(m, "DLBT_Downloader_SetMaxTotalConnections", f.DLBT_Downloader_SetMaxTotalConnections);
    ResolveEntry(m, "DLBT_Downloader_IsPaused", f.DLBT_Downloader_IsPaused);
    ResolveEntry(m, "DLBT_Downloader_Pause", f.DLBT_Downloader_Pause);
    ResolveEntry(m, "DLBT_Downloader_Resume", f.DLBT_Downloader_Resume);
    ResolveEntry(m, "DLBT_GetKernelInfo", f.DLBT_GetKernelInfo);
    ResolveEntry(m, "DLBT_GetDownloaderInfo", f.DLBT_GetDownloaderInfo);
    ResolveEntry(m, "DLBT_SetDHTFilePathName", f.DLBT_SetDHTFilePathName);
    ResolveEntry(m, "DLBT_AddAppToWindowsXPFirewall", f.DLBT_AddAppToWindowsXPFirewall);
    ResolveEntry(m, "DLBT_AddUPnPPortMapping", f.DLBT_AddUPnPPortMapping);
    ResolveEntry(m, "DLBT_GetCurrentXPLimit", f.DLBT_GetCurrentXPLimit);
    ResolveEntry(m, "DLBT_ChangeXPConnectionLimit", f.DLBT_ChangeXPConnectionLimit);
    ResolveEntry(m, "DLBT_SetP2SPExtName", f.DLBT_SetP2SPExtName);
    ResolveEntry(m, "DLBT_Downloader_GetLastError", f.DLBT_Downloader_GetLastError);
    ResolveEntry(m, "DLBT_Downloader_GetTorrentName", f.DLBT_Downloader_GetTorrentName);
    ResolveEntry(m, "DLBT_Downloader_GetFilePathName", f.DLBT_Downloader_GetFilePathName);
    ResolveEntry(m, "DLBT_Downloader_GetFileCount", f.DLBT_Downloader_GetFileCount);
    m_resolved = true;
}
