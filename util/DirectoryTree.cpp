#include "util/DirectoryTree.h"

namespace {

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A level that exists already counts as created: as a file it shows up as
// the next level's failure, and a folder the user may not write to can
// answer "access denied" rather than "exists".
DWORD CreateLevel(const std::wstring& level)
{
    if (::CreateDirectoryW(level.c_str(), nullptr))
        return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    return error == ERROR_ALREADY_EXISTS || IsFolder(level) ? ERROR_SUCCESS : error;
}

// The end of the level that starts being created at `from`: the next
// separator, skipping the one of a drive root so "D:\" is never a level of
// its own; npos when the level is the whole path.
size_t LevelEnd(const std::wstring& path, size_t from)
{
    size_t end = path.find(L'\\', from);
    if (end != std::wstring::npos && end > 0 && path[end - 1] == L':')
        end = path.find(L'\\', end + 1);
    return end;
}

// Creates the path's levels from the one that starts at `first`; the whole
// path is tried first, as it mostly exists or lacks one level only.
HRESULT CreateLevelsFrom(const std::wstring& path, size_t first)
{
    DWORD error = CreateLevel(path);
    if (error != ERROR_PATH_NOT_FOUND)
        return HRESULT_FROM_WIN32(error);

    for (size_t position = first;;) {
        const size_t end = LevelEnd(path, position);
        const bool whole = end == std::wstring::npos;
        error = CreateLevel(whole ? path : path.substr(0, end));
        if (error != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(error);
        if (whole)
            return S_OK;
        position = end + 1;
    }
}

} // namespace

HRESULT CreateDirectoryTree(const std::wstring& path)
{
    if (path.empty() || path[0] == L'\\')
        return E_INVALIDARG;
    return CreateLevelsFrom(path, 0);
}

HRESULT CreateFolderOnDriveOrShare(const std::wstring& path)
{
    if (path.rfind(L"\\\\", 0) != 0)
        return CreateDirectoryTree(path);
    const size_t server = path.find(L'\\', 2);
    const size_t share = server == std::wstring::npos ? server : path.find(L'\\', server + 1);
    if (share == std::wstring::npos)
        return IsFolder(path) ? S_OK : E_INVALIDARG; // the share itself, or less
    return CreateLevelsFrom(path, share + 1);
}

std::wstring NearestExistingFolder(std::wstring path)
{
    while (!IsFolder(path)) {
        while (!path.empty() && path.back() == L'\\')
            path.pop_back();
        const size_t separator = path.rfind(L'\\');
        if (separator == std::wstring::npos)
            return std::wstring();
        path.erase(separator + 1); // a drive's root keeps its "\"
    }
    return path;
}
