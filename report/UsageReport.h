#pragma once

#include <cstdint>
#include <string>

// The usage reports' addresses and queries. Nothing in a query is
// percent-encoded: braces, quotes, colons and commas go out as they are.

// Wall-clock milliseconds since 1970-01-01 00:00 UTC.
uint64_t CurrentTimeMs();

// Whole minutes from `startMs` to `nowMs`; a clock set back gives a huge
// number, as the server has always seen it.
uint64_t MinutesSince(uint64_t startMs, uint64_t nowMs);

// "http://" + host + "/events/qorn_download_tracka?" + query.
std::wstring MakeReportUrl(const std::wstring& query, const std::wstring& host);
std::wstring MakeReportUrl(const std::wstring& query);

std::wstring StartReportQuery(const std::wstring& uuid, const std::wstring& ver);
std::wstring ProgressReportQuery(const std::wstring& uuid, uint64_t minutes, int rate, const std::wstring& ver);
std::wstring FinishReportQuery(const std::wstring& uuid, uint64_t minutes, const std::wstring& ver);
std::wstring CloseReportQuery(const std::wstring& uuid, uint64_t minutes, int rate, const std::wstring& ver,
                              uint64_t uploadedMiB);
