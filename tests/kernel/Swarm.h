#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>
#include <vector>

// The local swarm that the kernel tests' fixture started (tests/swarm):
// where its torrents are, how to reach its tracker and HTTP seeds, and how
// much each seed has sent.
class Swarm {
public:
    // Reads the description of the swarm a fixture started in `folder`;
    // false when the fixture did not run.
    bool Load(const std::string& folder);
    // The swarm of the test program's own fixture, in its KORVANE_SWARM_DIR.
    inline bool Load();

    std::wstring TorrentPath(const char* name) const;
    std::string InfoHash(const char* name) const;
    uint64_t TotalSize(const char* name) const;
    std::vector<std::string> Files(const char* name) const; // paths in the torrent, with "/"
    std::string Tracker() const { return m_state["tracker"].asString(); }
    std::string WebSeed() const { return m_state["webseed"].asString(); }
    std::string CorruptSeed() const { return m_state["corruptseed"].asString(); }
    std::string SlowSeed() const { return m_state["slowseed"].asString(); } // 1 MB/s per connection
    // Over HTTPS with the test authority's certificate: the intact seed, the
    // tracker, and the files a test puts with PutFile under "files/".
    std::string HttpsSeed() const { return m_state["httpsseed"].asString(); }
    std::string HttpsTracker() const { return m_state["httpstracker"].asString(); }
    // The same seed and files with a certificate of an authority nobody trusts.
    std::string RogueSeed() const { return m_state["rogueseed"].asString(); }
    bool PutFile(const std::string& name, const std::string& bytes) const;

    // The complete file as the seeds have it, by its path in the torrent.
    std::string SeedFile(const std::string& relativePath) const;

    uint64_t SeederUploaded(const char* name) const;
    // Once it has stopped changing: the seeder publishes its counts late.
    uint64_t SettledSeederUploaded(const char* name) const;
    uint64_t WebSeedSent(const std::string& pathPrefix) const;
    uint64_t CorruptSeedSent(const std::string& pathPrefix) const;

    // The seeder drops every connection and refuses new ones while away.
    bool SetSeederAway(bool away) const;
    bool SeederIsAway(const char* name) const;

private:
    const Json::Value& Torrent(const char* name) const { return m_state["torrents"][name]; }
    std::string HostFile(const std::string& relative) const;
    uint64_t SentInLog(const char* log, const std::string& pathPrefix) const;
    Json::Value SeederStats(const char* name) const;

    std::string m_base;
    Json::Value m_state;
};

#ifdef KORVANE_SWARM_DIR
bool Swarm::Load() { return Load(KORVANE_SWARM_DIR); }
#endif

std::string ReadWholeFile(const std::wstring& path);
