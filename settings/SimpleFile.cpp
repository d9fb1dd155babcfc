#include "settings/SimpleFile.h"

#include "util/PathText.h"
#include "util/DirectoryTree.h"

namespace {

DWORD LastErrorCode()
{
    const DWORD error = ::GetLastError();
    return error != 0 ? error : static_cast<DWORD>(E_FAIL);
}

HANDLE CreateForWriting(const std::wstring& path, DWORD disposition)
{
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

DWORD CSimpleFile::Open(const std::wstring& path, bool forWrite)
{
    if (forWrite)
        return OpenForWriting(path, OPEN_ALWAYS);
    Close();
    // A reader never keeps a fetch from replacing the file it reads.
    return TakeHandle(::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

DWORD CSimpleFile::Create(const std::wstring& path) { return OpenForWriting(path, CREATE_ALWAYS); }

DWORD CSimpleFile::OpenForWriting(const std::wstring& path, DWORD disposition)
{
    Close();
    HANDLE handle = CreateForWriting(path, disposition);
    if (handle == INVALID_HANDLE_VALUE &&
        ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        // Most likely the folder is missing; make it and try once more.
        const std::wstring folder = FolderOfPath(path);
        if (!folder.empty())
            CreateDirectoryTree(folder);
        handle = CreateForWriting(path, disposition);
    }
    return TakeHandle(handle);
}

DWORD CSimpleFile::TakeHandle(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return LastErrorCode();
    m_handle.Reset(handle);
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle, &size))
        return LastErrorCode();
    m_size = static_cast<uint64_t>(size.QuadPart);
    return 0;
}

DWORD CSimpleFile::Read(void* buffer, DWORD& bytesRead)
{
    bytesRead = 0;
    if (!buffer)
        return static_cast<DWORD>(E_INVALIDARG);
    if (!::ReadFile(m_handle.Get(), buffer, kChunkSize, &bytesRead, nullptr))
        return LastErrorCode();
    return 0;
}

DWORD CSimpleFile::Append(const void* data, DWORD length)
{
    LARGE_INTEGER zero = {};
    if (!::SetFilePointerEx(m_handle.Get(), zero, nullptr, FILE_END))
        return LastErrorCode();
    DWORD written = 0;
    if (!::WriteFile(m_handle.Get(), data, length, &written, nullptr))
        return LastErrorCode();
    return written == length ? 0 : static_cast<DWORD>(E_FAIL);
}

DWORD CSimpleFile::Flush()
{
    return ::FlushFileBuffers(m_handle.Get()) ? 0 : LastErrorCode();
}

void CSimpleFile::Close()
{
    m_handle.Reset();
    m_size = 0;
}
