#include "support/DebugOutputMonitor.h"

#include "util/TextConvert.h"

namespace {

// The buffer a writer fills: its process id, then the text in the ANSI
// code page, ended by a zero.
const DWORD kBufferSize = 4096;

} // namespace

DebugOutputMonitor::DebugOutputMonitor(Sink sink)
    : m_sink(std::move(sink)),
      m_mutex(::CreateMutexW(nullptr, FALSE, L"DBWinMutex")),
      m_bufferReady(::CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY")),
      m_dataReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
      m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, L"DBWIN_BUFFER"))
{
    // Another viewer already owns the buffer: this one would only steal
    // half of its texts.
    const bool taken = ::GetLastError() == ERROR_ALREADY_EXISTS;
    if (!m_mutex || !m_bufferReady || !m_dataReady || !m_stop || !m_mapping || taken)
        return;
    m_view = ::MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, 0, 0, kBufferSize);
    if (m_view)
        m_thread = std::thread([this] { Run(); });
}

DebugOutputMonitor::~DebugOutputMonitor()
{
    if (m_thread.joinable()) {
        ::SetEvent(m_stop.Get());
        m_thread.join();
    }
    if (m_view)
        ::UnmapViewOfFile(m_view);
}

std::vector<std::wstring> DebugOutputMonitor::TextsOf(DWORD processId) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<std::wstring> texts;
    for (const SText& entry : m_texts)
        if (entry.processId == processId)
            texts.push_back(entry.text);
    return texts;
}

std::chrono::steady_clock::time_point DebugOutputMonitor::TimeOf(DWORD processId, const std::wstring& text) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    for (const SText& entry : m_texts)
        if (entry.processId == processId && entry.text == text)
            return entry.arrived;
    return {};
}

void DebugOutputMonitor::Run()
{
    const HANDLE waits[] = {m_dataReady.Get(), m_stop.Get()};
    while (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        const char* buffer = static_cast<const char*>(m_view);
        DWORD processId = 0;
        memcpy(&processId, buffer, sizeof processId);
        const char* text = buffer + sizeof processId;
        std::string ansi(text, strnlen(text, kBufferSize - sizeof processId));
        ::SetEvent(m_bufferReady.Get());
        while (!ansi.empty() && (ansi.back() == '\n' || ansi.back() == '\r'))
            ansi.pop_back();
        std::wstring wide = AnsiToWide(ansi);
        if (m_sink)
            m_sink(processId, wide);
        std::lock_guard<std::mutex> hold(m_lock);
        m_texts.push_back(SText{processId, std::move(wide), std::chrono::steady_clock::now()});
    }
}
