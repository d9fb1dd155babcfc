#pragma once

#include "settings/JsonSetting.h"

#include <string>

// The local state kept in "base.cfg": the download folder, the rate limits,
// which usage reports have gone out, the torrent last seen and the client
// identity. Whoever changes a field saves the whole file at once.
class CBaseSetting : public CJsonSetting {
public:
    // Every field is taken from the text; a missing key resets it.
    bool Parse(const std::string& text) override;

    // Writes all ten members to `path`, replacing the old file only once the
    // new one is complete. False when nothing was replaced.
    bool Save(const std::wstring& path) const;

    // The text Save writes: the layout of Json::StyledWriter (three-space
    // indent, members in byte order of their names, LF, a final line feed),
    // with texts in the user's ANSI code page.
    std::string SavedText() const;

    int m_upLimit = 0;   // KB/s, 0 = unlimited
    int m_downLimit = 0; // KB/s, 0 = unlimited
    int m_reportDone = 0;
    int m_reportStart = 0;
    int m_reportProcess30 = 0;
    int m_reportProcess50 = 0;
    int m_reportProcess70 = 0;
    std::wstring m_infoHash;
    std::wstring m_savePath; // ends in one "\" when the program wrote it
    std::wstring m_uuid;
};
