#pragma once

#include "DlbtApi.h"
#include "StateFile.h"

#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_status.hpp>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <libtorrent/fwd.hpp>

namespace kernel {

// What a downloader is made from: the caller's arguments to Initialize.
struct SDownloaderRequest {
    std::wstring torrentPath;
    std::wstring saveFolder;
    std::wstring stateFile;
    std::wstring rootName; // empty: the torrent's own
    bool sparseFiles = true;
    bool startPaused = false;
};

// One torrent in the session, with the state file that lets a later start
// resume it. Owned by the kernel, which serialises every call on it.
class CDownloader {
public:
    // Null, with `error` telling why, when the torrent cannot be added.
    static std::unique_ptr<CDownloader> Create(lt::session& session, const SDownloaderRequest& request,
                                               std::string& error);

    const lt::torrent_handle& Handle() const { return m_handle; }
    CStateFile& State() { return m_state; }

    void Pause();
    void Resume();
    bool IsPaused() const;
    bool ResumeInError();

    // The HTTP seeds the program gave. libtorrent drops a seed for good once
    // it is blamed for pieces that failed their check, and with a damaged
    // seed beside it a sound one gets blamed too: every seed that was
    // dropped is asked again on each call.
    void AddHttpSeed(const std::string& url);
    void RemoveHttpSeed(const std::string& url);
    void RestoreHttpSeeds();
    void ReconnectHttpSeeds();

    // libtorrent calls a download finished once every piece has passed its
    // check, which can be before the last of them is on disk: a game started
    // then would miss files. It is reported complete only after its files
    // have been flushed since and a clean state file says so, because the
    // program may end the moment it sees completion (asked for here,
    // answered through OnFlushed and OnCompleteStateSaved).
    void FillInfo(DLBT_DOWNLOADER_INFO& info) const;
    // True when this flush was the one completion asked for: the kernel then
    // saves the clean state.
    bool OnFlushed();
    void OnCompleteStateSaved();
    // Complete, on disk and saved: nothing more will be written to its files.
    bool CompleteOnDisk() const { return m_flush == kStateSaved; }
    std::string LastError() const; // UTF-8, empty when none
    std::wstring TorrentName() const;
    // The game's files; pad files, which only align the others to pieces,
    // are neither counted nor named.
    int FileCount() const { return static_cast<int>(m_listedFiles.size()); }
    const std::wstring* RelativePath(int index) const;

    uint64_t UploadedPayload() const;

private:
    CDownloader(lt::torrent_handle handle, std::shared_ptr<const lt::torrent_info> torrent,
                std::vector<std::wstring> relativePaths, CStateFile state);
    void Restart();
    bool CompletionStored() const;

    enum EFlush { kFlushNotAsked, kFlushAsked, kFlushDone, kStateSaved };

    lt::torrent_handle m_handle;
    std::shared_ptr<const lt::torrent_info> m_torrent;
    std::vector<std::wstring> m_relativePaths; // by the torrent's file index
    std::vector<size_t> m_listedFiles;
    CStateFile m_state;
    std::vector<std::string> m_httpSeeds;
    mutable std::atomic<int> m_flush{kFlushNotAsked};
};

// The kernel's own state code for a torrent, in a fixed order of priority.
int StateCodeOf(const lt::torrent_status& status);

} // namespace kernel
