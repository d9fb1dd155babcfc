#include "workflow/ProgressText.h"

#include <cstdarg>
#include <cstdio>

namespace {

const wchar_t* const kUnits[] = {L"B", L"KB", L"MB", L"GB"};
const wchar_t* const kStateTexts[] = {L"初始化", L"检查文件", L"获取种子", L"", L"暂停",
                                      L"下载完成", L"供种中", L"分配存储空间"};
const wchar_t kErrorStateText[] = L"出错: ";

std::wstring Format(const wchar_t* format, ...)
{
    wchar_t buffer[256];
    va_list args;
    va_start(args, format);
    const int length = std::vswprintf(buffer, sizeof(buffer) / sizeof(buffer[0]), format, args);
    va_end(args);
    return length < 0 ? std::wstring() : std::wstring(buffer, length);
}

bool IsUnknown(uint64_t size) { return size == DLBT_UNKNOWN_SIZE; }

bool ShowsSpeed(int state)
{
    return state == DLBT_STATE_DOWNLOADING || state == DLBT_STATE_PAUSED || state == DLBT_STATE_COMPLETE ||
           state == DLBT_STATE_SEEDING || state == DLBT_STATE_ERROR;
}

// "1.2 GB" from MB up, "512 KB" below (the value cut toward zero).
std::wstring FormatScaled(const SScaledBytes& scaled)
{
    if (scaled.index > 1)
        return Format(L"%.1f %ls", scaled.value, scaled.unit);
    return Format(L"%d %ls", static_cast<int>(scaled.value), scaled.unit);
}

// Only a known total with no more than it downloaded leaves a meaningful
// remainder; anything else would show a time computed from a wrapped count.
bool RemainingBytes(const DLBT_DOWNLOADER_INFO& info, uint64_t& remaining)
{
    if (IsUnknown(info.totalSize) || info.downloaded > info.totalSize)
        return false;
    remaining = info.totalSize - info.downloaded;
    return true;
}

} // namespace

SScaledBytes ScaleByteCount(int64_t count)
{
    double x = static_cast<double>(count);
    int index = 0;
    while (x > 1024.0) {
        x *= 1.0 / 1024.0;
        ++index;
    }
    return {static_cast<float>(x), index < 4 ? kUnits[index] : L"?", index};
}

std::wstring FormatByteCount(int64_t count)
{
    if (static_cast<uint64_t>(count) == UINT64_MAX)
        return L"?";
    return FormatScaled(ScaleByteCount(count));
}

std::wstring IntToString(int n) { return Format(L"%d", n); }

std::wstring StateText(int code, const std::wstring& errorText)
{
    if (code == DLBT_STATE_ERROR)
        return kErrorStateText + errorText;
    if (code < 0 || code >= static_cast<int>(sizeof(kStateTexts) / sizeof(kStateTexts[0])))
        return L"";
    return kStateTexts[code];
}

std::wstring FormatRemainingTime(uint32_t seconds)
{
    const uint32_t hours = seconds / 3600;
    const uint32_t minutes = (seconds - hours * 3600) / 60;
    return Format(L"%02d:%02d:%02d", static_cast<int>(hours), static_cast<int>(minutes),
                  static_cast<int>(seconds % 60));
}

std::wstring FormatProgressPart(const DLBT_DOWNLOADER_INFO& info)
{
    const SScaledBytes done = ScaleByteCount(static_cast<int64_t>(info.downloaded));
    if (IsUnknown(info.totalSize))
        return FormatScaled(done);
    return Format(L"%.1f%% [", info.percent) + FormatScaled(done) + L"]";
}

std::wstring FormatProgressLine(const DLBT_DOWNLOADER_INFO& info, const std::wstring& stateText)
{
    std::wstring line = stateText;
    if (!ShowsSpeed(info.state))
        return line + L"进度：" + FormatProgressPart(info);

    const uint32_t speed = static_cast<uint32_t>(info.downloadSpeed);
    line += L"下载速度：" + FormatByteCount(static_cast<int64_t>(speed)) + L"/s";
    line += L"    完成下载：" + FormatProgressPart(info) + L"    ";
    uint64_t remaining = 0;
    if (speed != 0 && RemainingBytes(info, remaining))
        line += L"   剩余时间: " + FormatRemainingTime(static_cast<uint32_t>(remaining / speed));
    return line;
}

int ProgressPercent(const DLBT_DOWNLOADER_INFO& info, int current)
{
    if (!ShowsSpeed(info.state) || info.totalSize == 0)
        return current;
    return static_cast<int>(static_cast<uint32_t>(info.downloaded * 100 / info.totalSize));
}
