#include <httplib.h> // before windows.h, for winsock2

#include "faults/ConfigServer.h"

#include "support/ChildProcess.h"

#include <fstream>

namespace {

int ControlPort()
{
    static const int port = [] {
        std::ifstream in(WindowsPathOfHostPath(KORVANE_FAULT_SERVER_STATE_DIR "/port").c_str());
        int value = 0;
        in >> value;
        return value;
    }();
    return port;
}

// The answer's body, or empty when the control port did not say 200.
std::string Control(const std::string& path)
{
    if (ControlPort() == 0)
        return {};
    httplib::Client client("127.0.0.1", ControlPort());
    auto result = client.Get(path);
    return result && result->status == 200 ? result->body : std::string();
}

} // namespace

bool ConfigServer::Open(const std::string& caseName)
{
    m_case = caseName;
    m_port = std::atoi(Control("/cases/" + m_case + "/open").c_str());
    return m_port != 0;
}

ConfigServer::~ConfigServer()
{
    if (m_port != 0)
        Control("/cases/" + m_case + "/close");
}

bool ConfigServer::Store(const std::string& name, const std::string& bytes) const
{
    httplib::Client client("127.0.0.1", ControlPort());
    auto result = client.Put("/cases/" + m_case + "/files/" + name, bytes, "application/octet-stream");
    return result && result->status == 200;
}

bool ConfigServer::SetMode(const std::string& mode) const
{
    return !Control("/cases/" + m_case + "/mode/" + mode).empty();
}

int ConfigServer::Hits(const std::string& name) const
{
    return std::atoi(Control("/cases/" + m_case + "/hits/" + name).c_str());
}

std::string ConfigServer::Url(const std::string& name) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/" + name;
}

std::wstring ConfigServer::ReportHost() { return L"127.0.0.1:" + std::to_wstring(ControlPort()); }
