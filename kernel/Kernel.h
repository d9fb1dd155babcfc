#pragma once

#include "DlbtApi.h"
#include "Downloader.h"

#include <libtorrent/session.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kernel {

class IDiskIo;

// One libtorrent session and its downloaders. Alerts are handled on one
// thread of the kernel's own, which also writes the state files; the
// caller's thread drives everything else.
class CKernel {
public:
    // `announcedAddress`: the address trackers are told, empty for the one
    // they see.
    CKernel(const DLBT_START_PARAMS& params, const std::wstring& dhtStateFile, const std::string& announcedAddress);
    ~CKernel(); // saves every downloader's state and closes the session

    CKernel(const CKernel&) = delete;
    CKernel& operator=(const CKernel&) = delete;

    void SetDownloadLimit(int bytesPerSecond);
    void SetUploadLimit(int bytesPerSecond);
    void SetLocalNetworkLimits(bool limit, int downBytesPerSecond, int upBytesPerSecond);
    void SetAnnouncedAddress(const std::string& address);
    void EnablePortMapping();
    void EnableDht();
    void FillInfo(DLBT_KERNEL_INFO& info);

    // Null, with `error` telling why, when the torrent cannot be added.
    DLBT_DOWNLOADER Add(const SDownloaderRequest& request, std::wstring& error);
    void Release(DLBT_DOWNLOADER downloader);
    void Pause(DLBT_DOWNLOADER downloader);
    void Resume(DLBT_DOWNLOADER downloader);

    // Runs `action` on the live downloader behind `downloader`, under the
    // kernel's lock; returns `fallback` for a handle that is not (or no
    // longer) one of ours.
    template <typename Result, typename Action>
    Result With(DLBT_DOWNLOADER downloader, Result fallback, Action action)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        CDownloader* found = Find(downloader);
        return found ? action(*found) : fallback;
    }

    // Asks every downloader to save its state; with `wait`, returns once
    // they are written (or a generous limit has passed).
    void SaveAll(bool clean, bool wait);

private:
    CDownloader* Find(DLBT_DOWNLOADER downloader);
    CDownloader* FindByHandle(const lt::torrent_handle& handle);
    void ReconnectHttpSeedsIfLowered(int before, int after);
    void TickAsTheLimitsNeed();
    // False when the downloader keeps no state file.
    bool RequestSave(CDownloader& downloader, bool clean, bool onlyIfModified);
    void WaitForSaves(std::unique_lock<std::mutex>& lock, CDownloader* only);
    void AlertLoop();
    void HandleAlert(lt::alert* alert);
    void OnFlushed(CDownloader& downloader);
    void OnFileError(const lt::file_error_alert& error);
    void WriteState(CDownloader& downloader, const lt::add_torrent_params& params, bool clean);
    void OnResumeData(const lt::torrent_handle& handle, const lt::add_torrent_params* params);
    void SaveDhtState();

    IDiskIo* m_diskIo = nullptr; // the session's, while it lives; null with libtorrent's own
    std::unique_ptr<lt::session> m_session;
    std::wstring m_dhtStateFile;

    std::mutex m_mutex;
    std::condition_variable m_saved;
    // By handle value: a count that is never reused, so a released handle
    // stays dead even when a later downloader lands at the same address.
    std::map<uintptr_t, std::unique_ptr<CDownloader>> m_downloaders;
    uintptr_t m_lastHandle = 0;
    // Per downloader, whether each save asked for and not yet answered was
    // a clean one; libtorrent answers in the order of asking.
    std::map<CDownloader*, std::deque<bool>> m_pendingSaves;
    uint64_t m_releasedDownload = 0;
    uint64_t m_releasedUpload = 0;

    std::atomic<bool> m_stopping{false};
    std::thread m_alertThread;
};

} // namespace kernel
