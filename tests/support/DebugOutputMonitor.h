#pragma once

#include "util/UniqueHandle.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Collects what other processes write with OutputDebugString, as a debug
// viewer does: through the system-wide "DBWIN" buffer and its two events.
// Only one monitor can run on a desktop session at a time.
class DebugOutputMonitor {
public:
    using Sink = std::function<void(DWORD processId, const std::wstring& text)>;

    explicit DebugOutputMonitor(Sink sink = nullptr);
    ~DebugOutputMonitor();
    DebugOutputMonitor(const DebugOutputMonitor&) = delete;
    DebugOutputMonitor& operator=(const DebugOutputMonitor&) = delete;

    bool Running() const { return m_thread.joinable(); }
    // The texts `processId` wrote so far, one per call, without the line end.
    std::vector<std::wstring> TextsOf(DWORD processId) const;
    // When `processId` first wrote `text`; the clock's epoch when it never did.
    std::chrono::steady_clock::time_point TimeOf(DWORD processId, const std::wstring& text) const;

private:
    void Run();

    Sink m_sink;
    CUniqueHandle m_mutex, m_bufferReady, m_dataReady, m_stop, m_mapping;
    void* m_view = nullptr;
    mutable std::mutex m_lock;
    struct SText {
        DWORD processId;
        std::wstring text;
        std::chrono::steady_clock::time_point arrived;
    };
    std::vector<SText> m_texts;
    std::thread m_thread;
};
