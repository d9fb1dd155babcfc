#pragma once

#include "DlbtApi.h"

#include <windows.h>

#include <string>
#include <vector>

// The tests' hold on the stand-in kernel library placed where the program's
// loader finds it. Holding it keeps the library, and so its script and its
// record of calls, alive while the program unloads and loads it again.
class FakeKernel {
public:
    // Copies the stand-in to `configDir` as the kernel library and loads it.
    explicit FakeKernel(const std::wstring& configDir);
    ~FakeKernel();
    FakeKernel(const FakeKernel&) = delete;
    FakeKernel& operator=(const FakeKernel&) = delete;

    bool Loaded() const { return m_module != nullptr; }

    void SetStatus(const DLBT_DOWNLOADER_INFO& status) const;
    void SetFiles(int count, const wchar_t* firstFile) const;
    void SetInitializeFails(bool fails) const;
    void SetLastError(const char* text) const;
    void SetUploaded(uint64_t bytes) const;
    void SetConnectionLimit(UINT limit) const;
    // The calls made so far, and forgets them.
    std::vector<std::string> TakeCalls() const;

private:
    template <typename Function>
    Function Entry(const char* name) const
    {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(m_module, name)));
    }

    HMODULE m_module = nullptr;
};

// A status record as the kernel reports it.
DLBT_DOWNLOADER_INFO Status(int state, float percent, int speed, uint64_t downloaded, uint64_t total,
                            const char* infoHash = "0123456789abcdef0123456789abcdef01234567");
