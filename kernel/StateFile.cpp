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
const char kStampsKey[] = "korvane-files"; // a list of [size, last write] by file index
const size_t kStateSizeLimit = 64 * 1024 * 1024;

// Upload-only mode is what libtorrent does after a write failed; a new start
// downloads again.
void WithoutFaultModes(lt::add_torrent_params& params)
{
    params.flags &= ~(lt::torrent_flags::upload_mode | lt::torrent_flags::seed_mode);
}

std::vector<SFileStamp> StampsOf(const lt::bdecode_node& root)
{
    std::vector<SFileStamp> stamps;
    const lt::bdecode_node list = root.dict_find_list(kStampsKey);
    for (int i = 0; list && i < list.list_size(); ++i) {
        const lt::bdecode_node item = list.list_at(i);
        if (item.type() != lt::bdecode_node::list_t || item.list_size() != 2)
            return {};
        stamps.push_back({item.list_int_value_at(0, -1), item.list_int_value_at(1, 0)});
    }
    return stamps;
}

lt::entry EntryOf(const std::vector<SFileStamp>& stamps)
{
    lt::entry list(lt::entry::list_t);
    for (const SFileStamp& stamp : stamps) {
        lt::entry item(lt::entry::list_t);
        item.list().emplace_back(stamp.size);
        item.list().emplace_back(stamp.lastWrite);
        list.list().push_back(std::move(item));
    }
    return list;
}

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

bool CStateFile::ReadClean(lt::add_torrent_params& params, std::vector<SFileStamp>& stamps)
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
    WithoutFaultModes(params);
    stamps = StampsOf(root);
    m_last = lt::entry(root);
    m_haveLast = true;
    m_lastClean = true;
    return true;
}

bool CStateFile::Write(const lt::add_torrent_params& params, bool clean, const std::vector<SFileStamp>& stamps)
{
    lt::add_torrent_params saved = params;
    WithoutFaultModes(saved);
    m_last = lt::write_resume_data(saved);
    if (!stamps.empty())
        m_last[kStampsKey] = EntryOf(stamps);
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
