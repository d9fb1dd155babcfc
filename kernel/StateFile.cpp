#include "StateFile.h"

#include "util/AtomicFileWrite.h"
#include "util/UniqueHandle.h"

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

} // namespace

bool ReadFileContents(const std::wstring& path, std::string& bytes, size_t sizeLimit)
{
    CUniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > sizeLimit)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        if (!::ReadFile(file.Get(), &bytes[done], chunk, &read, nullptr) || read == 0)
            return false;
        done += read;
    }
    return true;
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
    if (!WriteFileAtomically(m_path, bytes.data(), bytes.size()))
        return false;
    m_lastClean = clean;
    return true;
}

} // namespace kernel
