#include "FileCheck.h"

#include "util/UniqueHandle.h"

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/torrent_info.hpp>

#include <windows.h>

#include <algorithm>
#include <set>

namespace kernel {
namespace {

const size_t kShortPathLimit = MAX_PATH - 12; // what CreateFileW takes without "\\?\"

// Reads the pieces of the torrent from disk, keeping the last file open.
class CPieceReader {
public:
    CPieceReader(const lt::file_storage& files, const std::wstring& saveFolder, const std::vector<std::wstring>& paths)
        : m_files(files), m_saveFolder(saveFolder), m_paths(paths)
    {
    }

    // False when a part of the piece cannot be read in full.
    bool Read(lt::piece_index_t piece, std::vector<char>& bytes)
    {
        const int size = m_files.piece_size(piece);
        bytes.assign(static_cast<size_t>(size), '\0');
        size_t at = 0;
        for (const lt::file_slice& slice : m_files.map_block(piece, 0, size)) {
            // pad files are zeros and never on disk
            if (!m_files.pad_file_at(slice.file_index) &&
                !ReadSlice(slice.file_index, slice.offset, &bytes[at], static_cast<DWORD>(slice.size)))
                return false;
            at += static_cast<size_t>(slice.size);
        }
        return true;
    }

private:
    bool ReadSlice(lt::file_index_t index, int64_t offset, char* into, DWORD size)
    {
        if (index != m_openIndex) {
            const auto i = static_cast<size_t>(static_cast<int>(index));
            m_file.Reset(::CreateFileW(PathOnDisk(m_saveFolder, m_paths[i]).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            m_openIndex = index;
        }
        if (!m_file)
            return false;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        return ::ReadFile(m_file.Get(), into, size, &read, &at) && read == size;
    }

    const lt::file_storage& m_files;
    const std::wstring& m_saveFolder;
    const std::vector<std::wstring>& m_paths;
    lt::file_index_t m_openIndex{-1};
    CUniqueHandle m_file;
};

// The pieces that hold a byte of file `index`.
std::vector<lt::piece_index_t> PiecesOf(const lt::file_storage& files, lt::file_index_t index)
{
    const int64_t size = files.file_size(index);
    if (size <= 0)
        return {};
    const int first = static_cast<int>(files.map_file(index, 0, 0).piece);
    const int last = static_cast<int>(files.map_file(index, size - 1, 0).piece);
    std::vector<lt::piece_index_t> pieces;
    for (int piece = first; piece <= last; ++piece)
        pieces.emplace_back(piece);
    return pieces;
}

// The pieces claimed in `params` that a changed file has a part in.
std::set<lt::piece_index_t> PiecesOfChangedFiles(const lt::add_torrent_params& params, const lt::file_storage& files,
                                                 const std::wstring& saveFolder,
                                                 const std::vector<std::wstring>& paths,
                                                 const std::vector<SFileStamp>& stamps)
{
    std::set<lt::piece_index_t> pieces;
    for (const lt::file_index_t index : files.file_range()) {
        const auto i = static_cast<size_t>(static_cast<int>(index));
        if (files.pad_file_at(index) || (i < stamps.size() && StampOf(PathOnDisk(saveFolder, paths[i])) == stamps[i]))
            continue;
        for (const lt::piece_index_t piece : PiecesOf(files, index))
            if (piece < params.have_pieces.end_index() && params.have_pieces[piece])
                pieces.insert(piece);
    }
    return pieces;
}

bool PieceIsOnDisk(CPieceReader& reader, const lt::torrent_info& torrent, lt::piece_index_t piece,
                   std::vector<char>& buffer)
{
    if (!torrent.info_hashes().has_v1() || !reader.Read(piece, buffer))
        return false;
    lt::hasher hash(buffer.data(), static_cast<int>(buffer.size()));
    return hash.final() == torrent.hash_for_piece(piece);
}

} // namespace

std::wstring PathOnDisk(const std::wstring& saveFolder, const std::wstring& relative)
{
    std::wstring path = saveFolder;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
        path += L'\\';
    path += relative;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    const bool onDrive = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    return path.size() >= kShortPathLimit && onDrive ? L"\\\\?\\" + path : path;
}

SFileStamp StampOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return SFileStamp();
    SFileStamp stamp;
    stamp.size = static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    stamp.lastWrite = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                           data.ftLastWriteTime.dwLowDateTime);
    return stamp;
}

int ForgetDamagedPieces(lt::add_torrent_params& params, const lt::torrent_info& torrent,
                        const std::wstring& saveFolder, const std::vector<std::wstring>& paths,
                        const std::vector<SFileStamp>& stamps)
{
    const lt::file_storage& files = torrent.files();
    CPieceReader reader(files, saveFolder, paths);
    std::vector<char> buffer;
    int forgotten = 0;
    for (const lt::piece_index_t piece : PiecesOfChangedFiles(params, files, saveFolder, paths, stamps)) {
        if (PieceIsOnDisk(reader, torrent, piece, buffer))
            continue;
        params.have_pieces.clear_bit(piece);
        if (piece < params.verified_pieces.end_index())
            params.verified_pieces.clear_bit(piece);
        ++forgotten;
    }
    return forgotten;
}

} // namespace kernel
