#include "workflow/DiskSpace.h"

#include "workflow/ProgressText.h"

#include "util/UniqueHandle.h"

#include <windows.h>

#include <algorithm>

bool FreeBytesOfFolder(const std::wstring& folder, uint64_t& bytes)
{
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr))
        return false;
    bytes = available.QuadPart;
    return true;
}

uint64_t BytesStillNeeded(uint64_t totalSize, uint64_t downloaded, uint64_t allocatedToFiles)
{
    const uint64_t inHand = std::max(downloaded, allocatedToFiles);
    return totalSize > inHand ? totalSize - inHand : 0;
}

uint64_t AllocatedBytesOf(const std::vector<std::wstring>& paths)
{
    uint64_t total = 0;
    for (const std::wstring& path : paths) {
        // Beyond MAX_PATH a path is opened in its long form.
        const std::wstring usable = path.size() >= MAX_PATH ? L"\\\\?\\" + path : path;
        CUniqueHandle file(::CreateFileW(usable.c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        FILE_STANDARD_INFO info{};
        if (file && ::GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &info, sizeof info))
            total += static_cast<uint64_t>(info.AllocationSize.QuadPart);
    }
    return total;
}

std::wstring DiskSpaceWarningText(uint64_t totalSize)
{
    const SScaledBytes scaled = ScaleByteCount(static_cast<int64_t>(totalSize));
    return L"磁盘空间不足，下载游戏至少需要预留" + IntToString(static_cast<int>(scaled.value) + 10) + scaled.unit +
           L"的空间，请更改您的下载路径。";
}
