#pragma once

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/entry.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace kernel {

// What a file of a complete download looked like when it was last known to
// be whole: a file found otherwise at a later start is checked again.
struct SFileStamp {
    int64_t size = -1; // -1: no file there
    int64_t lastWrite = 0;
    bool operator==(const SFileStamp& other) const { return size == other.size && lastWrite == other.lastWrite; }
    bool operator!=(const SFileStamp& other) const { return !(*this == other); }
};

// A downloader's state file: libtorrent's resume data and a mark telling
// whether it was written while nothing more could reach the disk (on pause,
// release or shutdown). A file written while the download ran may be older
// than what is on disk after a crash; it is then not trusted and the files
// are verified instead, so nothing already downloaded is fetched again.
class CStateFile {
public:
    explicit CStateFile(std::wstring path) : m_path(std::move(path)) {}

    const std::wstring& Path() const { return m_path; }

    // The saved resume data when the file exists, parses and is clean, and
    // the stamps of the files when it was saved complete (else none). It
    // never brings back libtorrent's upload-only mode, which a failed write
    // left behind.
    bool ReadClean(lt::add_torrent_params& params, std::vector<SFileStamp>& stamps);

    // `stamps`: those of a complete download's files; empty for one that
    // is not complete.
    bool Write(const lt::add_torrent_params& params, bool clean, const std::vector<SFileStamp>& stamps);

    // Marks the last written state as no longer trustworthy, before the
    // download starts writing to disk again.
    bool MarkRunning();

private:
    bool WriteEntry(bool clean);

    std::wstring m_path;
    lt::entry m_last;
    bool m_haveLast = false;
    bool m_lastClean = false;
};

bool ReadFileContents(const std::wstring& path, std::string& bytes, size_t sizeLimit);

} // namespace kernel
