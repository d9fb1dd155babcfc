#include "PortProbe.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace kernel {
namespace {

class CWinsock {
public:
    CWinsock() { m_ok = ::WSAStartup(MAKEWORD(2, 2), &m_data) == 0; }
    ~CWinsock()
    {
        if (m_ok)
            ::WSACleanup();
    }
    bool Ok() const { return m_ok; }

private:
    WSADATA m_data{};
    bool m_ok = false;
};

bool CanBind(int type, int protocol, uint16_t port)
{
    SOCKET s = ::socket(AF_INET, type, protocol);
    if (s == INVALID_SOCKET)
        return false;
    BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::closesocket(s);
    return bound;
}

} // namespace

uint16_t FirstFreePort(uint16_t first, uint16_t last)
{
    CWinsock winsock;
    if (!winsock.Ok())
        return first;
    for (uint16_t port = first;; ++port) {
        if (port != 0 && CanBind(SOCK_STREAM, IPPROTO_TCP, port) && CanBind(SOCK_DGRAM, IPPROTO_UDP, port))
            return port;
        if (port == last)
            return first;
    }
}

} // namespace kernel
