#include "StateFile.h"

#include <libtorrent/bdecode.hpp>
#include <libtorrent/bencode.hpp>
#include <libtorrent/read_resume_data.hpp>
#include <libtorrent/write_resume_data.hpp>

#include <windows.h>

#include <iterator>

namespace kernel {
namespace {

const char kCleanKey[] = "korvane-clean";
const size_t kStateSizeLimit = 64 * 1024 * 1024;

struct HandleCloser {
    HANDLE handle;
    ~HandleCloser()
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
};

} // namespace

bool ReadFileContents(const std::wstring& path, std::string& bytes, size_t sizeLimit)
{
    HandleCloser file{::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.handle, &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > sizeLimit)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        if (!::ReadFile(file.handle, &bytes[done], chunk, &read, nullptr) || read == 0)
            return false;
        done += read;
    }
    return true;
}

bool ReplaceFileContents(const std::wstring& path, const std::string& bytes)
{
    const std::wstring temporary = path + L".tmp";
    {
        HandleCloser file{::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (file.handle == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        const bool ok = ::WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                    nullptr) &&
                        written == bytes.size() && ::FlushFileBuffers(file.handle);
        if (!ok) {
            ::CloseHandle(file.handle);
            file.handle = INVALID_HANDLE_VALUE;
            ::DeleteFileW(temporary.c_str());
            return false;
        }
    }
    if (::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    ::DeleteFileW(temporary.c_str());
    return false;
}

bool CStateFile::ReadClean(lt::add_torrent_params& params)
{
    std::string bytes;
    if (!ReadFileContents(m_path, bytes, kStateSizeLimit))
        return false;
    lt::error_code ec;
    const lt::bdecode_node root = lt::bdecode(bytes, ec);
    if (ec || root.type() != lt::bdecode_node::dict_t || root.dict_find_int_value(kCleanKey, 0) != 1)
        return false;
    params = lt::read_resume_data(root, ec);
    if (ec)
        return false;
    m_last = lt::entry(root);
    m_haveLast = true;
    m_lastClean = true;
    return true;
}

bool CStateFile::Write(const lt::add_torrent_params& params, bool clean)
{
    m_last = lt::write_resume_data(params);
    m_haveLast = true;
    return WriteEntry(clean);
}

bool CStateFile::MarkRunning()
{
    if (!m_haveLast || !m_lastClean)
        return true;
    return WriteEntry(false);
}

bool CStateFile::WriteEntry(bool clean)
{
    m_last[kCleanKey] = clean ? 1 : 0;
    std::string bytes;
    lt::bencode(std::back_inserter(bytes), m_last);
    if (!ReplaceFileContents(m_path, bytes))
        return false;
    m_lastClean = clean;
    return true;
}

} // namespace kernel
