#include "Downloader.h"

#include "FileCheck.h"
#include "FilePlacement.h"
#include "KernelText.h"

#include <libtorrent/session.hpp>
#include <libtorrent/torrent_info.hpp>

#include <algorithm>
#include <cstring>
#include <set>

namespace kernel {
namespace {

const size_t kTorrentSizeLimit = 64 * 1024 * 1024;

std::shared_ptr<lt::torrent_info> LoadTorrent(const std::wstring& path, std::string& error)
{
    std::string bytes;
    if (!ReadFileContents(path, bytes, kTorrentSizeLimit)) {
        error = "cannot read the torrent file";
        return nullptr;
    }
    lt::error_code ec;
    auto torrent = std::make_shared<lt::torrent_info>(lt::span<char const>(bytes.data(), bytes.size()), ec,
                                                      lt::from_span);
    if (ec) {
        error = "not a torrent file: " + WideToUtf8(ErrorText(ec));
        return nullptr;
    }
    return torrent;
}

// A folder name that stays one folder inside the save folder.
bool IsPlainFolderName(const std::wstring& name)
{
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos;
}

// The files' places relative to the save folder, as the kernel reports them;
// the files libtorrent would put elsewhere are renamed to these places.
std::vector<std::wstring> PlaceFiles(lt::add_torrent_params& params, const lt::file_storage& files,
                                     const std::string& root)
{
    const std::vector<std::string> placed = PlacedPaths(files, root);
    std::vector<std::wstring> paths;
    for (const lt::file_index_t index : files.file_range()) {
        const std::string& path = placed[static_cast<size_t>(static_cast<int>(index))];
        if (path != files.file_path(index))
            params.renamed_files[index] = path;
        paths.push_back(Utf8ToWide(path));
    }
    return paths;
}

// libtorrent's word for a download whose every piece has passed its check,
// written or not.
bool Finished(const lt::torrent_status& status)
{
    return status.state == lt::torrent_status::finished || status.state == lt::torrent_status::seeding;
}

std::string HexOf(const lt::sha1_hash& hash)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char byte : hash) {
        hex += kDigits[(static_cast<unsigned char>(byte) >> 4) & 0xF];
        hex += kDigits[static_cast<unsigned char>(byte) & 0xF];
    }
    return hex;
}

} // namespace

std::unique_ptr<CDownloader> CDownloader::Create(lt::session& session, const SDownloaderRequest& request,
                                                 const TorrentHook& beforeAdd, std::string& error)
{
    std::shared_ptr<lt::torrent_info> torrent = LoadTorrent(request.torrentPath, error);
    if (!torrent)
        return nullptr;

    // A second downloader of a torrent already in the session would share
    // its libtorrent torrent, and releasing either would end both.
    if (session.find_torrent(torrent->info_hashes().get_best()).is_valid()) {
        error = "the torrent is already being downloaded";
        return nullptr;
    }

    CStateFile state(request.stateFile);
    lt::add_torrent_params params;
    std::vector<SFileStamp> stamps;
    if (request.stateFile.empty() || !state.ReadClean(params, stamps) ||
        params.info_hashes != torrent->info_hashes()) {
        params = lt::add_torrent_params();
        stamps.clear();
    }

    const lt::file_storage& files = torrent->files();
    if (!request.rootName.empty() && !IsPlainFolderName(request.rootName)) {
        error = "the root folder name is not a plain folder name";
        return nullptr;
    }
    params.renamed_files.clear();
    std::vector<std::wstring> paths = PlaceFiles(params, files, WideToUtf8(request.rootName));
    // A game completed before is looked at again: its files may have been
    // deleted, cut short or changed since.
    if (!stamps.empty())
        ForgetDamagedPieces(params, *torrent, request.saveFolder, paths, stamps);
    params.ti = torrent;
    params.save_path = WideToUtf8(request.saveFolder);
    params.storage_mode = request.sparseFiles ? lt::storage_mode_sparse : lt::storage_mode_allocate;
    params.flags &= ~(lt::torrent_flags::auto_managed | lt::torrent_flags::paused);
    params.flags |= lt::torrent_flags::duplicate_is_error;
    if (request.startPaused)
        params.flags |= lt::torrent_flags::paused;

    if (!request.stateFile.empty() && !request.startPaused)
        state.MarkRunning();

    beforeAdd(torrent);
    lt::error_code ec;
    lt::torrent_handle handle = session.add_torrent(std::move(params), ec);
    if (ec) {
        error = WideToUtf8(ErrorText(ec));
        return nullptr;
    }
    return std::unique_ptr<CDownloader>(new CDownloader(std::move(handle), std::move(torrent), request.saveFolder,
                                                        std::move(paths), std::move(state)));
}

CDownloader::CDownloader(lt::torrent_handle handle, std::shared_ptr<const lt::torrent_info> torrent,
                         std::wstring saveFolder, std::vector<std::wstring> relativePaths, CStateFile state)
    : m_handle(std::move(handle)), m_torrent(std::move(torrent)), m_saveFolder(std::move(saveFolder)),
      m_relativePaths(std::move(relativePaths)), m_state(std::move(state))
{
    const lt::file_storage& files = m_torrent->files();
    for (const lt::file_index_t index : files.file_range())
        if (!files.pad_file_at(index))
            m_listedFiles.push_back(static_cast<size_t>(static_cast<int>(index)));
}

void CDownloader::Pause() { m_handle.pause(); }

void CDownloader::AddHttpSeed(const std::string& url)
{
    m_handle.add_url_seed(url);
    if (std::find(m_httpSeeds.begin(), m_httpSeeds.end(), url) == m_httpSeeds.end())
        m_httpSeeds.push_back(url);
}

void CDownloader::RemoveHttpSeed(const std::string& url)
{
    m_handle.remove_url_seed(url);
    m_httpSeeds.erase(std::remove(m_httpSeeds.begin(), m_httpSeeds.end(), url), m_httpSeeds.end());
}

void CDownloader::RestoreHttpSeeds()
{
    const std::set<std::string> present = m_handle.url_seeds();
    for (const std::string& url : m_httpSeeds)
        if (present.count(url) == 0)
            m_handle.add_url_seed(url);
}

void CDownloader::ReconnectHttpSeeds()
{
    for (const std::string& url : m_httpSeeds) {
        m_handle.remove_url_seed(url);
        m_handle.add_url_seed(url);
    }
}

// A pause drops every connection; ask the trackers for peers again at once
// rather than when their announce interval allows it.
void CDownloader::Restart()
{
    m_state.MarkRunning();
    // A write that failed (a full drive) left libtorrent only uploading, or
    // in its error state, with the pieces it was writing in a state it does
    // not leave by itself. The player resumes once there is room: what is on
    // disk is checked again and the rest fetched.
    const bool uploadOnly = bool(m_handle.flags() & lt::torrent_flags::upload_mode);
    const bool inError = bool(m_handle.status({}).errc);
    if (m_diskFault || uploadOnly || inError) {
        if (inError)
            m_handle.clear_error();
        if (uploadOnly)
            m_handle.unset_flags(lt::torrent_flags::upload_mode);
        m_faultsWhenCheckAsked = m_diskFaults;
        m_handle.force_recheck();
    }
    m_handle.resume();
    m_handle.force_reannounce(0, -1, lt::torrent_handle::ignore_min_interval);
}

void CDownloader::OnDiskFault()
{
    m_diskFault = true;
    ++m_diskFaults;
    m_flush = kFlushNotAsked;
}

// Only a check asked for after the latest fault clears it: one that was
// already under way may have read the files before the fault.
void CDownloader::OnFilesChecked()
{
    if (m_faultsWhenCheckAsked == m_diskFaults)
        m_diskFault = false;
    m_faultsWhenCheckAsked = -1;
}

void CDownloader::Resume() { Restart(); }

bool CDownloader::IsPaused() const { return bool(m_handle.flags() & lt::torrent_flags::paused); }

bool CDownloader::ResumeInError()
{
    const lt::torrent_status status = m_handle.status({});
    if (!status.errc)
        return false;
    m_handle.clear_error();
    Restart();
    return true;
}

bool CDownloader::CompletionStored() const
{
    int expected = kFlushNotAsked;
    if (m_flush.compare_exchange_strong(expected, kFlushAsked))
        m_handle.flush_cache();
    return m_flush == kStateSaved;
}

bool CDownloader::OnFlushed()
{
    int expected = kFlushAsked;
    if (!m_flush.compare_exchange_strong(expected, kFlushDone))
        return false;
    // A write that failed before the flush ended has taken its piece back.
    const bool whole = Whole();
    if (whole && FilesHaveTheirSizes())
        return true;
    m_flush = kFlushNotAsked;
    if (whole) {
        // libtorrent holds a piece verified that never reached the disk:
        // nothing it claims is trusted until every file has been read again.
        Tell(L"a file of " + TorrentName() + L" is shorter than the torrent has it: checking every file again");
        OnDiskFault();
        m_faultsWhenCheckAsked = m_diskFaults;
        m_handle.force_recheck();
    }
    return false;
}

bool CDownloader::FilesHaveTheirSizes() const
{
    const std::vector<SFileStamp> stamps = FileStamps();
    const lt::file_storage& files = m_torrent->files();
    for (const lt::file_index_t index : files.file_range()) {
        const auto i = static_cast<size_t>(static_cast<int>(index));
        if (!files.pad_file_at(index) && stamps[i].size < files.file_size(index))
            return false;
    }
    return true;
}

bool CDownloader::Whole() const { return Whole(m_handle.status({})); }

bool CDownloader::Whole(const lt::torrent_status& status) const
{
    return Finished(status) && status.num_pieces == m_torrent->num_pieces() && !status.errc &&
           !(status.flags & lt::torrent_flags::upload_mode) && !m_diskFault;
}

void CDownloader::OnCompleteStateSaved()
{
    int expected = kFlushDone;
    m_flush.compare_exchange_strong(expected, kStateSaved);
}

int StateCodeOf(const lt::torrent_status& status)
{
    if (status.errc)
        return DLBT_STATE_ERROR;
    if (status.flags & lt::torrent_flags::paused)
        return DLBT_STATE_PAUSED;
    switch (status.state) {
    case lt::torrent_status::checking_resume_data:
    case lt::torrent_status::checking_files:
        return DLBT_STATE_CHECKING;
    case lt::torrent_status::downloading_metadata:
        return DLBT_STATE_GETTING_TORRENT;
    case lt::torrent_status::downloading:
        return DLBT_STATE_DOWNLOADING;
    case lt::torrent_status::finished:
        return DLBT_STATE_COMPLETE;
    case lt::torrent_status::seeding:
        return DLBT_STATE_SEEDING;
    default:
        return DLBT_STATE_INITIALISING;
    }
}

void CDownloader::FillInfo(DLBT_DOWNLOADER_INFO& info) const
{
    std::memset(&info, 0, sizeof info);
    const lt::torrent_status status = m_handle.status({});
    info.state = StateCodeOf(status);
    // Until then a game that came in is still downloading, and one found
    // complete on disk is still being checked.
    bool stuck = false;
    if (info.state == DLBT_STATE_COMPLETE || info.state == DLBT_STATE_SEEDING) {
        stuck = !Whole(status);
        if (stuck) {
            info.state = DLBT_STATE_DOWNLOADING;
            m_flush = kFlushNotAsked;
            CheckAgainIfOnlyAFaultIsLeft(status);
        } else if (!CompletionStored())
            info.state = status.total_payload_download > 0 ? DLBT_STATE_DOWNLOADING : DLBT_STATE_CHECKING;
    } else if (info.state == DLBT_STATE_DOWNLOADING) {
        m_flush = kFlushNotAsked;
    }
    info.peers = status.num_peers;
    info.seeds = status.num_seeds;
    info.piecesDone = status.num_pieces;
    info.pieceCount = m_torrent->num_pieces();
    info.percent = status.progress_ppm / 10000.0f;
    info.downloadSpeed = status.download_payload_rate;
    info.uploadSpeed = status.upload_payload_rate;
    info.downloaded = static_cast<uint64_t>(status.total_wanted_done);
    info.uploaded = static_cast<uint64_t>(status.total_payload_upload);
    info.wasted = static_cast<uint64_t>(status.total_failed_bytes + status.total_redundant_bytes);
    info.totalSize = status.has_metadata ? static_cast<uint64_t>(status.total_wanted) : DLBT_UNKNOWN_SIZE;
    if (stuck)
        CountOnlyWhatIsOnDisk(status, info);
    const lt::info_hash_t& hashes = m_torrent->info_hashes();
    const std::string hex = HexOf(hashes.has_v1() ? hashes.v1 : hashes.get_best());
    std::strncpy(info.infoHash, hex.c_str(), sizeof info.infoHash - 1);
}

// Finished with a piece missing: libtorrent still counts the bytes of a piece
// whose write failed as done. The program's disk check must see that bytes
// are still to come, and the player must not see 100 %.
void CDownloader::CountOnlyWhatIsOnDisk(const lt::torrent_status& status, DLBT_DOWNLOADER_INFO& info) const
{
    const int missingPieces = m_torrent->num_pieces() - status.num_pieces;
    const int64_t missing = static_cast<int64_t>(missingPieces) * m_torrent->piece_length();
    const int64_t onDisk = std::max<int64_t>(0, status.total_wanted - missing);
    info.downloaded = std::min<uint64_t>(info.downloaded, static_cast<uint64_t>(onDisk));
    info.percent = status.total_wanted > 0 ? static_cast<float>(100.0 * info.downloaded / status.total_wanted) : 0.0f;
}

// Every piece on disk as far as libtorrent knows, but a disk fault since the
// last check: nothing is missing that a player could make room for, so the
// files are read again at once, without waiting for a resume.
void CDownloader::CheckAgainIfOnlyAFaultIsLeft(const lt::torrent_status& status) const
{
    const bool allPieces = status.num_pieces == m_torrent->num_pieces();
    const bool stopped = bool(status.flags & lt::torrent_flags::paused) || status.errc;
    if (!allPieces || !m_diskFault || stopped || m_faultsWhenCheckAsked == m_diskFaults)
        return;
    m_faultsWhenCheckAsked = m_diskFaults;
    m_handle.unset_flags(lt::torrent_flags::upload_mode);
    m_handle.force_recheck();
}

std::wstring CDownloader::LastError() const
{
    const lt::torrent_status status = m_handle.status({});
    if (!status.errc)
        return {};
    std::wstring text = ErrorText(status.errc);
    if (status.error_file >= lt::file_index_t{0} && status.error_file < m_torrent->files().end_file()) {
        const auto index = static_cast<size_t>(static_cast<int>(status.error_file));
        if (index < m_relativePaths.size())
            text += L": " + m_relativePaths[index];
    }
    return text;
}

std::vector<SFileStamp> CDownloader::FileStamps() const
{
    const lt::file_storage& files = m_torrent->files();
    std::vector<SFileStamp> stamps;
    for (const lt::file_index_t index : files.file_range()) {
        const auto i = static_cast<size_t>(static_cast<int>(index));
        const bool onDisk = !files.pad_file_at(index);
        stamps.push_back(onDisk ? StampOf(PathOnDisk(m_saveFolder, m_relativePaths[i])) : SFileStamp());
    }
    return stamps;
}

bool CDownloader::StateTrustworthy() const
{
    const lt::torrent_status status = m_handle.status({});
    return !m_diskFault && !status.errc && !(status.flags & lt::torrent_flags::upload_mode) &&
           !(Finished(status) && status.num_pieces < m_torrent->num_pieces());
}

std::wstring CDownloader::TorrentName() const { return Utf8ToWide(m_torrent->name()); }

const std::wstring* CDownloader::RelativePath(int index) const
{
    if (index < 0 || index >= FileCount())
        return nullptr;
    return &m_relativePaths[m_listedFiles[static_cast<size_t>(index)]];
}

uint64_t CDownloader::UploadedPayload() const
{
    return static_cast<uint64_t>(m_handle.status({}).total_payload_upload);
}

} // namespace kernel
