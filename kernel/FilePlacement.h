#pragma once

#include <string>
#include <vector>

#include <libtorrent/fwd.hpp>

namespace kernel {

// Where every file of a torrent lands, relative to the save folder, in
// libtorrent's UTF-8 with "\" between the elements. libtorrent has already
// made each element harmless as a path ("..", drive letters, separators and
// characters Windows refuses are gone), but it writes through "\\?\" paths,
// on which names such as CON, NUL, COM1 or aux.txt become real files that
// ordinary programs, the game and Explorer open as the device instead. Such
// elements get a "_" in front. With a non-empty `root`, a torrent of several
// files lies under that folder instead of its own. `files` is the list
// libtorrent writes by, the one it has made free of duplicate names; no two
// places that come out are one place on Windows.
std::vector<std::string> PlacedPaths(const lt::file_storage& files, const std::string& root);

// Whether Windows takes a path element for a device: the part before the
// first dot, without trailing blanks, is a device name, in any letter case.
bool IsDeviceName(const std::string& element);

} // namespace kernel
