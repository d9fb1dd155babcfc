#include "net/UrlClient.h"

#include "util/AtomicFileWrite.h"

#include <httplib.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <utility>

namespace {

constexpr char kSchemeMark[] = "://";

// The response, or null after printing the failure line. The library
// refuses some addresses (another scheme, a port out of range) by throwing;
// they fail like a connection that could not be made.
std::unique_ptr<httplib::Response> Get(const std::string& url)
{
    int error = static_cast<int>(httplib::Error::Unknown);
    try {
        httplib::Client client(GetUrlScheme(url) + kSchemeMark + GetUrlHost(url));
        std::string path = GetUrlPath(url);
        if (path.empty())
            path = "/";
        httplib::Result result = client.Get(path, [](uint64_t, uint64_t) { return true; });
        if (result)
            return std::make_unique<httplib::Response>(std::move(result.value()));
        error = static_cast<int>(result.error());
    } catch (const std::exception&) {
    }
    std::printf("url connect failed! error = %d\n", error);
    std::fflush(stdout);
    return nullptr;
}

} // namespace

void DownloadUrlToFile(const std::string& url, const std::wstring& path, BodyCheck check)
{
    const auto response = Get(url);
    if (!response || response->status != 200)
        return;
    if (check && !check(response->body.data(), response->body.size()))
        return;
    if (!WriteFileAtomically(path, response->body.data(), response->body.size())) {
        std::printf("open file error!\n");
        std::fflush(stdout);
    }
}

void RequestUrl(const std::string& url)
{
    const auto response = Get(url);
    if (response && response->status == 200) {
        std::printf("url connect success!\n");
        std::fflush(stdout);
    }
}

std::string GetUrlScheme(const std::string& url)
{
    const size_t mark = url.find(kSchemeMark);
    return mark == std::string::npos ? std::string() : url.substr(0, mark);
}

std::string GetUrlHost(const std::string& url)
{
    const size_t mark = url.find(kSchemeMark);
    if (mark == std::string::npos)
        return {};
    const size_t start = mark + sizeof(kSchemeMark) - 1;
    const size_t slash = url.find('/', start);
    return url.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
}

std::string GetUrlPath(const std::string& url)
{
    const std::string host = GetUrlHost(url);
    if (host.empty())
        return {};
    const size_t start = url.find(kSchemeMark) + sizeof(kSchemeMark) - 1 + host.size();
    return url.substr(start);
}
