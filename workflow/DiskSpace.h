#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Bytes available to the calling user on the volume holding `folder`; false
// when the system cannot tell.
bool FreeBytesOfFolder(const std::wstring& folder, uint64_t& bytes);

// The bytes a download still needs from the drive's free space. The drive
// may already have set aside more than what has come in: FAT32 and exFAT
// allocate a file in full as soon as it is extended, so free space falls by
// the whole game at once. What is set aside for the game's own files is
// room the download already has.
uint64_t BytesStillNeeded(uint64_t totalSize, uint64_t downloaded, uint64_t allocatedToFiles);

// The space the drive has allocated to the files at `paths` together; files
// that do not exist (yet) count 0.
uint64_t AllocatedBytesOf(const std::vector<std::wstring>& paths);

// The warning shown when the download does not fit: the game's whole size,
// in its own unit, plus a margin of ten of that unit.
std::wstring DiskSpaceWarningText(uint64_t totalSize);

inline constexpr wchar_t kDiskSpaceWarningCaption[] = L"警告";
