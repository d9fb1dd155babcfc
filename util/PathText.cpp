#include "util/PathText.h"

#include <windows.h>

#include <algorithm>

std::wstring WithOneTrailingBackslash(std::wstring path)
{
    while (!path.empty() && path.back() == L'/')
        path.pop_back();
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    path += L'\\';
    return path;
}

std::wstring WithBackslashes(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring FolderOfPath(const std::wstring& path)
{
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
