#include "workflow/CompletionActions.h"

#include "util/PathText.h"

#include <windows.h>
#include <shellapi.h>

namespace {

bool ClimbsOut(const std::wstring& path)
{
    size_t start = 0;
    for (;;) {
        const size_t end = path.find_first_of(L"\\/", start);
        if (path.compare(start, end - start, L"..") == 0 && (end == std::wstring::npos || end - start == 2))
            return true;
        if (end == std::wstring::npos)
            return false;
        start = end + 1;
    }
}

} // namespace

bool IsContainedProgramPath(const std::wstring& mainExe)
{
    if (mainExe.empty() || mainExe[0] == L'\\' || mainExe[0] == L'/')
        return false;
    return mainExe.find(L':') == std::wstring::npos && !ClimbsOut(mainExe);
}

std::wstring GameProgramPath(const std::wstring& downloadDir, bool singleFile,
                             const std::wstring& firstFilePath, const std::wstring& mainExe)
{
    if (mainExe.size() < 2 || !IsContainedProgramPath(mainExe))
        return L"";
    std::wstring folder = WithOneTrailingBackslash(WithBackslashes(downloadDir));
    if (!singleFile) {
        const std::wstring first = WithBackslashes(firstFilePath);
        const size_t separator = first.find(L'\\');
        if (separator != std::wstring::npos && separator >= 1)
            folder += first.substr(0, separator);
        folder = WithOneTrailingBackslash(folder);
    }
    return folder + mainExe;
}

std::wstring ProgramWorkingFolder(const std::wstring& programPath)
{
    std::wstring folder = FolderOfPath(programPath);
    // "D:\" stays a root; "D:\Games\" becomes "D:\Games".
    if (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return folder;
}

void LaunchProgram(const std::wstring& path)
{
    const std::wstring folder = ProgramWorkingFolder(path);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = path.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = SW_SHOW;
    ::ShellExecuteExW(&info);
}
