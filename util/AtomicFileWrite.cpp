#include "util/AtomicFileWrite.h"

#include "util/UniqueHandle.h"

#include <windows.h>

#include <atomic>

namespace {

// Unique per process and call: two writers of one destination, in this
// process or another, never share a temporary file.
std::wstring TemporaryNameBeside(const std::wstring& path)
{
    static std::atomic<unsigned> counter{0};
    return path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + L".part";
}

bool WriteAll(HANDLE file, const void* data, size_t size)
{
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, next, piece, &written, nullptr) || written == 0)
            return false;
        next += written;
        size -= written;
    }
    return true;
}

bool WriteNewFile(const std::wstring& path, const void* data, size_t size)
{
    CUniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    return WriteAll(file.Get(), data, size) && ::FlushFileBuffers(file.Get());
}

} // namespace

bool WriteFileAtomically(const std::wstring& path, const void* data, size_t size)
{
    const std::wstring temporary = TemporaryNameBeside(path);
    if (WriteNewFile(temporary, data, size) &&
        ::MoveFileExW(temporary.c_str(), path.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    ::DeleteFileW(temporary.c_str());
    return false;
}
