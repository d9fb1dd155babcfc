#pragma once

#include <libtorrent/disk_interface.hpp>
#include <libtorrent/fwd.hpp>
#include <libtorrent/io_context.hpp>

#include <cstdint>
#include <memory>

namespace kernel {

// What the disk back-end holds in memory at a moment.
struct SDiskLoad {
    uint64_t bufferedBytes = 0; // pieces being downloaded, not yet on disk
    uint32_t piecesInFlight = 0;
};

// The kernel's own disk back-end for libtorrent. A piece being downloaded
// is gathered in memory and hashed as its blocks arrive, in order; once
// every block is in and its hash is the torrent's, it is written with one
// positional write per file it spans, and only then do its blocks count as
// written. Nothing is read back to hash a piece being downloaded, and no
// file is ever mapped into memory: Windows does not promise that writes and
// mapped views of one file agree.
class IDiskIo : public lt::disk_interface {
public:
    // The torrent whose pieces are checked before they are written; a
    // torrent not named here is written unchecked and checked by libtorrent
    // alone. Call before the torrent is added.
    virtual void Expect(std::shared_ptr<const lt::torrent_info> torrent) = 0;
    virtual SDiskLoad Load() const = 0;
    // Puts what has been written so far on the disk itself, from the
    // system's cache; for the state file that will claim it.
    virtual void FlushWritten() = 0;
};

std::unique_ptr<IDiskIo> MakeDiskIo(lt::io_context& ios, const lt::settings_interface& settings);

} // namespace kernel
