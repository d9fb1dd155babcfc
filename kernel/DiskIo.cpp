#include "DiskIo.h"

#include "GameFiles.h"

#include "util/SrwLock.h"

#include <libtorrent/add_torrent_params.hpp>
#include <libtorrent/aux_/storage_free_list.hpp>
#include <libtorrent/aux_/storage_utils.hpp>
#include <libtorrent/disk_buffer_holder.hpp>
#include <libtorrent/disk_observer.hpp>
#include <libtorrent/hasher.hpp>
#include <libtorrent/settings_pack.hpp>
#include <libtorrent/torrent_info.hpp>

#include <boost/asio/error.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <thread>
#include <vector>

namespace kernel {
namespace {

const int kBlock = lt::default_block_size;
// Blocks in order hashed at a time ahead of a piece's end: a job per block
// would cost a wake-up of a worker for every 16 KiB.
const int kHashAheadBlocks = 16;

// Pieces in memory. Above the high mark a peer that sends more waits
// (libtorrent lets every peer have a block or two on its way regardless),
// and pieces not complete yet are written where they stand, so that memory
// always comes free; below the low mark the waiting peers go on.
const int64_t kHighMark = 48 * 1024 * 1024;
const int64_t kLowMark = 32 * 1024 * 1024;

using WriteAnswer = std::function<void(const lt::storage_error&)>;
using HashAnswer = std::function<void(lt::piece_index_t, const lt::sha1_hash&, const lt::storage_error&)>;

enum class EBlock : uint8_t { kMissing, kInMemory, kOnDisk };

// A piece being downloaded. Blocks [0, cursor) are in `sha1`.
struct SPiece {
    lt::piece_index_t index{0};
    int size = 0;
    // The whole piece, while a block of it is in memory; its pages are taken
    // from the system as blocks arrive, so only those count.
    std::unique_ptr<char[]> data;
    int inMemory = 0; // bytes of the blocks only memory holds
    std::vector<EBlock> blocks;
    std::vector<std::pair<int, WriteAnswer>> waiting; // by block: writes not answered yet
    int cursor = 0;
    lt::hasher sha1;
    bool hashV1 = true;
    bool busy = false; // a worker hashes or writes it; only that worker touches `data` beyond new blocks
    bool hashQueued = false;

    // The hash libtorrent asked for once every block was in.
    bool hashAsked = false;
    HashAnswer answer;
    lt::span<lt::sha256_hash> v2;

    int BlockSize(int block) const { return std::min(kBlock, size - block * kBlock); }
    // How many blocks from the cursor on are in memory, in one run.
    int ReadyToHash() const
    {
        int end = cursor;
        while (end < static_cast<int>(blocks.size()) && blocks[end] == EBlock::kInMemory)
            ++end;
        return end - cursor;
    }
    bool Dirty(int block) const { return blocks[block] == EBlock::kInMemory; }
};

struct SStorage {
    explicit SStorage(const lt::storage_params& params) : files(params) {}
    CGameFiles files;
    std::shared_ptr<const lt::torrent_info> torrent; // for the pieces' hashes; may be null
    std::map<lt::piece_index_t, std::shared_ptr<SPiece>> pieces;
};

using StoragePtr = std::shared_ptr<SStorage>;

// Piece buffers, kept for the next piece: a fresh one costs the system a
// page fault for every 4 KiB of it and Wine a mapping made and undone, in
// all about as much as hashing the piece.
class CPieceBuffers {
public:
    std::unique_ptr<char[]> Take(int size)
    {
        {
            CExclusiveLock lock(m_lock);
            if (size == m_size && !m_spare.empty()) {
                std::unique_ptr<char[]> buffer = std::move(m_spare.back());
                m_spare.pop_back();
                return buffer;
            }
        }
        return std::unique_ptr<char[]>(new char[static_cast<size_t>(size)]);
    }

    // Only buffers of the largest size given are kept: a torrent's pieces
    // but its short last one.
    void Give(std::unique_ptr<char[]> buffer, int size)
    {
        CExclusiveLock lock(m_lock);
        if (!buffer || size < m_size)
            return;
        if (size > m_size) {
            m_spare.clear();
            m_size = size;
        }
        if (m_spare.size() < kMostSpare)
            m_spare.push_back(std::move(buffer));
    }

private:
    static const size_t kMostSpare = 16;
    CSrwLock m_lock;
    int m_size = 0;
    std::vector<std::unique_ptr<char[]>> m_spare;
};

lt::storage_error Aborted()
{
    lt::storage_error aborted;
    aborted.ec = boost::asio::error::operation_aborted;
    return aborted;
}

class CDiskIo final : public IDiskIo, public lt::buffer_allocator_interface {
public:
    CDiskIo(lt::io_context& ios, const lt::settings_interface& settings);
    ~CDiskIo() override { abort(true); }

    void Expect(std::shared_ptr<const lt::torrent_info> torrent) override;
    SDiskLoad Load() const override;
    void FlushWritten() override;

    lt::storage_holder new_torrent(const lt::storage_params& params, const std::shared_ptr<void>&) override;
    void remove_torrent(lt::storage_index_t index) override;
    void async_read(lt::storage_index_t storage, const lt::peer_request& request,
                    std::function<void(lt::disk_buffer_holder, const lt::storage_error&)> handler,
                    lt::disk_job_flags_t flags) override;
    bool async_write(lt::storage_index_t storage, const lt::peer_request& request, const char* buffer,
                     std::shared_ptr<lt::disk_observer> observer, WriteAnswer handler,
                     lt::disk_job_flags_t flags) override;
    void async_hash(lt::storage_index_t storage, lt::piece_index_t piece, lt::span<lt::sha256_hash> v2,
                    lt::disk_job_flags_t flags, HashAnswer handler) override;
    void async_hash2(lt::storage_index_t storage, lt::piece_index_t piece, int offset, lt::disk_job_flags_t flags,
                     std::function<void(lt::piece_index_t, const lt::sha256_hash&, const lt::storage_error&)>
                         handler) override;
    void async_move_storage(lt::storage_index_t storage, std::string path, lt::move_flags_t flags,
                            std::function<void(lt::status_t, const std::string&, const lt::storage_error&)>
                                handler) override;
    void async_release_files(lt::storage_index_t storage, std::function<void()> handler) override;
    void async_check_files(lt::storage_index_t storage, const lt::add_torrent_params* resume,
                           lt::aux::vector<std::string, lt::file_index_t> links,
                           std::function<void(lt::status_t, const lt::storage_error&)> handler) override;
    void async_stop_torrent(lt::storage_index_t storage, std::function<void()> handler) override;
    void async_rename_file(lt::storage_index_t storage, lt::file_index_t index, std::string name,
                           std::function<void(const std::string&, lt::file_index_t, const lt::storage_error&)>
                               handler) override;
    void async_delete_files(lt::storage_index_t storage, lt::remove_flags_t options,
                            std::function<void(const lt::storage_error&)> handler) override;
    void async_set_file_priority(
        lt::storage_index_t storage, lt::aux::vector<lt::download_priority_t, lt::file_index_t> priorities,
        std::function<void(const lt::storage_error&, lt::aux::vector<lt::download_priority_t, lt::file_index_t>)>
            handler) override;
    void async_clear_piece(lt::storage_index_t storage, lt::piece_index_t piece,
                           std::function<void(lt::piece_index_t)> handler) override;
    void update_stats_counters(lt::counters&) const override {}
    std::vector<lt::open_file_state> get_status(lt::storage_index_t) const override { return {}; }
    void abort(bool wait) override;
    void submit_jobs() override {}
    void settings_updated() override;

    void free_disk_buffer(char* buffer) override { delete[] buffer; }

private:
    template <typename Handler>
    void Answer(Handler handler) { boost::asio::post(m_ios, std::move(handler)); }
    // Jobs that answer libtorrent run first; hashing ahead, which only
    // saves time at a piece's end, when there are none.
    void Queue(std::function<void()> job);
    void QueueBackground(std::function<void()> job);
    void Work();

    // Each of these runs on a worker, with m_lock held where it takes `lock`.
    void HashAhead(const StoragePtr& storage, const std::shared_ptr<SPiece>& piece);
    void HashAhead(CExclusiveLock& lock, SPiece& piece);
    void Finish(CExclusiveLock& lock, SStorage& storage, std::shared_ptr<SPiece> piece);
    void HashFromDisk(SStorage& storage, lt::piece_index_t piece, lt::span<lt::sha256_hash> v2, bool v1,
                      HashAnswer answer);
    void SpillWhileFull();
    void Spill(CExclusiveLock& lock, SStorage& storage, SPiece& piece);
    void WaitUntilIdle(CExclusiveLock& lock, SPiece& piece);
    void Drop(SStorage& storage, lt::piece_index_t piece, const lt::storage_error& reason);
    void DropAll(SStorage& storage);
    void FreeData(SPiece& piece);
    void WakeBlockedPeers();

    lt::io_context& m_ios;
    // libtorrent's network thread runs until the last worker has gone, so
    // that every answer given at the end is taken while the session lives.
    boost::asio::executor_work_guard<lt::io_context::executor_type> m_keepNetworkRunning;

    // Storages are added and removed on libtorrent's network thread only;
    // jobs hold their own reference.
    lt::aux::vector<StoragePtr, lt::storage_index_t> m_storages;
    lt::aux::storage_free_list m_freeSlots;

    mutable CSrwLock m_lock; // everything below
    CConditionVariable m_wake;
    CConditionVariable m_idle; // a piece is no longer busy
    std::deque<std::function<void()>> m_jobs;
    std::deque<std::function<void()>> m_background;
    bool m_stopping = false;
    int m_workersLeft = 0;
    std::map<lt::sha1_hash, std::shared_ptr<const lt::torrent_info>> m_expected;
    int64_t m_buffered = 0;
    uint32_t m_pieces = 0;
    int m_finishing = 0; // pieces whose hash is asked for and not answered
    bool m_spilling = false;
    std::vector<std::weak_ptr<lt::disk_observer>> m_blocked;
    std::vector<StoragePtr> m_live; // the storages not removed, for the workers

    CPieceBuffers m_buffers;
    std::vector<std::thread> m_workers;
};

// Two workers at least, so that a read for a peer never waits behind a long
// check; as many as libtorrent would hash on, since hashing is most of it.
CDiskIo::CDiskIo(lt::io_context& ios, const lt::settings_interface& settings)
    : m_ios(ios), m_keepNetworkRunning(boost::asio::make_work_guard(ios))
{
    const int threads = std::max(2, settings.get_int(lt::settings_pack::hashing_threads));
    m_workersLeft = threads;
    for (int i = 0; i < threads; ++i)
        m_workers.emplace_back([this] { Work(); });
}

void CDiskIo::Expect(std::shared_ptr<const lt::torrent_info> torrent)
{
    CExclusiveLock lock(m_lock);
    m_expected[torrent->info_hashes().get_best()] = std::move(torrent);
}

SDiskLoad CDiskIo::Load() const
{
    CExclusiveLock lock(m_lock);
    return SDiskLoad{static_cast<uint64_t>(m_buffered), m_pieces};
}

// Writes go through the system's cache; what a state file will claim is
// flushed before it is written (FlushWritten), and a download counts as
// complete only after the flush of its files (release_files).
void CDiskIo::settings_updated() {}

void CDiskIo::FlushWritten()
{
    std::vector<StoragePtr> live;
    {
        CExclusiveLock lock(m_lock);
        live = m_live;
    }
    for (const StoragePtr& storage : live)
        storage->files.FlushWritten();
}

lt::storage_holder CDiskIo::new_torrent(const lt::storage_params& params, const std::shared_ptr<void>&)
{
    auto storage = std::make_shared<SStorage>(params);
    {
        CExclusiveLock lock(m_lock);
        auto expected = m_expected.find(params.info_hash);
        if (expected != m_expected.end())
            storage->torrent = expected->second;
        m_live.push_back(storage);
    }
    const lt::storage_index_t index = m_freeSlots.new_index(m_storages.end_index());
    if (index == m_storages.end_index())
        m_storages.emplace_back(std::move(storage));
    else
        m_storages[index] = std::move(storage);
    return lt::storage_holder(index, *this);
}

// What the torrent still has in memory goes with it; a piece a worker has
// in hand is forgotten by that worker.
void CDiskIo::remove_torrent(lt::storage_index_t index)
{
    {
        CExclusiveLock lock(m_lock);
        SStorage& storage = *m_storages[index];
        std::vector<lt::piece_index_t> idle;
        for (const auto& entry : storage.pieces) {
            if (!entry.second->busy)
                idle.push_back(entry.first);
        }
        for (lt::piece_index_t piece : idle)
            Drop(storage, piece, Aborted());
        m_live.erase(std::remove(m_live.begin(), m_live.end(), m_storages[index]), m_live.end());
    }
    m_storages[index].reset();
    m_freeSlots.add(index);
}

void CDiskIo::abort(bool wait)
{
    {
        CExclusiveLock lock(m_lock);
        m_stopping = true;
    }
    m_wake.WakeAll();
    if (!wait)
        return;
    for (std::thread& worker : m_workers) {
        if (worker.joinable())
            worker.join();
    }
}

void CDiskIo::Queue(std::function<void()> job)
{
    {
        CExclusiveLock lock(m_lock);
        m_jobs.push_back(std::move(job));
    }
    m_wake.WakeOne();
}

void CDiskIo::QueueBackground(std::function<void()> job)
{
    {
        CExclusiveLock lock(m_lock);
        m_background.push_back(std::move(job));
    }
    m_wake.WakeOne();
}

// Jobs queued before the end still run, so that pieces complete in memory
// reach the disk.
void CDiskIo::Work()
{
    for (;;) {
        std::function<void()> job;
        {
            CExclusiveLock lock(m_lock);
            m_wake.Wait(lock, [&] { return m_stopping || !m_jobs.empty() || !m_background.empty(); });
            std::deque<std::function<void()>>& from = m_jobs.empty() ? m_background : m_jobs;
            if (from.empty()) {
                if (--m_workersLeft == 0)
                    m_keepNetworkRunning.reset();
                return;
            }
            job = std::move(from.front());
            from.pop_front();
        }
        job();
    }
}

void CDiskIo::async_read(lt::storage_index_t index, const lt::peer_request& request,
                         std::function<void(lt::disk_buffer_holder, const lt::storage_error&)> handler,
                         lt::disk_job_flags_t)
{
    Queue([this, storage = m_storages[index], request, handler = std::move(handler)]() mutable {
        std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(request.length)]);
        lt::storage_error error;
        bool fromMemory = false;
        {
            CExclusiveLock lock(m_lock);
            auto found = storage->pieces.find(request.piece);
            const int block = request.start / kBlock;
            if (found != storage->pieces.end() && request.start % kBlock == 0 &&
                block < static_cast<int>(found->second->blocks.size()) && found->second->Dirty(block) &&
                request.length <= found->second->BlockSize(block)) {
                std::memcpy(buffer.get(), found->second->data.get() + request.start,
                            static_cast<size_t>(request.length));
                fromMemory = true;
            }
        }
        if (!fromMemory)
            storage->files.Read(request.piece, request.start, {buffer.get(), request.length}, error);
        Answer([this, buffer = std::move(buffer), length = request.length, error,
                handler = std::move(handler)]() mutable {
            handler(lt::disk_buffer_holder(*this, buffer.release(), length), error);
        });
    });
}

bool CDiskIo::async_write(lt::storage_index_t index, const lt::peer_request& request, const char* buffer,
                          std::shared_ptr<lt::disk_observer> observer, WriteAnswer handler, lt::disk_job_flags_t)
{
    const StoragePtr& storage = m_storages[index];
    const int pieceSize = storage->files.Files().piece_size(request.piece);
    const int block = request.start / kBlock;
    if (request.start % kBlock != 0 || request.length != std::min(kBlock, pieceSize - request.start)) {
        // Not a block as peers send them (a piece added by hand): written
        // as it comes.
        std::vector<char> copy(buffer, buffer + request.length);
        Queue([this, storage, request, copy = std::move(copy), handler = std::move(handler)]() mutable {
            lt::storage_error error;
            storage->files.Write(request.piece, request.start, copy, error);
            Answer([error, handler = std::move(handler)] { handler(error); });
        });
        return false;
    }

    bool hashAhead = false;
    bool spill = false;
    bool exceeded = false;
    std::shared_ptr<SPiece> piece;
    {
        CExclusiveLock lock(m_lock);
        std::shared_ptr<SPiece>& slot = storage->pieces[request.piece];
        if (!slot) {
            slot = std::make_shared<SPiece>();
            slot->index = request.piece;
            slot->size = pieceSize;
            slot->blocks.assign(static_cast<size_t>((pieceSize + kBlock - 1) / kBlock), EBlock::kMissing);
            slot->hashV1 = !storage->torrent || storage->torrent->info_hashes().has_v1();
            ++m_pieces;
        }
        piece = slot;
        if (!piece->data)
            piece->data = m_buffers.Take(piece->size);
        if (piece->blocks[block] == EBlock::kMissing && !piece->hashAsked) { // a block sent twice keeps its first copy
            std::memcpy(piece->data.get() + request.start, buffer, static_cast<size_t>(request.length));
            piece->blocks[block] = EBlock::kInMemory;
            piece->inMemory += request.length;
            m_buffered += request.length;
        }
        piece->waiting.emplace_back(block, std::move(handler));
        hashAhead = piece->hashV1 && !piece->busy && !piece->hashQueued && block >= piece->cursor &&
                    piece->ReadyToHash() >= kHashAheadBlocks;
        piece->hashQueued = piece->hashQueued || hashAhead;
        exceeded = m_buffered >= kHighMark;
        if (exceeded && observer)
            m_blocked.push_back(observer);
        spill = exceeded && !m_spilling;
        m_spilling = m_spilling || spill;
    }
    if (hashAhead)
        QueueBackground([this, storage, piece] { HashAhead(storage, piece); });
    if (spill)
        Queue([this] { SpillWhileFull(); });
    return exceeded;
}

void CDiskIo::HashAhead(const StoragePtr& storage, const std::shared_ptr<SPiece>& piece)
{
    CExclusiveLock lock(m_lock);
    piece->hashQueued = false;
    if (piece->busy)
        return; // whoever has it hashes on
    piece->busy = true;
    HashAhead(lock, *piece);
    piece->busy = false;
    m_idle.WakeAll();
    if (piece->hashAsked && storage->pieces.count(piece->index))
        Finish(lock, *storage, piece); // asked for while this worker had it
}

// Hashes the blocks in memory from the cursor on, as far as they reach.
void CDiskIo::HashAhead(CExclusiveLock& lock, SPiece& piece)
{
    if (!piece.hashV1)
        return;
    for (;;) {
        const int from = piece.cursor;
        int to = from;
        while (to < static_cast<int>(piece.blocks.size()) && piece.Dirty(to))
            ++to;
        if (to == from)
            return;
        const int length = std::min(piece.size, to * kBlock) - from * kBlock;
        lock.Unlocked([&] { piece.sha1.update(piece.data.get() + from * kBlock, length); });
        piece.cursor = to;
    }
}

void CDiskIo::async_hash(lt::storage_index_t index, lt::piece_index_t pieceIndex, lt::span<lt::sha256_hash> v2,
                         lt::disk_job_flags_t flags, HashAnswer handler)
{
    const bool v1 = bool(flags & lt::disk_interface::v1_hash);
    Queue([this, storage = m_storages[index], pieceIndex, v2, v1, handler = std::move(handler)]() mutable {
        CExclusiveLock lock(m_lock);
        auto found = storage->pieces.find(pieceIndex);
        if (found == storage->pieces.end()) {
            lock.Unlocked([&] { HashFromDisk(*storage, pieceIndex, v2, v1, std::move(handler)); });
            return;
        }
        std::shared_ptr<SPiece> piece = found->second;
        piece->hashAsked = true;
        piece->answer = std::move(handler);
        piece->v2 = v2;
        piece->hashV1 = piece->hashV1 && v1;
        ++m_finishing;
        if (piece->busy)
            return; // its worker finishes it
        Finish(lock, *storage, piece);
    });
}

// Completes the hash of a piece whose blocks are all in, from memory, and
// from the disk for blocks that are not in memory (written before a pause,
// or in an earlier run); then writes the blocks that only memory holds and
// answers: the writes first, then the hash. A piece whose hash is not the
// torrent's is not written: libtorrent fetches it again.
void CDiskIo::Finish(CExclusiveLock& lock, SStorage& storage, std::shared_ptr<SPiece> piecePtr)
{
    SPiece& piece = *piecePtr;
    piece.busy = true;
    HashAhead(lock, piece);
    if (!piece.data)
        piece.data = m_buffers.Take(piece.size); // for the blocks read back
    const std::vector<EBlock> blocks = piece.blocks;
    const bool v1 = piece.hashV1;
    const std::shared_ptr<const lt::torrent_info> torrent = storage.torrent;
    lt::storage_error readError;
    lt::storage_error writeError;
    lt::sha1_hash hash;
    lock.Unlocked([&] {
        // Blocks the hash has passed are read again only for v2's hashes.
        const int firstToRead = piece.v2.empty() ? piece.cursor : 0;
        for (int b = firstToRead; b < static_cast<int>(blocks.size()) && !readError; ++b) {
            if (blocks[b] != EBlock::kInMemory)
                storage.files.Read(piece.index, b * kBlock, {piece.data.get() + b * kBlock, piece.BlockSize(b)},
                                   readError);
        }
        if (v1) {
            const int hashed = std::min(piece.size, piece.cursor * kBlock);
            piece.sha1.update(piece.data.get() + hashed, piece.size - hashed);
            hash = piece.sha1.final();
        }
        const int size2 = piece.v2.empty() ? 0 : storage.files.Files().piece_size2(piece.index);
        for (int b = 0; b * kBlock < size2 && b < static_cast<int>(piece.v2.size()); ++b)
            piece.v2[b] = lt::hasher256(piece.data.get() + b * kBlock, std::min(kBlock, size2 - b * kBlock)).final();
        const bool wrong = v1 && !readError && torrent && hash != torrent->hash_for_piece(piece.index);
        if (wrong)
            return;
        // One write for each run of blocks only memory holds: the whole
        // piece, as it is downloaded.
        for (int b = 0; b < static_cast<int>(blocks.size()) && !writeError;) {
            int end = b;
            while (end < static_cast<int>(blocks.size()) && blocks[end] == EBlock::kInMemory)
                ++end;
            if (end > b) {
                const int length = std::min(piece.size, end * kBlock) - b * kBlock;
                storage.files.Write(piece.index, b * kBlock, {piece.data.get() + b * kBlock, length}, writeError);
            }
            b = std::max(end, b + 1);
        }
    });
    std::vector<std::pair<int, WriteAnswer>> waiting = std::move(piece.waiting);
    HashAnswer answer = std::move(piece.answer);
    storage.pieces.erase(piece.index);
    FreeData(piece);
    --m_pieces;
    --m_finishing;
    piece.busy = false;
    m_idle.WakeAll();
    // A failed write is told through the answers of the piece's writes,
    // which libtorrent takes first: they make its blocks no longer written,
    // so the hash that follows cannot make the piece had. libtorrent then
    // stops fetching (upload-only mode) and keeps the download going, as
    // with its own back-end; an error on the hash would stop it instead.
    Answer([waiting = std::move(waiting), answer = std::move(answer), index = piece.index, hash, readError,
            writeError]() mutable {
        for (auto& write : waiting)
            write.second(writeError);
        answer(index, hash, readError);
    });
    if (m_buffered < kLowMark)
        WakeBlockedPeers();
    else if (m_finishing == 0 && !m_spilling && !m_blocked.empty()) {
        m_spilling = true;
        m_jobs.push_back([this] { SpillWhileFull(); });
        m_wake.WakeOne();
    }
}

// A check: the piece is read whole, in one read per file it spans.
void CDiskIo::HashFromDisk(SStorage& storage, lt::piece_index_t index, lt::span<lt::sha256_hash> v2, bool v1,
                           HashAnswer answer)
{
    const lt::file_storage& files = storage.files.Files();
    const int size = v1 ? files.piece_size(index) : 0;
    const int size2 = v2.empty() ? 0 : files.piece_size2(index);
    const int length = std::max(size, size2);
    std::unique_ptr<char[]> data = m_buffers.Take(length);
    lt::storage_error error;
    const int read = storage.files.Read(index, 0, {data.get(), length}, error);
    lt::sha1_hash hash;
    if (v1 && read > 0)
        hash = lt::hasher(data.get(), std::min(read, size)).final();
    for (int b = 0; b * kBlock < std::min(read, size2) && b < static_cast<int>(v2.size()); ++b)
        v2[b] = lt::hasher256(data.get() + b * kBlock, std::min(kBlock, std::min(read, size2) - b * kBlock)).final();
    m_buffers.Give(std::move(data), length);
    Answer([answer = std::move(answer), index, hash, error] { answer(index, hash, error); });
}

void CDiskIo::async_hash2(lt::storage_index_t index, lt::piece_index_t piece, int offset, lt::disk_job_flags_t,
                          std::function<void(lt::piece_index_t, const lt::sha256_hash&, const lt::storage_error&)>
                              handler)
{
    Queue([this, storage = m_storages[index], piece, offset, handler = std::move(handler)] {
        const int length = std::min(kBlock, storage->files.Files().piece_size2(piece) - offset);
        std::vector<char> data(static_cast<size_t>(length));
        lt::storage_error error;
        bool fromMemory = false;
        {
            CExclusiveLock lock(m_lock);
            auto found = storage->pieces.find(piece);
            if (found != storage->pieces.end() && offset % kBlock == 0 && found->second->Dirty(offset / kBlock)) {
                std::memcpy(data.data(), found->second->data.get() + offset, data.size());
                fromMemory = true;
            }
        }
        if (!fromMemory)
            storage->files.Read(piece, offset, data, error);
        const lt::sha256_hash hash = lt::hasher256(data.data(), length).final();
        Answer([handler, piece, hash, error] { handler(piece, hash, error); });
    });
}

// Memory is full and no complete piece is on its way to free it: pieces
// still coming in are written as far as they are here, most first.
void CDiskIo::SpillWhileFull()
{
    CExclusiveLock lock(m_lock);
    while (m_buffered > kLowMark && m_finishing == 0 && !m_stopping) {
        StoragePtr fullest;
        std::shared_ptr<SPiece> most;
        for (const StoragePtr& storage : m_live) {
            for (auto& entry : storage->pieces) {
                const SPiece& piece = *entry.second;
                if (piece.data && !piece.busy && !piece.hashAsked &&
                    (!most || piece.waiting.size() > most->waiting.size())) {
                    fullest = storage;
                    most = entry.second;
                }
            }
        }
        if (!most)
            break;
        Spill(lock, *fullest, *most);
    }
    m_spilling = false;
    WakeBlockedPeers();
}

// Writes the blocks of `piece` that only memory holds, in place, and answers
// their writes; its hash so far stays.
void CDiskIo::Spill(CExclusiveLock& lock, SStorage& storage, SPiece& piece)
{
    piece.busy = true;
    const std::vector<EBlock> blocks = piece.blocks;
    std::vector<bool> written(blocks.size(), false);
    lt::storage_error error;
    lock.Unlocked([&] {
        for (int b = 0; b < static_cast<int>(blocks.size()) && !error;) {
            int end = b;
            while (end < static_cast<int>(blocks.size()) && blocks[end] == EBlock::kInMemory)
                ++end;
            if (end > b) {
                const int length = std::min(piece.size, end * kBlock) - b * kBlock;
                if (storage.files.Write(piece.index, b * kBlock, {piece.data.get() + b * kBlock, length}, error) ==
                    length)
                    std::fill(written.begin() + b, written.begin() + end, true);
            }
            b = std::max(end, b + 1);
        }
    });
    std::vector<std::pair<int, WriteAnswer>> answered;
    auto keep = std::stable_partition(piece.waiting.begin(), piece.waiting.end(),
                                      [&](const auto& write) { return !written[write.first] && !error; });
    std::move(keep, piece.waiting.end(), std::back_inserter(answered));
    piece.waiting.erase(keep, piece.waiting.end());
    for (size_t b = 0; b < blocks.size(); ++b) {
        if (written[b]) {
            piece.blocks[b] = EBlock::kOnDisk;
            piece.inMemory -= piece.BlockSize(static_cast<int>(b));
            m_buffered -= piece.BlockSize(static_cast<int>(b));
        }
    }
    if (piece.inMemory == 0)
        FreeData(piece);
    piece.busy = false;
    m_idle.WakeAll();
    // A failed write fails every write of the piece not yet answered: the
    // piece must be fetched again.
    Answer([answered = std::move(answered), written, error]() mutable {
        for (auto& write : answered)
            write.second(written[write.first] ? lt::storage_error() : error);
    });
    if (piece.hashAsked) {
        auto found = storage.pieces.find(piece.index);
        if (found != storage.pieces.end())
            Finish(lock, storage, found->second); // a copy: Finish forgets the piece
    }
}

void CDiskIo::WaitUntilIdle(CExclusiveLock& lock, SPiece& piece)
{
    m_idle.Wait(lock, [&] { return !piece.busy; });
}

void CDiskIo::FreeData(SPiece& piece)
{
    if (!piece.data)
        return;
    m_buffers.Give(std::move(piece.data), piece.size);
    m_buffered -= piece.inMemory;
    piece.inMemory = 0;
}

void CDiskIo::WakeBlockedPeers()
{
    if (m_blocked.empty())
        return;
    Answer([blocked = std::move(m_blocked)] {
        for (const auto& weak : blocked) {
            if (auto observer = weak.lock())
                observer->on_disk();
        }
    });
    m_blocked.clear();
}

// Forgets a piece, with every write of it not yet answered failed for
// `reason`.
void CDiskIo::Drop(SStorage& storage, lt::piece_index_t index, const lt::storage_error& reason)
{
    auto found = storage.pieces.find(index);
    if (found == storage.pieces.end())
        return;
    std::shared_ptr<SPiece> piece = found->second;
    storage.pieces.erase(found);
    FreeData(*piece);
    --m_pieces;
    if (piece->hashAsked) {
        --m_finishing;
        Answer([answer = std::move(piece->answer), index, reason] { answer(index, lt::sha1_hash(), reason); });
    }
    Answer([waiting = std::move(piece->waiting), reason]() mutable {
        for (auto& write : waiting)
            write.second(reason);
    });
}

void CDiskIo::DropAll(SStorage& storage)
{
    CExclusiveLock lock(m_lock);
    while (!storage.pieces.empty()) {
        std::shared_ptr<SPiece> piece = storage.pieces.begin()->second;
        WaitUntilIdle(lock, *piece);
        Drop(storage, piece->index, Aborted());
    }
}

void CDiskIo::async_clear_piece(lt::storage_index_t index, lt::piece_index_t piece,
                                std::function<void(lt::piece_index_t)> handler)
{
    Queue([this, storage = m_storages[index], piece, handler = std::move(handler)] {
        CExclusiveLock lock(m_lock);
        auto found = storage->pieces.find(piece);
        if (found != storage->pieces.end()) {
            std::shared_ptr<SPiece> held = found->second;
            WaitUntilIdle(lock, *held);
            Drop(*storage, piece, Aborted());
        }
        Answer([handler, piece] { handler(piece); });
    });
}

// A pause or the end of the torrent: what is in memory goes to the disk,
// so that the state saved next claims only what is there, and every file
// is closed.
void CDiskIo::async_stop_torrent(lt::storage_index_t index, std::function<void()> handler)
{
    Queue([this, storage = m_storages[index], handler = std::move(handler)] {
        {
            CExclusiveLock lock(m_lock);
            std::vector<std::shared_ptr<SPiece>> pieces;
            for (auto& entry : storage->pieces)
                pieces.push_back(entry.second);
            for (const auto& piece : pieces) {
                WaitUntilIdle(lock, *piece);
                if (piece->data && !piece->hashAsked && storage->pieces.count(piece->index))
                    Spill(lock, *storage, *piece);
            }
        }
        CGameFiles::CFilesChange(storage->files).CloseAll();
        if (handler)
            Answer(std::move(handler));
    });
}

void CDiskIo::async_release_files(lt::storage_index_t index, std::function<void()> handler)
{
    Queue([this, storage = m_storages[index], handler = std::move(handler)] {
        CGameFiles::CFilesChange(storage->files).CloseAll();
        if (handler)
            Answer(std::move(handler));
    });
}

void CDiskIo::async_check_files(lt::storage_index_t index, const lt::add_torrent_params* resume,
                                lt::aux::vector<std::string, lt::file_index_t> links,
                                std::function<void(lt::status_t, const lt::storage_error&)> handler)
{
    auto state = resume ? std::make_shared<lt::add_torrent_params>(*resume) : nullptr;
    Queue([this, storage = m_storages[index], state, links = std::move(links), handler = std::move(handler)]() mutable {
        // A check is of what is on disk: pieces in memory from before (a
        // recheck) are forgotten, their writes not answered as done.
        DropAll(*storage);
        CGameFiles::CFilesChange change(storage->files);
        change.CloseAll();
        lt::storage_error error;
        const lt::add_torrent_params none;
        const lt::add_torrent_params& params = state ? *state : none;
        const lt::status_t initialized = change.Storage().initialize(lt::settings_pack(), error);
        lt::status_t status = initialized;
        if (error) {
            status = lt::status_t::fatal_disk_error | initialized;
        } else {
            const bool matches = change.Storage().verify_resume_data(params, links, error);
            if (!lt::aux::contains_resume_data(params)) {
                lt::storage_error ignored;
                const bool any = change.Storage().has_any_file(ignored);
                status = (any ? lt::status_t::need_full_check : lt::status_t::no_error) | initialized;
            } else {
                status = (matches ? lt::status_t::no_error : lt::status_t::need_full_check) | initialized;
            }
        }
        Answer([handler = std::move(handler), status, error] { handler(status, error); });
    });
}

void CDiskIo::async_move_storage(lt::storage_index_t index, std::string path, lt::move_flags_t flags,
                                 std::function<void(lt::status_t, const std::string&, const lt::storage_error&)>
                                     handler)
{
    Queue([this, storage = m_storages[index], path = std::move(path), flags, handler = std::move(handler)] {
        CGameFiles::CFilesChange change(storage->files);
        change.CloseAll();
        lt::storage_error error;
        auto moved = change.Storage().move_storage(path, flags, error);
        change.SetSavePath(moved.second);
        Answer([handler, moved, error] { handler(moved.first, moved.second, error); });
    });
}

void CDiskIo::async_rename_file(lt::storage_index_t index, lt::file_index_t file, std::string name,
                                std::function<void(const std::string&, lt::file_index_t, const lt::storage_error&)>
                                    handler)
{
    Queue([this, storage = m_storages[index], file, name = std::move(name), handler = std::move(handler)] {
        CGameFiles::CFilesChange change(storage->files);
        change.CloseAll();
        lt::storage_error error;
        change.Storage().rename_file(file, name, error);
        Answer([handler, name, file, error] { handler(name, file, error); });
    });
}

void CDiskIo::async_delete_files(lt::storage_index_t index, lt::remove_flags_t options,
                                 std::function<void(const lt::storage_error&)> handler)
{
    Queue([this, storage = m_storages[index], options, handler = std::move(handler)] {
        DropAll(*storage);
        CGameFiles::CFilesChange change(storage->files);
        change.CloseAll();
        lt::storage_error error;
        change.Storage().delete_files(options, error);
        Answer([handler, error] { handler(error); });
    });
}

void CDiskIo::async_set_file_priority(
    lt::storage_index_t index, lt::aux::vector<lt::download_priority_t, lt::file_index_t> priorities,
    std::function<void(const lt::storage_error&, lt::aux::vector<lt::download_priority_t, lt::file_index_t>)> handler)
{
    Queue([this, storage = m_storages[index], priorities = std::move(priorities),
           handler = std::move(handler)]() mutable {
        CGameFiles::CFilesChange change(storage->files);
        lt::storage_error error;
        change.Storage().set_file_priority(priorities, error);
        change.SetPriorities(priorities);
        Answer([handler = std::move(handler), error, priorities = std::move(priorities)]() mutable {
            handler(error, std::move(priorities));
        });
    });
}

} // namespace

std::unique_ptr<IDiskIo> MakeDiskIo(lt::io_context& ios, const lt::settings_interface& settings)
{
    return std::make_unique<CDiskIo>(ios, settings);
}

} // namespace kernel
