#include "settings/ConfigDir.h"

#include "distribution/Distribution.h"
#include "util/PathText.h"
#include "util/UniqueHandle.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace {

bool IsFolder(const wchar_t* path)
{
    const DWORD attributes = ::GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Asked by creating a file: a folder on a read-only medium, or locked by
// its rights or attributes, exists but would refuse every settings file.
bool CanWriteInto(const wchar_t* folder)
{
    const std::wstring probe = std::wstring(folder) + L"\\~write-probe-" +
                               std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    CUniqueHandle file(::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return static_cast<bool>(file);
}

// A file named "cfg" does not count, nor a folder that cannot be written
// into: the program would lose its settings and never get its files.
bool MakeFolder(const wchar_t* path)
{
    if (!IsFolder(path))
        ::SHCreateDirectoryExW(nullptr, path, nullptr);
    return IsFolder(path) && CanWriteInto(path);
}

bool ProgramConfigDir(const std::wstring& programFolder, wchar_t (&folder)[MAX_PATH])
{
    if (programFolder.size() >= MAX_PATH)
        return false;
    programFolder.copy(folder, programFolder.size());
    folder[programFolder.size()] = L'\0';
    return ::PathAppendW(folder, L"cfg") && MakeFolder(folder);
}

void CommonDataConfigDir(wchar_t (&folder)[MAX_PATH])
{
    if (!::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_COMMON_APPDATA, TRUE))
        folder[0] = L'\0';
    ::PathAppendW(folder, distribution::kCommonDataFolderName);
    ::PathAppendW(folder, L"cfg");
}

} // namespace

std::wstring GetConfigDir()
{
    wchar_t program[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    ::PathRemoveFileSpecW(program);
    return GetConfigDirIn(program);
}

std::wstring GetConfigDirIn(const std::wstring& programFolder)
{
    wchar_t folder[MAX_PATH] = {};
    if (!ProgramConfigDir(programFolder, folder))
        CommonDataConfigDir(folder);
    ::PathAppendW(folder, L""); // canonical form: no "." or ".." left
    return WithOneTrailingBackslash(folder);
}
