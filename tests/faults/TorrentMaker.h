#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Bencoding written by hand, so that a test can put into a torrent whatever
// a hostile one may hold.
namespace bencode {
std::string Int(int64_t value);
std::string Str(const std::string& text);
std::string List(const std::vector<std::string>& encodedItems);
std::string Dict(const std::map<std::string, std::string>& encodedValues); // keys come out sorted
} // namespace bencode

// One file of a torrent: its path elements as they stand in the torrent
// (any bytes) and its content.
struct STorrentFile {
    std::vector<std::string> path;
    std::string content;
};

// A torrent of several files under `name`, or of the one file `name` when
// `files` holds a single entry with an empty path. Piece hashes are real.
std::string MakeTorrent(const std::string& name, const std::vector<STorrentFile>& files, int pieceLength = 16384);

// `size` bytes that look random and are the same for the same `seed`: a
// game's content that no compression or zero page makes cheap.
std::string RandomBytes(size_t size, uint32_t seed);

// The SHA-1 digest of `bytes`, 20 raw bytes.
std::string Sha1(const std::string& bytes);
