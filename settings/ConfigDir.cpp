#include "settings/ConfigDir.h"

#include "app/Distribution.h"
#include "util/PathText.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace {

bool IsFolder(const wchar_t* path)
{
    const DWORD attributes = ::GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A file named "cfg" does not count: nothing could be written into it.
bool MakeFolder(const wchar_t* path)
{
    if (!IsFolder(path))
        ::SHCreateDirectoryExW(nullptr, path, nullptr);
    return IsFolder(path);
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
