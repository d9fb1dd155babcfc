#include "Swarm.h"

#include "support/ChildProcess.h"
#include "util/AtomicFileWrite.h"

#include <json/reader.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

std::string ReadWholeFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {
bool ParseJson(const std::string& text, Json::Value& value)
{
    Json::CharReaderBuilder builder;
    std::istringstream in(text);
    std::string errors;
    return Json::parseFromStream(builder, in, &value, &errors);
}
} // namespace

bool Swarm::Load(const std::string& folder)
{
    m_base = folder;
    return ParseJson(HostFile("swarm.json"), m_state) && m_state.isObject();
}

std::string Swarm::HostFile(const std::string& relative) const
{
    return ReadWholeFile(WindowsPathOfHostPath(m_base + "/" + relative));
}

std::wstring Swarm::TorrentPath(const char* name) const
{
    return WindowsPathOfHostPath(Torrent(name)["torrent"].asString());
}

std::string Swarm::InfoHash(const char* name) const { return Torrent(name)["infohash"].asString(); }

uint64_t Swarm::TotalSize(const char* name) const { return Torrent(name)["size"].asUInt64(); }

std::vector<std::string> Swarm::Files(const char* name) const
{
    std::vector<std::string> files;
    for (const Json::Value& file : Torrent(name)["files"])
        files.push_back(file.asString());
    return files;
}

std::string Swarm::SeedFile(const std::string& relativePath) const { return HostFile("seed/" + relativePath); }

bool Swarm::PutFile(const std::string& name, const std::string& bytes) const
{
    return WriteFileAtomically(WindowsPathOfHostPath(m_base + "/files/" + name), bytes.data(), bytes.size());
}

Json::Value Swarm::SeederStats(const char* name) const
{
    Json::Value stats;
    if (!ParseJson(HostFile("seeder-stats.json"), stats) || !stats.isObject())
        return Json::Value();
    return stats[InfoHash(name)];
}

uint64_t Swarm::SeederUploaded(const char* name) const { return SeederStats(name)["uploaded"].asUInt64(); }

bool Swarm::SetSeederAway(bool away) const
{
    const std::wstring mark = WindowsPathOfHostPath(m_base + "/seeder-away");
    if (!away)
        return ::DeleteFileW(mark.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
    CUniqueHandle file(::CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return file.Valid();
}

bool Swarm::SeederIsAway(const char* name) const { return SeederStats(name)["away"].asBool(); }

uint64_t Swarm::SettledSeederUploaded(const char* name) const
{
    uint64_t last = SeederUploaded(name);
    for (int unchanged = 0, round = 0; unchanged < 3 && round < 100; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const uint64_t now = SeederUploaded(name);
        unchanged = now == last ? unchanged + 1 : 0;
        last = now;
    }
    return last;
}

uint64_t Swarm::WebSeedSent(const std::string& pathPrefix) const
{
    return SentInLog("webseed-access.log", pathPrefix);
}

uint64_t Swarm::CorruptSeedSent(const std::string& pathPrefix) const
{
    return SentInLog("webseed-corrupt-access.log", pathPrefix);
}

uint64_t Swarm::SentInLog(const char* name, const std::string& pathPrefix) const
{
    std::istringstream log(HostFile(name));
    std::string uri;
    uint64_t bytes = 0, total = 0;
    while (log >> uri >> bytes)
        if (uri.compare(0, pathPrefix.size(), pathPrefix) == 0)
            total += bytes;
    return total;
}
