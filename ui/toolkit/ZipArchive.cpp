#include "ZipArchive.h"

#include <windows.h>
#include <zlib.h>

namespace uitk {
namespace {

const uint32_t kEndOfDirectory = 0x06054b50;
const uint32_t kDirectoryEntry = 0x02014b50;
const uint32_t kLocalHeader = 0x04034b50;
const size_t kEndRecordSize = 22;
const size_t kDirectoryEntrySize = 46;
const size_t kLocalHeaderSize = 30;
const uint16_t kStored = 0;
const uint16_t kDeflated = 8;
const uint16_t kEncrypted = 1;
// Deflate never packs better than about 1032 to 1; a member that claims
// more is damaged, and unpacking it would only exhaust memory.
const uint64_t kMaxDeflateRatio = 1032;

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

// Member names are UTF-8 when the archive says so, otherwise in the
// archive maker's code page; both read right for plain ASCII names.
std::wstring MemberName(const uint8_t* p, size_t length, bool utf8)
{
    if (length == 0)
        return {};
    UINT codePage = utf8 ? CP_UTF8 : CP_THREAD_ACP;
    const char* text = reinterpret_cast<const char*>(p);
    int count = ::MultiByteToWideChar(codePage, 0, text, int(length), nullptr, 0);
    std::wstring name(size_t(count), L'\0');
    ::MultiByteToWideChar(codePage, 0, text, int(length), name.data(), count);
    return name;
}

} // namespace

bool CZipArchive::Open(const void* data, size_t size)
{
    m_data = nullptr;
    m_size = 0;
    m_members.clear();
    if (!data || size < kEndRecordSize)
        return false;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    // The end record sits at the very end unless an archive comment follows it.
    size_t lowest = size > kEndRecordSize + 0xFFFF ? size - kEndRecordSize - 0xFFFF : 0;
    for (size_t at = size - kEndRecordSize + 1; at-- > lowest;) {
        if (Le32(bytes + at) != kEndOfDirectory)
            continue;
        m_data = bytes;
        m_size = size;
        if (ReadDirectory(at))
            return true;
        m_data = nullptr;
        m_size = 0;
        m_members.clear();
    }
    return false;
}

bool CZipArchive::ReadDirectory(size_t endRecord)
{
    const uint8_t* end = m_data + endRecord;
    uint16_t count = Le16(end + 10);
    uint32_t directorySize = Le32(end + 12);
    uint32_t directoryOffset = Le32(end + 16);
    if (uint64_t(directoryOffset) + directorySize > endRecord)
        return false;
    size_t at = directoryOffset;
    size_t limit = size_t(directoryOffset) + directorySize;
    for (uint16_t i = 0; i < count; ++i) {
        if (at + kDirectoryEntrySize > limit)
            return false;
        const uint8_t* entry = m_data + at;
        if (Le32(entry) != kDirectoryEntry)
            return false;
        size_t nameLength = Le16(entry + 28);
        size_t next = at + kDirectoryEntrySize + nameLength + Le16(entry + 30) + Le16(entry + 32);
        if (next > limit)
            return false;
        uint16_t flags = Le16(entry + 8);
        Member member;
        member.name = MemberName(entry + kDirectoryEntrySize, nameLength, (flags & 0x800) != 0);
        member.method = (flags & kEncrypted) ? 0xFFFF : Le16(entry + 10);
        member.crc = Le32(entry + 16);
        member.packedSize = Le32(entry + 20);
        member.size = Le32(entry + 24);
        member.localHeader = Le32(entry + 42);
        m_members.push_back(std::move(member));
        at = next;
    }
    return true;
}

const CZipArchive::Member* CZipArchive::Find(const std::wstring& name) const
{
    for (const Member& member : m_members)
        if (member.name == name)
            return &member;
    for (const Member& member : m_members)
        if (::CompareStringOrdinal(member.name.c_str(), int(member.name.size()), name.c_str(),
                                   int(name.size()), TRUE) == CSTR_EQUAL)
            return &member;
    return nullptr;
}

std::vector<std::wstring> CZipArchive::Names() const
{
    std::vector<std::wstring> names;
    for (const Member& member : m_members)
        names.push_back(member.name);
    return names;
}

bool CZipArchive::Read(const std::wstring& name, std::string& bytes) const
{
    bytes.clear();
    const Member* member = Find(name);
    if (!member)
        return false;
    size_t header = member->localHeader;
    if (header + kLocalHeaderSize > m_size || Le32(m_data + header) != kLocalHeader)
        return false;
    size_t start = header + kLocalHeaderSize + Le16(m_data + header + 26) + Le16(m_data + header + 28);
    if (start > m_size || m_size - start < member->packedSize)
        return false;
    if (!Unpack(*member, m_data + start, bytes))
        return false;
    uLong crc = ::crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size()));
    if (crc != member->crc) {
        bytes.clear();
        return false;
    }
    return true;
}

bool CZipArchive::Unpack(const Member& member, const uint8_t* packed, std::string& bytes) const
{
    if (member.method == kStored) {
        if (member.packedSize != member.size)
            return false;
        bytes.assign(reinterpret_cast<const char*>(packed), member.size);
        return true;
    }
    if (member.method != kDeflated || member.size > uint64_t(member.packedSize) * kMaxDeflateRatio + 1024)
        return false;
    bytes.resize(member.size);
    z_stream stream{};
    if (::inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return false;
    stream.next_in = const_cast<Bytef*>(packed);
    stream.avail_in = member.packedSize;
    stream.next_out = reinterpret_cast<Bytef*>(bytes.data());
    stream.avail_out = member.size;
    int result = ::inflate(&stream, Z_FINISH);
    bool whole = result == Z_STREAM_END && stream.total_out == member.size;
    ::inflateEnd(&stream);
    if (!whole)
        bytes.clear();
    return whole;
}

} // namespace uitk
