#include "GameFiles.h"

#include <libtorrent/aux_/path.hpp>
#include <libtorrent/aux_/storage_utils.hpp>
#include <libtorrent/error_code.hpp>
#include <libtorrent/settings_pack.hpp>

#include <winioctl.h>

#include <algorithm>

namespace kernel {
namespace {

// One ReadFile or WriteFile moves at most this much, so a count always fits
// its DWORD and a huge request cannot starve the other thread of the drive.
const DWORD kMostPerCall = 8 * 1024 * 1024;

lt::error_code LastError()
{
    return lt::error_code(static_cast<int>(::GetLastError()), lt::system_category());
}

OVERLAPPED At(int64_t offset)
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    return at;
}

// Writes all of `data` at `offset`: Windows may write less than asked (a
// drive filling up), and the rest is tried again, so that what fails is
// reported as the system says it, ERROR_DISK_FULL for a full drive.
int WriteAll(HANDLE file, int64_t offset, lt::span<char> data, lt::storage_error& error)
{
    int done = 0;
    while (done < data.size()) {
        OVERLAPPED at = At(offset + done);
        DWORD written = 0;
        const DWORD ask = static_cast<DWORD>(std::min<int64_t>(data.size() - done, kMostPerCall));
        if (!::WriteFile(file, data.data() + done, ask, &written, &at)) {
            error.ec = LastError();
            error.operation = lt::operation_t::file_write;
            return -1;
        }
        if (written == 0) { // a drive that takes nothing and says nothing
            error.ec = lt::error_code(ERROR_DISK_FULL, lt::system_category());
            error.operation = lt::operation_t::file_write;
            return -1;
        }
        done += static_cast<int>(written);
    }
    return done;
}

// Reads `data` at `offset` until it is full or the file ends; a file that
// ends before the first byte is too short.
int ReadAll(HANDLE file, int64_t offset, lt::span<char> data, lt::storage_error& error)
{
    int done = 0;
    while (done < data.size()) {
        OVERLAPPED at = At(offset + done);
        DWORD read = 0;
        const DWORD ask = static_cast<DWORD>(std::min<int64_t>(data.size() - done, kMostPerCall));
        if (!::ReadFile(file, data.data() + done, ask, &read, &at)) {
            if (::GetLastError() == ERROR_HANDLE_EOF)
                break;
            error.ec = LastError();
            error.operation = lt::operation_t::file_read;
            return -1;
        }
        if (read == 0)
            break;
        done += static_cast<int>(read);
    }
    if (done == 0 && !data.empty()) {
        error.ec = lt::errors::file_too_short;
        error.operation = lt::operation_t::file_read;
        return -1;
    }
    return done;
}

} // namespace

CGameFiles::CGameFiles(const lt::storage_params& params)
    : m_files(params.files),
      m_mappedFiles(params.mapped_files ? std::make_unique<lt::file_storage>(*params.mapped_files) : nullptr),
      m_storage(lt::storage_params(m_files, m_mappedFiles.get(), params.path, params.mode, params.priorities,
                                   params.info_hash)),
      m_savePath(params.path),
      m_priorities(params.priorities),
      m_allocate(params.mode == lt::storage_mode_allocate)
{
}

CGameFiles::~CGameFiles() = default; // handles close themselves

int CGameFiles::Write(lt::piece_index_t piece, int offset, lt::span<char> data, lt::storage_error& error)
{
    return ReadWrite(piece, offset, data, true, error);
}

int CGameFiles::Read(lt::piece_index_t piece, int offset, lt::span<char> data, lt::storage_error& error)
{
    return ReadWrite(piece, offset, data, false, error);
}

int CGameFiles::ReadWrite(lt::piece_index_t piece, int offset, lt::span<char> data, bool write,
                          lt::storage_error& error)
{
    {
        CSharedLock transfer(m_filesLock);
        if (!ThroughPartFile(piece, offset, static_cast<int>(data.size())))
            return ReadWriteFiles(piece, offset, data, write, error);
    }
    // Files not downloaded keep their pieces in libtorrent's part file,
    // which only its own storage knows; rare enough to take turns.
    CFilesChange change(*this);
    return write ? change.Storage().write(lt::settings_pack(), data, piece, offset, error)
                 : change.Storage().read(lt::settings_pack(), data, piece, offset, error);
}

int CGameFiles::ReadWriteFiles(lt::piece_index_t piece, int offset, lt::span<char> data, bool write,
                               lt::storage_error& error)
{
    const lt::file_storage& files = Files();
    return lt::aux::readwrite(files, data, piece, offset, error,
        [&](lt::file_index_t file, int64_t fileOffset, lt::span<char> slice, lt::storage_error& ec) {
            if (files.pad_file_at(file))
                return write ? static_cast<int>(slice.size()) : lt::aux::read_zeroes(slice);
            const HANDLE handle = Handle(file, write, ec);
            if (!handle)
                return -1;
            return write ? WriteAll(handle, fileOffset, slice, ec) : ReadAll(handle, fileOffset, slice, ec);
        });
}

bool CGameFiles::ThroughPartFile(lt::piece_index_t piece, int offset, int length) const
{
    if (std::none_of(m_priorities.begin(), m_priorities.end(),
                     [](lt::download_priority_t p) { return p == lt::dont_download; }))
        return false;
    for (const lt::file_slice& slice : Files().map_block(piece, offset, length)) {
        if (slice.file_index < m_priorities.end_index() && m_priorities[slice.file_index] == lt::dont_download)
            return true;
    }
    return false;
}

HANDLE CGameFiles::Handle(lt::file_index_t file, bool write, lt::storage_error& error)
{
    auto usable = [&](const SOpenFile& open) { return open.writable || !write; };
    {
        CSharedLock look(m_openLock);
        auto found = m_open.find(file);
        if (found != m_open.end() && usable(found->second))
            return found->second.handle.Get();
    }
    CExclusiveLock change(m_openLock);
    auto found = m_open.find(file);
    if (found != m_open.end() && usable(found->second))
        return found->second.handle.Get(); // another thread opened it meanwhile
    CUniqueHandle handle = Open(file, write, error);
    if (!handle) {
        error.file(file);
        return nullptr;
    }
    SOpenFile& open = m_open[file];
    if (open.handle)
        m_retired.push_back(std::move(open.handle));
    open.handle = std::move(handle);
    open.writable = write;
    return open.handle.Get();
}

// A file opened to be written is created with its folders when missing, and
// marked sparse as libtorrent's own storage marks it, so that writing a
// piece far into a new file does not first fill the gap before it with
// zeros; where every file is to be allocated, it gets its full size at once.
CUniqueHandle CGameFiles::Open(lt::file_index_t file, bool write, lt::storage_error& error) const
{
    const std::string path = Files().file_path(file, m_savePath);
    const std::wstring native = lt::convert_to_native_path_string(path);
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL;
    const DWORD access = write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    CUniqueHandle handle(::CreateFileW(native.c_str(), access, share, nullptr, write ? OPEN_ALWAYS : OPEN_EXISTING,
                                       flags, nullptr));
    if (!handle && write && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
        lt::create_directories(lt::parent_path(path), error.ec);
        if (error.ec) {
            error.operation = lt::operation_t::mkdir;
            return CUniqueHandle();
        }
        handle.Reset(::CreateFileW(native.c_str(), access, share, nullptr, OPEN_ALWAYS, flags, nullptr));
    }
    if (!handle) {
        error.ec = LastError();
        error.operation = lt::operation_t::file_open;
        return handle;
    }
    if (write && ::GetLastError() != ERROR_ALREADY_EXISTS && !m_allocate) {
        DWORD ignored = 0; // a drive without sparse files (FAT, exFAT) fills in zeros itself
        ::DeviceIoControl(handle.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    }
    if (write && m_allocate)
        SetFullSize(handle.Get(), file, error);
    return error ? CUniqueHandle() : std::move(handle);
}

void CGameFiles::SetFullSize(HANDLE handle, lt::file_index_t file, lt::storage_error& error) const
{
    LARGE_INTEGER size{};
    const int64_t wanted = Files().file_size(file);
    if (::GetFileSizeEx(handle, &size) && size.QuadPart >= wanted)
        return;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = wanted;
    if (!::SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof(end))) {
        error.ec = LastError();
        error.operation = lt::operation_t::file_fallocate;
    }
}

void CGameFiles::FlushWritten()
{
    CSharedLock look(m_openLock);
    for (auto& entry : m_open) {
        if (entry.second.writable)
            ::FlushFileBuffers(entry.second.handle.Get());
    }
}

CGameFiles::CFilesChange::CFilesChange(CGameFiles& files) : m_owner(files), m_lock(files.m_filesLock) {}

void CGameFiles::CFilesChange::CloseAll()
{
    CExclusiveLock change(m_owner.m_openLock);
    for (auto& entry : m_owner.m_open) {
        if (entry.second.writable)
            ::FlushFileBuffers(entry.second.handle.Get());
    }
    m_owner.m_open.clear();
    m_owner.m_retired.clear();
    // Its cache of the files' sizes knows nothing of our writes.
    m_owner.m_storage.release_files();
}

void CGameFiles::CFilesChange::SetPriorities(
    const lt::aux::vector<lt::download_priority_t, lt::file_index_t>& priorities)
{
    m_owner.m_priorities = priorities;
}

} // namespace kernel
