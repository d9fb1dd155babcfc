#pragma once

#include "util/UniqueHandle.h"

#include <windows.h>

#include <cstdint>
#include <string>

// A file read in fixed chunks or written by appending, over one system file
// handle. Operations return 0 on success or an error code: the Win32 error,
// or E_FAIL when the system gave none.
class CSimpleFile {
public:
    static constexpr DWORD kChunkSize = 4096;

    CSimpleFile() = default;
    CSimpleFile(const CSimpleFile&) = delete;
    CSimpleFile& operator=(const CSimpleFile&) = delete;

    // Reading needs an existing file and lets others read, write and replace it.
    // Writing opens or creates the file (others may read it), creating
    // missing folders on the way; what is in the file stays.
    DWORD Open(const std::wstring& path, bool forWrite);
    // Writing into a file that starts empty, whatever was there before.
    DWORD Create(const std::wstring& path);

    // Reads up to kChunkSize bytes into `buffer`, which must hold that many.
    DWORD Read(void* buffer, DWORD& bytesRead);
    // Writes all of `data` at the end of the file; a short write fails.
    DWORD Append(const void* data, DWORD length);
    // Makes what was written durable before the file is relied on.
    DWORD Flush();
    void Close();

    bool IsOpen() const { return m_handle.Valid(); }
    uint64_t Size() const { return m_size; } // as found when opened

private:
    DWORD OpenForWriting(const std::wstring& path, DWORD disposition);
    DWORD TakeHandle(HANDLE handle);

    CUniqueHandle m_handle;
    uint64_t m_size = 0;
};
