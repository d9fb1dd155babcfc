#include <httplib.h> // before windows.h, for winsock2

#include "workflow/Collector.h"

#include "support/ChildProcess.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

int CollectorPort()
{
    static const int port = [] {
        std::ifstream in(WindowsPathOfHostPath(KORVANE_COLLECTOR_STATE_DIR "/port").c_str());
        int value = 0;
        if (!(in >> value))
            throw std::runtime_error("the workflow test server's port file is missing");
        return value;
    }();
    return port;
}

std::string Get(const std::string& path)
{
    httplib::Client client("127.0.0.1", CollectorPort());
    auto result = client.Get(path);
    return result && result->status == 200 ? result->body : std::string();
}

std::vector<std::string> LinesAt(const std::string& path)
{
    std::vector<std::string> kept;
    std::istringstream lines(Get(path));
    for (std::string line; std::getline(lines, line);)
        kept.push_back(line);
    return kept;
}

} // namespace

std::string CollectorUrl(const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(CollectorPort()) + path;
}

std::wstring CollectorHost() { return L"127.0.0.1:" + std::to_wstring(CollectorPort()); }

bool StoreOnCollector(const std::string& name, const std::string& bytes)
{
    httplib::Client client("127.0.0.1", CollectorPort());
    auto result = client.Put("/files/" + name, bytes, "application/octet-stream");
    return result && result->status == 200;
}

int FetchCount(const std::string& name) { return std::atoi(Get("/hits/" + name).c_str()); }

std::vector<std::string> ReceivedReports(const std::string& uuid) { return LinesAt("/reports/" + uuid); }

std::vector<std::string> ReceivedAnnounces() { return LinesAt("/announces"); }

std::vector<std::string> WaitForReports(const std::string& uuid, size_t count)
{
    std::vector<std::string> reports;
    WaitFor([&] {
        reports = ReceivedReports(uuid);
        return reports.size() >= count;
    });
    return reports;
}

std::string UniqueClientId(const char* prefix)
{
    static int counter = 0;
    return std::string(prefix) + std::to_string(::GetCurrentProcessId()) + "x" + std::to_string(++counter);
}

std::string JsonText(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        if (c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}
