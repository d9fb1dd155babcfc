#pragma once

#include <cstdint>
#include <string>

// Bytes available to the calling user on the volume holding `folder`; false
// when the system cannot tell.
bool FreeBytesOfFolder(const std::wstring& folder, uint64_t& bytes);

// The warning shown when the download does not fit: the game's whole size,
// in its own unit, plus a margin of ten of that unit.
std::wstring DiskSpaceWarningText(uint64_t totalSize);

inline constexpr wchar_t kDiskSpaceWarningCaption[] = L"警告";
