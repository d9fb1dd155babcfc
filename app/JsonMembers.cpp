#include "app/JsonMembers.h"

#include <json/reader.h>

#include <memory>

namespace {

// Reads JSON values one at a time from a moving position, so the caller sees
// where each one ended.
class CJsonTokenReader {
public:
    CJsonTokenReader(const char* begin, const char* end) : m_pos(begin), m_end(end)
    {
        Json::CharReaderBuilder builder;
        Json::CharReaderBuilder::strictMode(&builder.settings_);
        builder["failIfExtra"] = false;
        builder["rejectDupKeys"] = false;
        builder["strictRoot"] = false;
        m_reader.reset(builder.newCharReader());
    }

    bool ReadValue(Json::Value& value, std::string* raw = nullptr)
    {
        SkipSpace();
        try {
            if (!m_reader->parse(m_pos, m_end, &value, nullptr))
                return false;
        } catch (const std::exception&) {
            return false; // nesting beyond jsoncpp's stack limit
        }
        if (raw)
            raw->assign(m_pos + value.getOffsetStart(), m_pos + value.getOffsetLimit());
        m_pos += value.getOffsetLimit();
        return true;
    }

    bool Expect(char c)
    {
        SkipSpace();
        if (m_pos == m_end || *m_pos != c)
            return false;
        ++m_pos;
        return true;
    }

    char Peek()
    {
        SkipSpace();
        return m_pos == m_end ? '\0' : *m_pos;
    }

private:
    void SkipSpace()
    {
        while (m_pos != m_end && (*m_pos == ' ' || *m_pos == '\t' || *m_pos == '\r' || *m_pos == '\n'))
            ++m_pos;
    }

    const char* m_pos;
    const char* m_end;
    std::unique_ptr<Json::CharReader> m_reader;
};

bool ReadMember(CJsonTokenReader& reader, std::vector<SJsonMember>& members)
{
    SJsonMember member;
    Json::Value name;
    if (!reader.ReadValue(name) || !name.isString() || !reader.Expect(':') ||
        !reader.ReadValue(member.value, &member.rawValue))
        return false;
    member.name = name.asString();
    members.push_back(std::move(member));
    return true;
}

bool ReadMembers(CJsonTokenReader& reader, std::vector<SJsonMember>& members)
{
    if (!reader.Expect('{'))
        return false;
    if (reader.Expect('}'))
        return true;
    do {
        if (!ReadMember(reader, members))
            return false;
    } while (reader.Expect(','));
    return reader.Expect('}');
}

} // namespace

bool ReadJsonObjectMembers(const std::string& text, std::vector<SJsonMember>& members)
{
    members.clear();
    CJsonTokenReader reader(text.data(), text.data() + text.size());
    if (reader.Peek() == '{' && ReadMembers(reader, members))
        return true;
    members.clear();
    return false;
}
