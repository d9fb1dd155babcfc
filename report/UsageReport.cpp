#include "report/UsageReport.h"

#include "distribution/Distribution.h"

#include <windows.h>

namespace {

const wchar_t kReportPath[] = L"/events/qorn_download_tracka?";
const uint64_t kUnitsFrom1601To1970 = 116444736000000000ull;

std::wstring VersionInfo(const std::wstring& ver) { return L"ext_info={\"ver\":\"" + ver + L"\""; }

std::wstring Head(const std::wstring& uuid, const wchar_t* opname, const std::wstring& costtime)
{
    return L"uuid=" + uuid + L"&opname=" + opname + L"&costtime=" + costtime;
}

} // namespace

uint64_t CurrentTimeMs()
{
    FILETIME now{};
    ::GetSystemTimePreciseAsFileTime(&now);
    const uint64_t units = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (units - kUnitsFrom1601To1970) / 10000;
}

uint64_t MinutesSince(uint64_t startMs, uint64_t nowMs) { return (nowMs - startMs) / 1000 / 60; }

std::wstring MakeReportUrl(const std::wstring& query, const std::wstring& host)
{
    return L"http://" + host + kReportPath + query;
}

std::wstring MakeReportUrl(const std::wstring& query) { return MakeReportUrl(query, distribution::kReportHost); }

std::wstring StartReportQuery(const std::wstring& uuid, const std::wstring& ver)
{
    return Head(uuid, L"start", L"0") + L"&rate=0&" + VersionInfo(ver) + L"}";
}

std::wstring ProgressReportQuery(const std::wstring& uuid, uint64_t minutes, int rate, const std::wstring& ver)
{
    return Head(uuid, L"finish", std::to_wstring(minutes)) + L"&rate=" + std::to_wstring(rate) + L"&" +
           VersionInfo(ver) + L"}";
}

std::wstring FinishReportQuery(const std::wstring& uuid, uint64_t minutes, const std::wstring& ver)
{
    return Head(uuid, L"finish", std::to_wstring(minutes)) + L"&rate=100&" + VersionInfo(ver) + L"}";
}

std::wstring CloseReportQuery(const std::wstring& uuid, uint64_t minutes, int rate, const std::wstring& ver,
                              uint64_t uploadedMiB)
{
    return Head(uuid, L"close", std::to_wstring(minutes)) + L"&rate=" + std::to_wstring(rate) + L"&" +
           VersionInfo(ver) + L",\"updata\":" + std::to_wstring(uploadedMiB) + L"}";
}
