#include "shell/OpenUrl.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace {

// ShellExecuteW reports success with a value above 32.
bool Started(HINSTANCE result)
{
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace

void OpenUrl(const std::wstring& url)
{
    OpenUrlWith(url, ::ShellExecuteW);
}

void OpenUrlWith(const std::wstring& url, ShellExecuteFunction shellExecute)
{
    if (Started(shellExecute(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED)))
        return;

    wchar_t browser[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, browser)))
        return;
    if (!::PathAppendW(browser, L"Internet Explorer\\IEXPLORE.EXE"))
        return;
    shellExecute(nullptr, L"open", browser, url.c_str(), nullptr, SW_SHOWMAXIMIZED);
}
