#pragma once

#include "settings/BaseSetting.h"
#include "settings/DownSetting.h"

#include <string>

// The settings of the process: the download description of "server.cfg" and
// the local state of "base.cfg", both reachable as fields of this object,
// and where the two files live.
class CAppSetting : public CDownSetting, public CBaseSetting {
public:
    // The files in the configuration folder beside the program.
    CAppSetting();
    // The files in `cfgDir`, which ends in "\".
    explicit CAppSetting(const std::wstring& cfgDir);

    // Reads "base.cfg", fills in and saves a missing download folder and
    // client identity, then reads "server.cfg". Missing or broken files keep
    // the values held before. Always true.
    bool LoadAll();

    std::wstring m_cfgDir;
    std::wstring m_serverCfgPath;
    std::wstring m_baseCfgPath;
};

// The one settings object, built before the program's entry function runs.
extern CAppSetting g_appSetting;
