#pragma once

#include <json/value.h>

#include <string>

// A settings object filled from one JSON file. The text is read as the user's
// ANSI code page (not UTF-8), comments of both styles are allowed, and
// whatever follows the first complete value is ignored.
class CJsonSetting {
public:
    // True when the file could be opened and Parse took its text; otherwise
    // every field keeps its value.
    virtual bool LoadFile(const std::wstring& path);
    // True when `text` holds a JSON object (or null, taken as an empty one)
    // and its values were taken; any other text changes nothing.
    virtual bool Parse(const std::string& text) = 0;

protected:
    ~CJsonSetting() = default;

    // The document in `text`, when it is an object or null.
    static bool ParseDocument(const std::string& text, Json::Value& root);
};
