#pragma once

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/entry.hpp>

#include <string>

namespace kernel {

// A downloader's state file: libtorrent's resume data and a mark telling
// whether it was written while nothing more could reach the disk (on pause,
// release or shutdown). A file written while the download ran may be older
// than what is on disk after a crash; it is then not trusted and the files
// are verified instead, so nothing already downloaded is fetched again.
class CStateFile {
public:
    explicit CStateFile(std::wstring path) : m_path(std::move(path)) {}

    const std::wstring& Path() const { return m_path; }

    // The saved resume data when the file exists, parses and is clean.
    bool ReadClean(lt::add_torrent_params& params);

    bool Write(const lt::add_torrent_params& params, bool clean);

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
