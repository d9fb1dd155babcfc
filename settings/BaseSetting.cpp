#include "settings/BaseSetting.h"

#include "settings/JsonConvert.h"
#include "util/AtomicFileWrite.h"
#include "util/PathText.h"
#include "util/TextConvert.h"
#include "util/DirectoryTree.h"

#include <json/writer.h>

#include <memory>
#include <sstream>

namespace {

std::wstring TextOf(const Json::Value& value) { return AnsiToWide(JsonValueToString(value)); }

// Json::StyledWriter would take the ANSI bytes for UTF-8 and escape them as
// other characters, so a Chinese folder name would not read back the same.
// The stream writer set up like this lays the document out the same way and
// writes the bytes as they are.
std::string StyledText(const Json::Value& document)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "   ";
    builder["commentStyle"] = "None";
    builder["emitUTF8"] = true;
    std::ostringstream text;
    std::unique_ptr<Json::StreamWriter>(builder.newStreamWriter())->write(document, &text);
    text << '\n';
    return text.str();
}

} // namespace

bool CBaseSetting::Parse(const std::string& text)
{
    Json::Value document;
    if (!ParseDocument(text, document))
        return false;
    const Json::Value& root = document;
    m_savePath = TextOf(root["savepath"]);
    m_downLimit = JsonValueToInt(root["downlimit"]);
    m_upLimit = JsonValueToInt(root["uplimit"]);
    m_reportStart = JsonValueToInt(root["reportstart"]);
    m_reportDone = JsonValueToInt(root["reportdone"]);
    m_infoHash = TextOf(root["infohash"]);
    m_uuid = TextOf(root["uuid"]);
    m_reportProcess30 = JsonValueToInt(root["reportprocess_30"]);
    m_reportProcess50 = JsonValueToInt(root["reportprocess_50"]);
    m_reportProcess70 = JsonValueToInt(root["reportprocess_70"]);
    return true;
}

std::string CBaseSetting::SavedText() const
{
    Json::Value document(Json::objectValue);
    document["downlimit"] = m_downLimit;
    document["infohash"] = WideToAnsi(m_infoHash);
    document["reportdone"] = m_reportDone;
    document["reportprocess_30"] = m_reportProcess30;
    document["reportprocess_50"] = m_reportProcess50;
    document["reportprocess_70"] = m_reportProcess70;
    document["reportstart"] = m_reportStart;
    document["savepath"] = WideToAnsi(m_savePath);
    document["uplimit"] = m_upLimit;
    document["uuid"] = WideToAnsi(m_uuid);
    return StyledText(document);
}

bool CBaseSetting::Save(const std::wstring& path) const
{
    const std::wstring folder = FolderOfPath(path);
    if (!folder.empty() && ::GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryTree(folder);
    const std::string text = SavedText();
    return WriteFileAtomically(path, text.data(), text.size());
}
