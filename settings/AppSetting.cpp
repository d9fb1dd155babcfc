#include "settings/AppSetting.h"

#include "settings/ClientId.h"
#include "settings/ConfigDir.h"
#include "util/PathText.h"
#include "util/TextConvert.h"
#include "settings/DownloadDir.h"

CAppSetting::CAppSetting() : CAppSetting(GetConfigDir()) {}

CAppSetting::CAppSetting(const std::wstring& cfgDir)
    : m_cfgDir(cfgDir), m_serverCfgPath(cfgDir + L"server.cfg"), m_baseCfgPath(cfgDir + L"base.cfg")
{
}

bool CAppSetting::LoadAll()
{
    CBaseSetting& base = *this;
    CDownSetting& down = *this;

    base.LoadFile(m_baseCfgPath);
    if (m_savePath.empty()) {
        m_savePath = WithOneTrailingBackslash(GetDefaultDownloadDir());
        Save(m_baseCfgPath);
    }
    if (m_uuid.empty()) {
        m_uuid = AnsiToWide(MakeClientId());
        Save(m_baseCfgPath);
    }
    down.LoadFile(m_serverCfgPath);
    return true;
}
