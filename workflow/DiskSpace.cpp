#include "workflow/DiskSpace.h"

#include "workflow/ProgressText.h"

#include <windows.h>

bool FreeBytesOfFolder(const std::wstring& folder, uint64_t& bytes)
{
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return false;
    bytes = available.QuadPart;
    return true;
}

std::wstring DiskSpaceWarningText(uint64_t totalSize)
{
    const SScaledBytes scaled = ScaleByteCount(static_cast<int64_t>(totalSize));
    return L"磁盘空间不足，下载游戏至少需要预留" + IntToString(static_cast<int>(scaled.value) + 10) + scaled.unit +
           L"的空间，请更改您的下载路径。";
}
