#pragma once

#include "DlbtApi.h"
#include "StateFile.h"

#include <libtorrent/torrent_handle.hpp>
#include <libtorrent/torrent_status.hpp>

#include <atomic>
#include <functional>
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
    // `beforeAdd` sees the torrent just before it goes into the session.
    using TorrentHook = std::function<void(std::shared_ptr<const lt::torrent_info>)>;
    static std::unique_ptr<CDownloader> Create(lt::session& session, const SDownloaderRequest& request,
                                               const TorrentHook& beforeAdd, std::string& error);

    const lt::torrent_handle& Handle() const { return m_handle; }
    CStateFile& State() { return m_state; }

    void Pause();
    // A resume after a disk fault (a write that failed, a read that failed
    // while checking) checks every file again before anything is trusted.
    void Resume();
    bool IsPaused() const;
    bool ResumeInError();

    // libtorrent told of a file that could not be written or read. Until a
    // check of the files has passed since, the download is not complete and
    // its state is not saved as trustworthy.
    void OnDiskFault();
    void OnFilesChecked();
    bool HasDiskFault() const { return m_diskFault; }

    // The HTTP seeds the program gave. libtorrent drops a seed for good once
    // it is blamed for pieces that failed their check, and with a damaged
    // seed beside it a sound one gets blamed too: every seed that was
    // dropped is asked again on each call.
    void AddHttpSeed(const std::string& url);
    void RemoveHttpSeed(const std::string& url);
    void RestoreHttpSeeds();
    void ReconnectHttpSeeds();

    // libtorrent calls a download finished once every piece has passed its
    // check, and it checks a piece from the blocks it still holds in memory:
    // the last of them may not be on disk yet, and a write that then fails
    // takes the piece back while the torrent stays finished. So a download
    // is reported complete only while every piece is on disk (Whole), after
    // its files have been flushed since and a clean state file says so,
    // because the program may end the moment it sees completion (asked for
    // here, answered through OnFlushed and OnCompleteStateSaved). Finished
    // with a piece missing, it is reported downloading: the program's disk
    // check then warns and pauses as it does for a full drive.
    void FillInfo(DLBT_DOWNLOADER_INFO& info) const;
    // Every piece verified and written, no write refused since the last
    // check of the files: the files on disk are the torrent's.
    bool Whole() const;
    // True when this flush was the one completion asked for and the download
    // is still whole: the kernel then saves the clean state.
    bool OnFlushed();
    void OnCompleteStateSaved();
    // Complete, on disk and saved: nothing more will be written to its files.
    bool CompleteOnDisk() const { return m_flush == kStateSaved && !m_diskFault; }
    std::wstring LastError() const; // empty when none
    // Whether a state saved now may be trusted at a later start: it claims
    // nothing that is not on disk.
    bool StateTrustworthy() const;
    // Each file's stamp, by file index, for the state of a complete download.
    std::vector<SFileStamp> FileStamps() const;
    std::wstring TorrentName() const;
    // The game's files; pad files, which only align the others to pieces,
    // are neither counted nor named.
    int FileCount() const { return static_cast<int>(m_listedFiles.size()); }
    const std::wstring* RelativePath(int index) const;

    uint64_t UploadedPayload() const;

private:
    CDownloader(lt::torrent_handle handle, std::shared_ptr<const lt::torrent_info> torrent, std::wstring saveFolder,
                std::vector<std::wstring> relativePaths, CStateFile state);
    void Restart();
    bool CompletionStored() const;
    bool Whole(const lt::torrent_status& status) const;
    bool FilesHaveTheirSizes() const;
    void CountOnlyWhatIsOnDisk(const lt::torrent_status& status, DLBT_DOWNLOADER_INFO& info) const;
    void CheckAgainIfOnlyAFaultIsLeft(const lt::torrent_status& status) const;

    enum EFlush { kFlushNotAsked, kFlushAsked, kFlushDone, kStateSaved };

    lt::torrent_handle m_handle;
    std::shared_ptr<const lt::torrent_info> m_torrent;
    std::wstring m_saveFolder;
    std::vector<std::wstring> m_relativePaths; // by the torrent's file index
    std::vector<size_t> m_listedFiles;
    CStateFile m_state;
    std::vector<std::string> m_httpSeeds;
    mutable std::atomic<int> m_flush{kFlushNotAsked};
    // Disk faults are counted so that a check that began before the latest
    // of them does not clear it.
    bool m_diskFault = false;
    int m_diskFaults = 0;
    mutable int m_faultsWhenCheckAsked = -1;
};

// The kernel's own state code for a torrent, in a fixed order of priority.
int StateCodeOf(const lt::torrent_status& status);

} // namespace kernel
