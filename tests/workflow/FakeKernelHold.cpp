#include "workflow/FakeKernel.h"

#include "support/ChildProcess.h"

#include <cstring>
#include <sstream>

FakeKernel::FakeKernel(const std::wstring& configDir)
{
    const std::wstring path = configDir + L"DLBT.dll";
    ::CreateDirectoryW(configDir.c_str(), nullptr);
    if (::CopyFileW(WindowsPathOfHostPath(KORVANE_FAKE_KERNEL_DLL).c_str(), path.c_str(), FALSE))
        m_module = ::LoadLibraryW(path.c_str());
    if (m_module)
        Entry<void(WINAPI*)()>("FakeKernel_Reset")();
}

FakeKernel::~FakeKernel()
{
    if (m_module)
        ::FreeLibrary(m_module);
}

void FakeKernel::SetStatus(const DLBT_DOWNLOADER_INFO& status) const
{
    Entry<void (*)(const DLBT_DOWNLOADER_INFO*)>("FakeKernel_SetStatus")(&status);
}

void FakeKernel::SetFiles(int count, const wchar_t* firstFile) const
{
    Entry<void (*)(int, LPCWSTR)>("FakeKernel_SetFiles")(count, firstFile);
}

void FakeKernel::SetInitializeFails(bool fails) const
{
    Entry<void (*)(BOOL)>("FakeKernel_SetInitializeFails")(fails);
}

void FakeKernel::SetLastError(const char* text) const
{
    Entry<void (*)(const char*)>("FakeKernel_SetLastError")(text);
}

void FakeKernel::SetUploaded(uint64_t bytes) const
{
    Entry<void (*)(uint64_t)>("FakeKernel_SetUploaded")(bytes);
}

void FakeKernel::SetConnectionLimit(UINT limit) const
{
    Entry<void (*)(UINT)>("FakeKernel_SetConnectionLimit")(limit);
}

std::vector<std::string> FakeKernel::TakeCalls() const
{
    const auto log = Entry<int (*)(char*, int)>("FakeKernel_Log");
    std::string text(static_cast<size_t>(log(nullptr, 0)), '\0');
    log(&text[0], static_cast<int>(text.size()));
    std::vector<std::string> calls;
    std::istringstream lines(text.c_str());
    for (std::string line; std::getline(lines, line);)
        calls.push_back(line);
    Entry<void (*)()>("FakeKernel_ClearLog")();
    return calls;
}

DLBT_DOWNLOADER_INFO Status(int state, float percent, int speed, uint64_t downloaded, uint64_t total,
                            const char* infoHash)
{
    DLBT_DOWNLOADER_INFO info{};
    info.state = state;
    info.percent = percent;
    info.downloadSpeed = speed;
    info.downloaded = downloaded;
    info.totalSize = total;
    std::strncpy(info.infoHash, infoHash, sizeof(info.infoHash) - 1);
    return info;
}
