#pragma once

#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An HTTP seed on 127.0.0.1 that answers every path with the same bytes
// (ranges included): every file of the torrents it serves has that content,
// so it needs not know where the kernel put them or what it called them.
// A kernel pipelines its requests for the files of a piece on one
// connection; the answers go out in order.
class CWebSeed {
public:
    explicit CWebSeed(std::string content);
    ~CWebSeed();
    CWebSeed(const CWebSeed&) = delete;
    CWebSeed& operator=(const CWebSeed&) = delete;

    // A distinct address per `lane`, so that a kernel opens one connection each.
    std::string Url(int lane = 0) const;
    // The bytes of content sent so far, in every answer.
    uint64_t Served() const { return m_served; }

private:
    void Accept();
    void Serve(SOCKET connection);
    std::string Answer(const std::string& request) const;

    std::string m_content;
    SOCKET m_listener = INVALID_SOCKET;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable std::atomic<uint64_t> m_served{0};
    std::mutex m_mutex;
    std::vector<SOCKET> m_connections;
    std::vector<std::thread> m_servers;
    std::thread m_acceptor;
};
