#include "faults/DownloaderRun.h"

#include "util/TextConvert.h"
#include "workflow/Collector.h"

namespace {

const wchar_t kWindowTitle[] = L"Korvane下载器";
const wchar_t kLinePrefix[] = L"Korvane: ";

// Start, pause and resume take turns on one spot: 118 x 40 at the right of
// the bottom row.
const LPARAM kBigButton = MAKELPARAM(632 - 15 - 59, 302 - 15 - 20);

} // namespace

bool DownloaderRun::Start(const std::wstring& program, const std::wstring& folder)
{
    ::SetEnvironmentVariableW(L"KORVANE_REPORT_HOST", CollectorHost().c_str());
    const bool started = m_process.Start(program, L"", folder);
    ::SetEnvironmentVariableW(L"KORVANE_REPORT_HOST", nullptr);
    if (!started)
        return false;
    m_window = m_process.WaitForWindowTitled(kWindowTitle);
    return m_window && WaitFor([&] { return ::IsWindowVisible(m_window) != FALSE; });
}

// The window may not take the click before it has settled, so start is
// pressed again when no line follows. Not sooner: until the downloader
// exists the window may show nothing, and a second click would pause.
// A message box raised by the press (the disk-space warning can come before
// the first line) is owned by the window, which is disabled while it is up:
// the press was taken, and pressing again would click into the box's loop.
bool DownloaderRun::PressStart()
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        PressBigButton();
        if (WaitFor([&] { return !Lines().empty() || !::IsWindowEnabled(m_window); }, std::chrono::seconds(15)))
            return true;
    }
    return false;
}

void DownloaderRun::PressBigButton() const
{
    ::PostMessageW(m_window, WM_MOUSEMOVE, 0, kBigButton);
    ::PostMessageW(m_window, WM_LBUTTONDOWN, MK_LBUTTON, kBigButton);
    ::PostMessageW(m_window, WM_LBUTTONUP, 0, kBigButton);
}

std::vector<std::wstring> DownloaderRun::Lines() const
{
    std::vector<std::wstring> lines;
    const std::wstring prefix = kLinePrefix;
    for (const std::wstring& text : m_monitor.TextsOf(m_process.Id()))
        if (text.rfind(prefix, 0) == 0)
            lines.push_back(text.substr(prefix.size()));
    return lines;
}

std::wstring DownloaderRun::LastLine() const
{
    const std::vector<std::wstring> lines = Lines();
    return lines.empty() ? std::wstring() : lines.back();
}

bool DownloaderRun::WaitForLine(const std::function<bool(const std::wstring&)>& wanted,
                                std::chrono::milliseconds limit) const
{
    return WaitFor([&] {
        const std::wstring line = LastLine();
        return !line.empty() && wanted(line);
    }, limit);
}

bool DownloaderRun::WaitForPercent(int percent, std::chrono::milliseconds limit) const
{
    return WaitForLine([&](const std::wstring& line) { return PercentOf(line) >= percent; }, limit);
}

std::string DownloaderRun::Shown() const
{
    std::string all = "the window showed:\n";
    for (const std::wstring& line : Lines())
        all += "  " + WideToAnsi(line) + "\n";
    return all;
}

HWND DownloaderRun::WaitForMessageBox(const wchar_t* caption, std::chrono::milliseconds limit) const
{
    return m_process.WaitForWindowTitled(caption, limit);
}

std::wstring MessageBoxText(HWND box)
{
    wchar_t text[512] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 512); // the box's text is its static control
    return text;
}

void PressOk(HWND box) { ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

int PercentOf(const std::wstring& line) { return _wtoi(line.c_str()); }
