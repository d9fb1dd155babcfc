#include "settings/DownSetting.h"

#include "settings/JsonConvert.h"

namespace {

// A list that is not an array leaves the old one in place, so a malformed
// answer from the server does not throw away seeds that worked before.
void ReadList(const Json::Value& value, std::vector<std::string>& list)
{
    if (!value.isArray() && !value.isNull())
        return;
    list.clear();
    for (const Json::Value& element : value)
        list.push_back(JsonValueToString(element));
}

} // namespace

bool CDownSetting::Parse(const std::string& text)
{
    Json::Value document;
    if (!ParseDocument(text, document))
        return false;
    const Json::Value& root = document;
    m_mainExe = JsonValueToString(root["mainExe"]);
    m_torrentUrl = JsonValueToString(root["torrentUrl"]);
    m_ver = JsonValueToString(root["ver"]);
    ReadList(root["httpSeed"], m_httpSeed);
    ReadList(root["trackers"], m_trackers);
    return true;
}

bool CDownSetting::IsDescription(const char* data, size_t size)
{
    Json::Value document;
    return ParseDocument(std::string(data, size), document) && document.isObject();
}

void CDownSetting::Reset()
{
    m_mainExe.clear();
    m_torrentUrl.clear();
    m_httpSeed.clear();
    m_trackers.clear();
}
