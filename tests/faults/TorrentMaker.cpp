#include "TorrentMaker.h"

#include <windows.h>

#include <bcrypt.h>

#include <random>
#include <stdexcept>

namespace bencode {

std::string Int(int64_t value) { return "i" + std::to_string(value) + "e"; }

std::string Str(const std::string& text) { return std::to_string(text.size()) + ":" + text; }

std::string List(const std::vector<std::string>& encodedItems)
{
    std::string out = "l";
    for (const std::string& item : encodedItems)
        out += item;
    return out + "e";
}

std::string Dict(const std::map<std::string, std::string>& encodedValues)
{
    std::string out = "d";
    for (const auto& entry : encodedValues)
        out += Str(entry.first) + entry.second;
    return out + "e";
}

} // namespace bencode

std::string Sha1(const std::string& bytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA1_ALGORITHM, nullptr, 0) != 0)
        throw std::runtime_error("no SHA-1 provider");
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::string digest(20, '\0');
    bool ok = ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
              ::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                               static_cast<ULONG>(bytes.size()), 0) == 0 &&
              ::BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()), 20, 0) == 0;
    if (hash)
        ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok)
        throw std::runtime_error("SHA-1 failed");
    return digest;
}

std::string MakeTorrent(const std::string& name, const std::vector<STorrentFile>& files, int pieceLength)
{
    using namespace bencode;
    std::string payload;
    for (const STorrentFile& file : files)
        payload += file.content;
    std::string pieces;
    for (size_t offset = 0; offset < payload.size(); offset += size_t(pieceLength))
        pieces += Sha1(payload.substr(offset, size_t(pieceLength)));

    std::map<std::string, std::string> info{
        {"name", Str(name)}, {"piece length", Int(pieceLength)}, {"pieces", Str(pieces)}};
    if (files.size() == 1 && files[0].path.empty()) {
        info["length"] = Int(int64_t(files[0].content.size()));
    } else {
        std::vector<std::string> list;
        for (const STorrentFile& file : files) {
            std::vector<std::string> path;
            for (const std::string& element : file.path)
                path.push_back(Str(element));
            list.push_back(Dict({{"length", Int(int64_t(file.content.size()))}, {"path", List(path)}}));
        }
        info["files"] = List(list);
    }
    return Dict({{"info", Dict(info)}});
}

std::string RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    return bytes;
}
