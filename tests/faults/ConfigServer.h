#pragma once

#include <string>

// The fault tests' configuration server (tests/faults/config_server.py,
// started by a ctest fixture). Each case has a server of its own on a port
// of its own, which the test switches between healthy and faulty.
class ConfigServer {
public:
    // Starts the server of `caseName`; false when the fixture did not run.
    bool Open(const std::string& caseName);

    bool Store(const std::string& name, const std::string& bytes) const;
    // "healthy", "down", "404", "500", "hang", "garbage", "array", "empty",
    // "huge", "torrent-html", "torrent-truncated" or "torrent-cut".
    bool SetMode(const std::string& mode) const;
    int Hits(const std::string& name) const;

    // The case server's address of a file it serves.
    std::string Url(const std::string& name) const;
    // Where the program's usage reports go: they are answered, not kept.
    static std::wstring ReportHost();

    ~ConfigServer();

private:
    std::string m_case;
    int m_port = 0;
};
