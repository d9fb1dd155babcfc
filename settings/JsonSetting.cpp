#include "settings/JsonSetting.h"

#include "settings/SimpleFile.h"

#include <json/reader.h>

#include <exception>
#include <utility>

bool CJsonSetting::LoadFile(const std::wstring& path)
{
    CSimpleFile file;
    if (file.Open(path, false) != 0)
        return false;

    std::string text;
    char chunk[CSimpleFile::kChunkSize];
    DWORD count = 0;
    while (file.Read(chunk, count) == 0 && count > 0)
        text.append(chunk, count);
    file.Close();
    return Parse(text);
}

bool CJsonSetting::ParseDocument(const std::string& text, Json::Value& root)
{
    Json::Value document;
    try {
        Json::Reader reader; // default features: comments allowed, any value at the top
        if (!reader.parse(text, document, false))
            return false;
    } catch (const std::exception&) {
        return false; // nesting deeper than the reader allows
    }
    if (!document.isObject() && !document.isNull())
        return false;
    root = std::move(document);
    return true;
}
