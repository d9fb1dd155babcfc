#pragma once

#include "StateFile.h"

#include <libtorrent/fwd.hpp>

#include <string>
#include <vector>

namespace kernel {

// Where a file of the download is on disk: `relative` below `saveFolder`,
// through a long-path name where an ordinary one would be too long.
std::wstring PathOnDisk(const std::wstring& saveFolder, const std::wstring& relative);

// Size and last write of the file at `path`; size -1 when there is none.
SFileStamp StampOf(const std::wstring& path);

// A complete download found again at a start: every file whose stamp is not
// the one saved with the completion (missing, cut short, written to by
// another program) has its pieces checked against the torrent, and those that
// fail are no longer claimed in `params`, so that they are fetched again.
// Intact files cost one look at their stamp each. `paths` are the files'
// places by file index. Returns the number of pieces given up.
int ForgetDamagedPieces(lt::add_torrent_params& params, const lt::torrent_info& torrent,
                        const std::wstring& saveFolder, const std::vector<std::wstring>& paths,
                        const std::vector<SFileStamp>& stamps);

} // namespace kernel
