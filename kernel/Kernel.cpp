#include "Kernel.h"

#include "DiskIo.h"
#include "KernelText.h"
#include "PortProbe.h"
#include "StateFile.h"

#include "util/AtomicFileWrite.h"

#include <libtorrent/alert_types.hpp>
#include <libtorrent/peer_class.hpp>
#include <libtorrent/session_params.hpp>
#include <libtorrent/settings_pack.hpp>

#include <algorithm>
#include <thread>

namespace kernel {
namespace {

const auto kPeriodicSave = std::chrono::seconds(30);
const auto kHttpSeedRetry = std::chrono::seconds(10);
const auto kSaveWaitLimit = std::chrono::seconds(15);
const size_t kDhtStateSizeLimit = 4 * 1024 * 1024;
const char kUserAgent[] = "Korvane/1.0 libtorrent/" LIBTORRENT_VERSION;

// libtorrent throws for a call on a torrent it has already dropped. Where
// one downloader's failure must not keep the others from being handled, the
// call goes through here.
template <typename Action>
void Quietly(Action action) noexcept
{
    try {
        action();
    } catch (...) {
    }
}

const int kCheckingBlocks = 1024; // of 16 KiB: sixteen 1 MiB pieces in hand while checking
const int kMostHashingThreads = 2;
const int kLimitedTickMs = 100;
const int kUnlimitedTickMs = 500; // libtorrent's own

int HashingThreads()
{
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, kMostHashingThreads);
}

std::string ListenInterfaces(uint16_t port)
{
    const std::string p = std::to_string(port);
    return "0.0.0.0:" + p + ",[::]:" + p;
}

// Everything the session starts with, in one place. Discovery that reaches
// beyond the configured trackers stays off unless the program asks for it.
lt::settings_pack StartSettings(const DLBT_START_PARAMS& params, const std::string& announcedAddress)
{
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::user_agent, kUserAgent);
    pack.set_str(lt::settings_pack::announce_ip, announcedAddress);
    pack.set_str(lt::settings_pack::listen_interfaces,
                 ListenInterfaces(FirstFreePort(params.firstPort, params.lastPort)));
    pack.set_int(lt::settings_pack::alert_mask,
                 lt::alert_category::error | lt::alert_category::status | lt::alert_category::storage);
    pack.set_bool(lt::settings_pack::enable_outgoing_tcp, params.tcp != 0);
    pack.set_bool(lt::settings_pack::enable_incoming_tcp, params.tcp != 0);
    // Our own connections go out over TCP whenever it is on. libtorrent's uTP
    // moves one datagram per call and yields to any delay it sees: on a
    // fast link it reaches a fraction of TCP's rate (1 GiB from one local
    // peer under Wine: 6.4 MB/s against about 190 MB/s over TCP, with 50 s of
    // CPU in the program and as much again in Wine's server, where every
    // datagram is a round trip). Peers that reach us over uTP are accepted.
    pack.set_bool(lt::settings_pack::enable_outgoing_utp, params.utp != 0 && params.tcp == 0);
    pack.set_bool(lt::settings_pack::enable_incoming_utp, params.utp != 0);
    pack.set_bool(lt::settings_pack::enable_dht, false);
    pack.set_bool(lt::settings_pack::enable_lsd, params.localDiscovery != 0);
    pack.set_bool(lt::settings_pack::enable_upnp, false);
    pack.set_bool(lt::settings_pack::enable_natpmp, false);
    // Players behind one address (a family, a café) are separate peers.
    pack.set_bool(lt::settings_pack::allow_multiple_connections_per_ip, true);
    // The publisher's HTTP seeds carry the swarm at the start: use them all.
    pack.set_int(lt::settings_pack::max_web_seed_connections, 16);
    pack.set_int(lt::settings_pack::urlseed_wait_retry, 10);
    // A player's pause drops every connection; after resume the same peers
    // must be reachable again within seconds, not after a minute.
    pack.set_int(lt::settings_pack::min_reconnect_time, 3);
    // A game found on disk without a trustworthy state file is checked piece
    // by piece, and hashing is what that check waits for. The disk back-end
    // has as many workers as hashing threads are set here (libtorrent's own
    // hashes on one unless told otherwise): two, each with pieces enough in
    // hand, keep both cores busy; more would make a hard disk seek between
    // them.
    pack.set_int(lt::settings_pack::hashing_threads, HashingThreads());
    pack.set_int(lt::settings_pack::checking_mem_usage, kCheckingBlocks);
    // For libtorrent's own back-end, which only the benchmarks use: writes
    // through the system's cache to the disk itself. The kernel's back-end
    // (DiskIo) writes through the cache and flushes before every state file
    // (WriteState) and before a download counts as complete.
    pack.set_int(lt::settings_pack::disk_io_write_mode, lt::settings_pack::write_through);
    return pack;
}

// libtorrent's memory-mapped back-end in place of the kernel's own, for the
// benchmarks that compare the two; no player's program sets it.
bool UseLibtorrentDiskIo()
{
    wchar_t value[16] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"KORVANE_DISK_IO", value, 16);
    return length > 0 && length < 16 && std::wstring(value) == L"libtorrent";
}

} // namespace

CKernel::CKernel(const DLBT_START_PARAMS& params, const std::wstring& dhtStateFile,
                 const std::string& announcedAddress)
    : m_dhtStateFile(dhtStateFile)
{
    lt::session_params sessionParams;
    std::string dhtState;
    if (!m_dhtStateFile.empty() && ReadFileContents(m_dhtStateFile, dhtState, kDhtStateSizeLimit))
        sessionParams = lt::read_session_params(dhtState, lt::session::save_dht_state);
    sessionParams.settings = StartSettings(params, announcedAddress);
    sessionParams.settings.set_bool(lt::settings_pack::enable_dht, params.dht != 0 || !m_dhtStateFile.empty());
    if (params.peerExchange == 0)
        sessionParams.extensions.clear(); // pex is one of the default extensions
    if (!UseLibtorrentDiskIo()) {
        sessionParams.disk_io_constructor = [this](lt::io_context& ios, const lt::settings_interface& settings,
                                                   lt::counters&) {
            std::unique_ptr<IDiskIo> diskIo = MakeDiskIo(ios, settings);
            m_diskIo = diskIo.get();
            return std::unique_ptr<lt::disk_interface>(std::move(diskIo));
        };
    }
    m_session = std::make_unique<lt::session>(std::move(sessionParams));
    m_alertThread = std::thread([this] { AlertLoop(); });
}

CKernel::~CKernel()
{
    Quietly([&] { m_session->pause(); });
    Quietly([&] { SaveAll(true, true); });
    Quietly([&] { SaveDhtState(); });
    m_stopping = true;
    m_alertThread.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_downloaders.clear();
    }
    // The proxy waits, as it goes, until the session has closed its files
    // and said goodbye to the trackers.
    Quietly([&] {
        lt::session_proxy closing = m_session->abort();
        m_session.reset();
    });
}

void CKernel::SetDownloadLimit(int bytesPerSecond)
{
    const int before = m_session->get_settings().get_int(lt::settings_pack::download_rate_limit);
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::download_rate_limit, std::max(bytesPerSecond, 0));
    m_session->apply_settings(std::move(pack));
    ReconnectHttpSeedsIfLowered(before, bytesPerSecond);
    TickAsTheLimitsNeed();
}

void CKernel::SetUploadLimit(int bytesPerSecond)
{
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::upload_rate_limit, std::max(bytesPerSecond, 0));
    m_session->apply_settings(std::move(pack));
    TickAsTheLimitsNeed();
}

// Under a rate limit a connection asks the limiter for all the bytes it has
// outstanding at once and is served when that much has gathered or after 20
// ticks; for an HTTP seed with a megabyte or more requested that meant 10 s
// of silence at libtorrent's 500 ms ticks, in which a uTP peer also starved
// (its window closes while nothing is read). Ticks of 100 ms hand out what
// has gathered every 2 s. Without a limit the session keeps its own 500 ms:
// each tick wakes its threads, ten times a second for a kernel that waits.
void CKernel::TickAsTheLimitsNeed()
{
    const lt::settings_pack settings = m_session->get_settings();
    const lt::peer_class_info local = m_session->get_peer_class(lt::session::local_peer_class_id);
    const bool limited = settings.get_int(lt::settings_pack::download_rate_limit) > 0 ||
                         settings.get_int(lt::settings_pack::upload_rate_limit) > 0 || local.download_limit > 0 ||
                         local.upload_limit > 0;
    const int interval = limited ? kLimitedTickMs : kUnlimitedTickMs;
    if (settings.get_int(lt::settings_pack::tick_interval) == interval)
        return;
    lt::settings_pack pack;
    pack.set_int(lt::settings_pack::tick_interval, interval);
    m_session->apply_settings(std::move(pack));
}

// Peers on the local network, loopback included, belong to libtorrent's
// local peer class, which the session-wide limits do not reach.
void CKernel::SetLocalNetworkLimits(bool limit, int downBytesPerSecond, int upBytesPerSecond)
{
    lt::peer_class_info local = m_session->get_peer_class(lt::session::local_peer_class_id);
    const int before = local.download_limit;
    local.download_limit = limit ? std::max(downBytesPerSecond, 0) : 0;
    local.upload_limit = limit ? std::max(upBytesPerSecond, 0) : 0;
    m_session->set_peer_class(lt::session::local_peer_class_id, local);
    ReconnectHttpSeedsIfLowered(before, local.download_limit);
    TickAsTheLimitsNeed();
}

// A connection keeps the quota it was handed for what it had asked for when
// the limit was higher. An HTTP seed asks for a megabyte or more at a time:
// its connections are made anew, so that the lowered limit holds from the
// next request rather than after the last one already asked.
void CKernel::ReconnectHttpSeedsIfLowered(int before, int after)
{
    const bool lowered = after > 0 && (before <= 0 || after < before);
    if (!lowered)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& entry : m_downloaders)
        Quietly([&] { entry.second->ReconnectHttpSeeds(); });
}

void CKernel::SetAnnouncedAddress(const std::string& address)
{
    lt::settings_pack pack;
    pack.set_str(lt::settings_pack::announce_ip, address);
    m_session->apply_settings(std::move(pack));
}

void CKernel::EnablePortMapping()
{
    lt::settings_pack pack;
    pack.set_bool(lt::settings_pack::enable_upnp, true);
    pack.set_bool(lt::settings_pack::enable_natpmp, true);
    m_session->apply_settings(std::move(pack));
}

void CKernel::EnableDht()
{
    lt::settings_pack pack;
    pack.set_bool(lt::settings_pack::enable_dht, true);
    m_session->apply_settings(std::move(pack));
}

void CKernel::FillInfo(DLBT_KERNEL_INFO& info)
{
    info = DLBT_KERNEL_INFO{};
    info.listenPort = m_session->listen_port();
    std::lock_guard<std::mutex> lock(m_mutex);
    info.downloaderCount = static_cast<uint32_t>(m_downloaders.size());
    info.totalDownloaded = m_releasedDownload;
    info.totalUploaded = m_releasedUpload;
    if (m_diskIo) {
        const SDiskLoad load = m_diskIo->Load();
        info.diskBufferedBytes = load.bufferedBytes;
        info.diskPiecesInFlight = load.piecesInFlight;
    }
    for (auto& entry : m_downloaders) {
        Quietly([&] {
            const lt::torrent_status status = entry.second->Handle().status({});
            info.downloadSpeed += static_cast<uint32_t>(status.download_payload_rate);
            info.uploadSpeed += static_cast<uint32_t>(status.upload_payload_rate);
            info.totalDownloaded += static_cast<uint64_t>(status.total_payload_download);
            info.totalUploaded += static_cast<uint64_t>(status.total_payload_upload);
        });
    }
}

DLBT_DOWNLOADER CKernel::Add(const SDownloaderRequest& request, std::wstring& error)
{
    std::string reason;
    auto expect = [this](std::shared_ptr<const lt::torrent_info> torrent) {
        if (m_diskIo)
            m_diskIo->Expect(std::move(torrent));
    };
    std::unique_ptr<CDownloader> downloader = CDownloader::Create(*m_session, request, expect, reason);
    if (!downloader) {
        error = Utf8ToWide(reason);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    const uintptr_t handle = ++m_lastHandle;
    m_downloaders[handle] = std::move(downloader);
    return reinterpret_cast<DLBT_DOWNLOADER>(handle);
}

// However the torrent fares in libtorrent, the handle is dead afterwards.
void CKernel::Release(DLBT_DOWNLOADER handle)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    CDownloader* downloader = Find(handle);
    if (!downloader)
        return;
    Quietly([&] {
        downloader->Pause();
        RequestSave(*downloader, true, false);
    });
    WaitForSaves(lock, downloader);
    Quietly([&] {
        const lt::torrent_status status = downloader->Handle().status({});
        m_releasedDownload += static_cast<uint64_t>(status.total_payload_download);
        m_releasedUpload += static_cast<uint64_t>(status.total_payload_upload);
    });
    Quietly([&] { m_session->remove_torrent(downloader->Handle()); });
    m_pendingSaves.erase(downloader);
    m_downloaders.erase(reinterpret_cast<uintptr_t>(handle));
}

void CKernel::Pause(DLBT_DOWNLOADER handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (CDownloader* downloader = Find(handle)) {
        downloader->Pause();
        RequestSave(*downloader, true, false);
    }
}

void CKernel::Resume(DLBT_DOWNLOADER handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (CDownloader* downloader = Find(handle))
        downloader->Resume();
}

void CKernel::SaveAll(bool clean, bool wait)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (auto& entry : m_downloaders) {
        CDownloader& downloader = *entry.second;
        Quietly([&] {
            if (clean)
                downloader.Pause();
            RequestSave(downloader, clean, false);
        });
    }
    if (wait)
        WaitForSaves(lock, nullptr);
}

CDownloader* CKernel::Find(DLBT_DOWNLOADER handle)
{
    auto found = m_downloaders.find(reinterpret_cast<uintptr_t>(handle));
    return found == m_downloaders.end() ? nullptr : found->second.get();
}

CDownloader* CKernel::FindByHandle(const lt::torrent_handle& handle)
{
    for (auto& entry : m_downloaders)
        if (entry.second->Handle() == handle)
            return entry.second.get();
    return nullptr;
}

bool CKernel::RequestSave(CDownloader& downloader, bool clean, bool onlyIfModified)
{
    if (downloader.State().Path().empty())
        return false;
    lt::resume_data_flags_t flags = lt::torrent_handle::flush_disk_cache;
    if (onlyIfModified)
        flags |= lt::torrent_handle::only_if_modified;
    downloader.Handle().save_resume_data(flags);
    m_pendingSaves[&downloader].push_back(clean);
    return true;
}

void CKernel::WaitForSaves(std::unique_lock<std::mutex>& lock, CDownloader* only)
{
    m_saved.wait_for(lock, kSaveWaitLimit, [&] {
        if (only)
            return m_pendingSaves[only].empty();
        return std::all_of(m_pendingSaves.begin(), m_pendingSaves.end(),
                           [](const auto& entry) { return entry.second.empty(); });
    });
}

void CKernel::AlertLoop()
{
    auto lastSave = std::chrono::steady_clock::now();
    auto lastSeedRetry = lastSave;
    std::vector<lt::alert*> alerts;
    while (!m_stopping) {
        m_session->wait_for_alert(std::chrono::milliseconds(200));
        m_session->pop_alerts(&alerts);
        std::lock_guard<std::mutex> lock(m_mutex);
        for (lt::alert* alert : alerts) {
            try {
                HandleAlert(alert);
            } catch (const std::exception&) {
                // one bad alert must not end the kernel's only alert thread
            }
        }
        if (std::chrono::steady_clock::now() - lastSeedRetry >= kHttpSeedRetry) {
            lastSeedRetry = std::chrono::steady_clock::now();
            for (auto& entry : m_downloaders)
                Quietly([&] { entry.second->RestoreHttpSeeds(); });
        }
        if (std::chrono::steady_clock::now() - lastSave >= kPeriodicSave) {
            lastSave = std::chrono::steady_clock::now();
            for (auto& entry : m_downloaders) {
                CDownloader& downloader = *entry.second;
                // A complete download only reads from its files: its state
                // stays trustworthy.
                if (m_pendingSaves[&downloader].empty())
                    Quietly([&] { RequestSave(downloader, downloader.CompleteOnDisk(), true); });
            }
        }
    }
}

void CKernel::HandleAlert(lt::alert* alert)
{
    switch (alert->type()) {
    case lt::save_resume_data_alert::alert_type: {
        auto* saved = static_cast<lt::save_resume_data_alert*>(alert);
        OnResumeData(saved->handle, &saved->params);
        break;
    }
    case lt::cache_flushed_alert::alert_type:
        if (CDownloader* downloader = FindByHandle(static_cast<lt::cache_flushed_alert*>(alert)->handle))
            OnFlushed(*downloader);
        break;
    case lt::save_resume_data_failed_alert::alert_type:
        OnResumeData(static_cast<lt::save_resume_data_failed_alert*>(alert)->handle, nullptr);
        break;
    case lt::file_error_alert::alert_type:
        OnFileError(*static_cast<lt::file_error_alert*>(alert));
        break;
    case lt::torrent_checked_alert::alert_type:
        if (CDownloader* downloader = FindByHandle(static_cast<lt::torrent_checked_alert*>(alert)->handle))
            downloader->OnFilesChecked();
        break;
    default:
        break;
    }
}

// A completed download's state is saved clean at once: the program may end
// in the same moment it learns of the completion, and a later start must
// not have to check the whole game again.
void CKernel::OnFlushed(CDownloader& downloader)
{
    if (downloader.OnFlushed() && !RequestSave(downloader, true, false))
        downloader.OnCompleteStateSaved();
}

// A file that could not be written or read: the download may not be called
// complete, nor its state trusted, until its files have been checked again.
void CKernel::OnFileError(const lt::file_error_alert& error)
{
    CDownloader* downloader = FindByHandle(error.handle);
    if (!downloader)
        return;
    downloader->OnDiskFault();
    Tell(L"cannot " + Utf8ToWide(lt::operation_name(error.op)) + L" " + Utf8ToWide(error.filename()) + L": " +
         ErrorText(error.error));
}

// Since the answers come in the order of asking, the oldest pending request
// is the one answered. An answer for a downloader already released is
// dropped: its final state was written before it went.
void CKernel::OnResumeData(const lt::torrent_handle& handle, const lt::add_torrent_params* params)
{
    CDownloader* downloader = FindByHandle(handle);
    if (!downloader)
        return;
    std::deque<bool>& pending = m_pendingSaves[downloader];
    const bool clean = !pending.empty() && pending.front();
    if (!pending.empty())
        pending.pop_front();
    if (params)
        Quietly([&] { WriteState(*downloader, *params, clean); });
    // Even a save that failed ends the wait: completion is not held back for
    // a state file that cannot be written.
    if (clean)
        downloader->OnCompleteStateSaved();
    m_saved.notify_all();
}

// A state written while a disk fault stands, or while libtorrent calls the
// download finished with a piece missing, could claim what is not on disk:
// it is written, but not as one to trust. A complete download's state keeps
// what its files looked like, to be compared at the next start.
void CKernel::WriteState(CDownloader& downloader, const lt::add_torrent_params& params, bool clean)
{
    const bool trustworthy = clean && downloader.StateTrustworthy();
    const bool whole = trustworthy && downloader.Whole();
    // What the state claims was written before libtorrent made the state;
    // it goes to the disk itself before the state file does.
    if (m_diskIo)
        m_diskIo->FlushWritten();
    downloader.State().Write(params, trustworthy, whole ? downloader.FileStamps() : std::vector<SFileStamp>());
}

void CKernel::SaveDhtState()
{
    if (m_dhtStateFile.empty())
        return;
    const std::vector<char> state =
        lt::write_session_params_buf(m_session->session_state(lt::session::save_dht_state),
                                     lt::session::save_dht_state);
    WriteFileAtomically(m_dhtStateFile, state.data(), state.size());
}

} // namespace kernel
