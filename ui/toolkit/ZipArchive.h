#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace uitk {

// Reads the members of a zip archive that lies in memory: stored and
// deflated members, no encryption, no multi-disk archives. The caller keeps
// the bytes alive as long as the archive is used.
class CZipArchive {
public:
    // False when the bytes are not a zip archive we can read.
    bool Open(const void* data, size_t size);
    bool IsOpen() const { return m_data != nullptr; }

    // Names are matched exactly first, then without regard to letter case.
    bool Contains(const std::wstring& name) const { return Find(name) != nullptr; }
    // False for a missing member, a damaged one or one we cannot unpack.
    bool Read(const std::wstring& name, std::string& bytes) const;
    std::vector<std::wstring> Names() const;

private:
    struct Member {
        std::wstring name;
        uint16_t method = 0;
        uint32_t crc = 0;
        uint32_t packedSize = 0;
        uint32_t size = 0;
        uint32_t localHeader = 0;
    };

    const Member* Find(const std::wstring& name) const;
    bool ReadDirectory(size_t endRecord);
    bool Unpack(const Member& member, const uint8_t* packed, std::string& bytes) const;

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    std::vector<Member> m_members;
};

} // namespace uitk
