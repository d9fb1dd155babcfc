#include "report/UsageReporter.h"

#include "net/UrlClient.h"
#include "util/TextConvert.h"

namespace {

struct SBand {
    float from;
    float to;
    int CBaseSetting::*mark;
};

const SBand kBands[] = {
    {30.0f, 50.0f, &CBaseSetting::m_reportProcess30},
    {50.0f, 70.0f, &CBaseSetting::m_reportProcess50},
    {70.0f, 1e30f, &CBaseSetting::m_reportProcess70},
};

void Reap(std::unique_ptr<CAsyncGetHttpFile>& slot)
{
    if (!slot || !slot->ReadOutcome().finished)
        return;
    slot->Shutdown();
    slot.reset();
}

} // namespace

CUsageReporter::CUsageReporter(CAppSetting& settings, std::wstring host, ReportClock clock)
    : m_settings(settings), m_host(std::move(host)), m_clock(std::move(clock))
{
}

void CUsageReporter::ReportStart()
{
    if (m_settings.m_reportStart == 1)
        return;
    Send(m_startReport, StartReportQuery(Uuid(), Version()));
    SetMark(m_settings.m_reportStart);
}

void CUsageReporter::CheckProgressReports(float percent)
{
    for (const SBand& band : kBands) {
        int& mark = m_settings.*band.mark;
        if (mark == 0 && percent >= band.from && percent < band.to) {
            ReportProgress(static_cast<int>(percent));
            SetMark(mark);
        }
    }
}

void CUsageReporter::ReportProgress(int rate)
{
    Send(m_progressReport, ProgressReportQuery(Uuid(), Minutes(), rate, Version()));
}

void CUsageReporter::ReportFinish()
{
    if (m_settings.m_reportDone == 1)
        return;
    Send(m_finishReport, FinishReportQuery(Uuid(), Minutes(), Version()));
    SetMark(m_settings.m_reportDone);
}

void CUsageReporter::WaitForFinishReport(DWORD milliseconds)
{
    if (m_finishReport)
        m_finishReport->WaitForThread(milliseconds);
}

void CUsageReporter::ReportClose(int rate, uint64_t uploadedBytes)
{
    if (!DownloaderSeen())
        return;
    const std::wstring query = CloseReportQuery(Uuid(), Minutes(), rate, Version(), uploadedBytes >> 20);
    RequestUrl(WideToAnsi(MakeReportUrl(query, m_host)));
}

void CUsageReporter::ReapFinished()
{
    Reap(m_startReport);
    Reap(m_finishReport);
}

bool CUsageReporter::UnderWay() const
{
    for (const auto* slot : {&m_startReport, &m_progressReport, &m_finishReport})
        if (*slot && !(*slot)->ReadOutcome().finished)
            return true;
    return false;
}

void CUsageReporter::Send(std::unique_ptr<CAsyncGetHttpFile>& slot, const std::wstring& query)
{
    slot.reset(); // aborts a report still under way
    slot = std::make_unique<CAsyncGetHttpFile>();
    slot->Start(MakeReportUrl(query, m_host).c_str(), nullptr);
}

void CUsageReporter::SetMark(int& mark)
{
    mark = 1;
    m_settings.Save(m_settings.m_baseCfgPath);
}

uint64_t CUsageReporter::Minutes() const { return MinutesSince(m_startTime, m_clock()); }

std::wstring CUsageReporter::Uuid() const { return m_settings.m_uuid; }

std::wstring CUsageReporter::Version() const { return AnsiToWide(m_settings.m_ver); }
