#pragma once

#include "DlbtApi.h"

#include <cstdint>
#include <string>

// The texts of the progress display: byte counts, numbers, the kernel's
// states and the one progress line shown twice a second.

struct SScaledBytes {
    float value;
    const wchar_t* unit; // "B", "KB", "MB", "GB", or "?" beyond
    int index;           // 0 for B, one more for each step of 1024
};

// Divides by 1024 while the value is above 1024: exactly 1024 stays in B.
SScaledBytes ScaleByteCount(int64_t count);
// "1024 B", "1 KB", "1.0 MB"; "?" for a count with all bits set.
std::wstring FormatByteCount(int64_t count);
std::wstring IntToString(int n);

// The text of a state code; for an error it is followed by the kernel's
// error text, when there is one.
std::wstring StateText(int code, const std::wstring& errorText = {});

// Seconds as hours, minutes and seconds, hours not limited to two digits.
std::wstring FormatRemainingTime(uint32_t seconds);

// "45.3% [1.2 GB]" for a known total, "1.2 GB" while it is undetermined.
std::wstring FormatProgressPart(const DLBT_DOWNLOADER_INFO& info);

// The line shown for one status record, beginning with `stateText`.
std::wstring FormatProgressLine(const DLBT_DOWNLOADER_INFO& info, const std::wstring& stateText);

// The whole per cent of the byte counts, for the states that show speed;
// `current` is kept for the others and while the total is 0.
int ProgressPercent(const DLBT_DOWNLOADER_INFO& info, int current);
