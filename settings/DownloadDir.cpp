#include "settings/DownloadDir.h"

#include "distribution/Distribution.h"
#include "util/DirectoryTree.h"

#include <cstdint>

namespace {

bool FreeBytes(const IDriveProbe& drives, const wchar_t* root, uint64_t& bytes)
{
    return drives.FreeBytesForUser(root, bytes) || drives.FreeBytesFromClusters(root, bytes);
}

std::wstring GameFolderOn(const wchar_t* root)
{
    return std::wstring(root) + distribution::kGameFolderName + L"\\";
}

} // namespace

std::wstring ProposeDownloadDir(const IDriveProbe& drives)
{
    std::wstring proposal = GameFolderOn(L"C:\\");
    uint64_t best = 0;
    for (wchar_t letter = L'C'; letter <= L'Y'; ++letter) {
        const wchar_t root[] = {letter, L':', L'\\', L'\0'};
        uint64_t free = 0;
        if (drives.DriveType(root) != DRIVE_FIXED || !FreeBytes(drives, root, free))
            continue;
        if (free > best) {
            best = free;
            proposal = GameFolderOn(root);
        }
    }
    return proposal;
}

std::wstring GetDefaultDownloadDir()
{
    const std::wstring folder = ProposeDownloadDir(CSystemDriveProbe());
    CreateDirectoryTree(folder);
    return folder;
}
