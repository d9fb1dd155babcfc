#pragma once

#include "net/AsyncGetHttpFile.h"
#include "report/UsageReport.h"
#include "settings/AppSetting.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

using ReportClock = std::function<uint64_t()>;

// Sends the usage reports of one run. The start, milestone and finish reports
// go out once per download, across runs, by their marks in "base.cfg"; each
// mark is set and saved as soon as its report is handed to a fetcher, whether
// it arrives or not. Replies are never looked at.
class CUsageReporter {
public:
    CUsageReporter(CAppSetting& settings, std::wstring host, ReportClock clock = CurrentTimeMs);
    CUsageReporter(const CUsageReporter&) = delete;
    CUsageReporter& operator=(const CUsageReporter&) = delete;

    // A new downloader was seen running: the report times count from now.
    void MarkDownloaderSeen() { m_startTime = m_clock(); }
    bool DownloaderSeen() const { return m_startTime != 0; }

    void ReportStart();
    // At most one milestone per call: the band of 30, 50 or 70 per cent that
    // `percent` lies in, unless it was reported before. A band skipped
    // between two calls is never reported.
    void CheckProgressReports(float percent);
    void ReportProgress(int rate);
    void ReportFinish();
    // Gives a finish report still under way up to `milliseconds` to arrive,
    // for a program about to end.
    void WaitForFinishReport(DWORD milliseconds);
    // Blocks until the request has ended. Nothing when no downloader was
    // seen in this run.
    void ReportClose(int rate, uint64_t uploadedBytes);

    // Drops the start and finish fetchers that have finished; a milestone's
    // fetcher stays until the next milestone replaces it.
    void ReapFinished();
    // A report is still on its way.
    bool UnderWay() const;

    uint64_t m_startTime = 0; // ms; 0 until a downloader was seen
    std::unique_ptr<CAsyncGetHttpFile> m_startReport;
    std::unique_ptr<CAsyncGetHttpFile> m_progressReport;
    std::unique_ptr<CAsyncGetHttpFile> m_finishReport;

private:
    void Send(std::unique_ptr<CAsyncGetHttpFile>& slot, const std::wstring& query);
    void SetMark(int& mark);
    uint64_t Minutes() const;
    std::wstring Uuid() const;
    std::wstring Version() const;

    CAppSetting& m_settings;
    const std::wstring m_host;
    const ReportClock m_clock;
};
