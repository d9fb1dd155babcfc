#include "WebSeed.h"

#include <ws2tcpip.h>

#include <cstdlib>
#include <stdexcept>

CWebSeed::CWebSeed(std::string content) : m_content(std::move(content))
{
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (m_listener == INVALID_SOCKET || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, SOMAXCONN) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the web seed cannot listen");
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { Accept(); });
}

CWebSeed::~CWebSeed()
{
    m_stopping = true;
    ::closesocket(m_listener);
    m_acceptor.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (SOCKET connection : m_connections)
            ::shutdown(connection, SD_BOTH);
    }
    for (std::thread& server : m_servers)
        server.join();
    for (SOCKET connection : m_connections)
        ::closesocket(connection);
    ::WSACleanup();
}

std::string CWebSeed::Url(int lane) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/lane" + std::to_string(lane) + "/";
}

void CWebSeed::Accept()
{
    for (;;) {
        SOCKET connection = ::accept(m_listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping) {
            ::closesocket(connection);
            return;
        }
        m_connections.push_back(connection);
        m_servers.emplace_back([this, connection] { Serve(connection); });
    }
}

// A kernel that stops reading (a paused or released download) may leave a
// send or a receive waiting for ever, and a shutdown of the socket does not
// end such a wait under Wine: both give up after a while, so the seed can
// always stop. A send that gave up ends the connection; the kernel makes a
// new one if it still wants the bytes.
void CWebSeed::Serve(SOCKET connection)
{
    const DWORD waitLimitMs = 1000;
    ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&waitLimitMs), sizeof waitLimitMs);
    ::setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&waitLimitMs), sizeof waitLimitMs);
    std::string pending;
    char buffer[16384];
    for (;;) {
        size_t end;
        while ((end = pending.find("\r\n\r\n")) != std::string::npos) {
            const std::string answer = Answer(pending.substr(0, end));
            pending.erase(0, end + 4);
            for (size_t sent = 0; sent < answer.size();) {
                const int count = ::send(connection, answer.data() + sent, int(answer.size() - sent), 0);
                if (count <= 0)
                    return;
                sent += size_t(count);
            }
        }
        const int count = ::recv(connection, buffer, sizeof buffer, 0);
        if (count < 0 && ::WSAGetLastError() == WSAETIMEDOUT && !m_stopping)
            continue;
        if (count <= 0)
            return;
        pending.append(buffer, size_t(count));
    }
}

// The whole content, or the one range asked for.
std::string CWebSeed::Answer(const std::string& request) const
{
    const size_t total = m_content.size();
    size_t first = 0, last = total - 1;
    bool partial = false;
    const size_t range = request.find("Range: bytes=");
    if (range != std::string::npos) {
        char* next = nullptr;
        first = std::strtoull(request.c_str() + range + 13, &next, 10);
        if (*next == '-' && next[1] >= '0' && next[1] <= '9')
            last = std::strtoull(next + 1, nullptr, 10);
        partial = first <= last && last < total;
        if (!partial)
            return "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n";
    }
    std::string head = partial ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(first) +
                                     "-" + std::to_string(last) + "/" + std::to_string(total) + "\r\n"
                               : "HTTP/1.1 200 OK\r\n";
    head += "Content-Length: " + std::to_string(last - first + 1) + "\r\n\r\n";
    m_served += last - first + 1;
    return head + m_content.substr(first, last - first + 1);
}
