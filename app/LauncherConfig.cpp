#include "app/LauncherConfig.h"

#include "app/JsonMembers.h"
#include "distribution/Distribution.h"
#include "util/TextConvert.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

// Text mode on purpose: CR LF is read as LF and the dump writes LF as CR LF.
bool ReadTextFile(const char* fileName, std::string& text)
{
    UniqueFile file(std::fopen(fileName, "r"));
    if (!file)
        return false;
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        text.append(buffer, count);
    return true;
}

void WriteTextFile(const char* fileName, const std::string& text)
{
    UniqueFile file(std::fopen(fileName, "w"));
    if (file)
        std::fwrite(text.data(), 1, text.size(), file.get());
}

// The JSON text proper ends at the first NUL, and leading control characters
// and spaces (codes 1 to 32) are not part of it.
std::string JsonTextOf(const std::string& fileText)
{
    const std::string text(fileText.c_str());
    size_t start = 0;
    while (start < text.size() && static_cast<unsigned char>(text[start]) <= 32)
        ++start;
    return text.substr(start);
}

bool EqualsIgnoringAsciiCase(const std::string& a, const char* b)
{
    const size_t length = std::strlen(b);
    if (a.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

const SJsonMember* FindMember(const std::vector<SJsonMember>& members, const char* key)
{
    for (const SJsonMember& member : members)
        if (EqualsIgnoringAsciiCase(member.name, key))
            return &member;
    return nullptr;
}

// A number is an integer when it is written without fractional digits and
// with no exponent or a zero one (9310 and 9310e0, not 9310.0). Only its low
// 16 bits matter, so the digits are reduced as they are read and any length
// of number works.
bool IntegerLow16Bits(const std::string& raw, uint16_t& low16)
{
    size_t i = 0;
    const bool negative = i < raw.size() && raw[i] == '-';
    if (negative)
        ++i;
    uint32_t magnitude = 0;
    size_t digits = 0;
    for (; i < raw.size() && raw[i] >= '0' && raw[i] <= '9'; ++i, ++digits)
        magnitude = (magnitude * 10 + static_cast<uint32_t>(raw[i] - '0')) & 0xFFFF;
    if (digits == 0)
        return false;
    if (i < raw.size() && (raw[i] == 'e' || raw[i] == 'E')) {
        ++i;
        if (i < raw.size() && (raw[i] == '+' || raw[i] == '-'))
            ++i;
        for (; i < raw.size() && raw[i] == '0'; ++i) {
        }
    }
    if (i != raw.size())
        return false; // a fraction or a non-zero exponent
    low16 = static_cast<uint16_t>(negative ? 0x10000u - magnitude : magnitude);
    return true;
}

bool ReadBool(const SJsonMember* member, bool& target)
{
    if (!member || !member->value.isBool())
        return false;
    target = member->value.asBool();
    return true;
}

void ReadString(const SJsonMember* member, std::wstring& target)
{
    if (member && member->value.isString())
        target = AnsiToWide(member->value.asString());
}

} // namespace

CLauncherConfig& CLauncherConfig::Instance()
{
    static CLauncherConfig config;
    return config;
}

CLauncherConfig::CLauncherConfig()
    : config_url(std::wstring(L"http://") + distribution::kConfigHost + distribution::kConfigPath)
{
    SetPort(static_cast<uint16_t>(distribution::kDefaultP2pPort));
}

void CLauncherConfig::SetPort(uint16_t port)
{
    p2p_port = static_cast<int16_t>(port);
    wchar_t name[128];
    std::swprintf(name, sizeof name / sizeof name[0], distribution::kMutexNameFormat,
                  static_cast<int>(p2p_port));
    mutex_name = name;
}

void CLauncherConfig::Load(const char* fileName)
{
    std::string fileText;
    if (!ReadTextFile(fileName, fileText))
        return;

    std::vector<SJsonMember> members;
    ReadJsonObjectMembers(JsonTextOf(fileText), members);

    const SJsonMember* port = FindMember(members, "p2p_port");
    uint16_t low16 = 0;
    if (port && port->value.isNumeric() && IntegerLow16Bits(port->rawValue, low16))
        SetPort(low16);
    ReadString(FindMember(members, "config_url"), config_url);
    ReadBool(FindMember(members, "run_game_exe"), run_game_exe);
    ReadString(FindMember(members, "report_ip"), report_ip);
    ReadBool(FindMember(members, "exit_on_done"), exit_on_done);

    bool dump = false;
    if (ReadBool(FindMember(members, "dump_config"), dump) && dump)
        WriteTextFile(distribution::kLauncherDumpFile, fileText);
}
