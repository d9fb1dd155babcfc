#include <httplib.h> // before windows.h, for winsock2

#include "http/TestServer.h"

#include "support/ChildProcess.h"

#include <fstream>
#include <stdexcept>

namespace {

int ServerPort()
{
    static const int port = [] {
        std::ifstream in(WindowsPathOfHostPath(KORVANE_HTTP_STATE_DIR "/port").c_str());
        int value = 0;
        if (!(in >> value))
            throw std::runtime_error("the http test server's port file is missing");
        return value;
    }();
    return port;
}

} // namespace

std::string TestServerUrl(const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(ServerPort()) + path;
}

std::string AskTestServer(const std::string& path)
{
    httplib::Client client("127.0.0.1", ServerPort());
    auto result = client.Get(path);
    return result && result->status == 200 ? result->body : std::string();
}

int UnusedPort()
{
    SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    ::closesocket(probe);
    return ntohs(address.sin_port);
}

std::string ServerPattern(size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((seed + i) % 256);
    return bytes;
}
