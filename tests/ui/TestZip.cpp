#include "TestZip.h"

#include "support/ChildProcess.h"

#include <zlib.h>

#include <cstdio>

namespace {

void Put16(std::string& out, unsigned value)
{
    out += char(value & 0xFF);
    out += char(value >> 8 & 0xFF);
}

void Put32(std::string& out, unsigned long value)
{
    Put16(out, unsigned(value & 0xFFFF));
    Put16(out, unsigned(value >> 16 & 0xFFFF));
}

std::string RawDeflate(const std::string& data)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, uLong(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

} // namespace

void TestZip::Add(const std::string& name, const std::string& bytes, bool deflate)
{
    Member member{name, bytes, deflate ? RawDeflate(bytes) : bytes,
                  crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())), deflate};
    m_members.push_back(std::move(member));
}

std::string TestZip::Bytes() const
{
    std::string out, directory;
    for (const Member& m : m_members) {
        unsigned long offset = out.size();
        Put32(out, 0x04034b50);
        Put16(out, 20);
        Put16(out, 0x800);
        Put16(out, m.deflated ? 8 : 0);
        Put32(out, 0);
        Put32(out, m.crc);
        Put32(out, m.packed.size());
        Put32(out, m.data.size());
        Put16(out, unsigned(m.name.size()));
        Put16(out, 0);
        out += m.name + m.packed;

        Put32(directory, 0x02014b50);
        Put16(directory, 20);
        Put16(directory, 20);
        Put16(directory, 0x800);
        Put16(directory, m.deflated ? 8 : 0);
        Put32(directory, 0);
        Put32(directory, m.crc);
        Put32(directory, m.packed.size());
        Put32(directory, m.data.size());
        Put16(directory, unsigned(m.name.size()));
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put32(directory, 0);
        Put32(directory, offset);
        directory += m.name;
    }
    unsigned long directoryOffset = out.size();
    out += directory;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, unsigned(m_members.size()));
    Put16(out, unsigned(m_members.size()));
    Put32(out, directory.size());
    Put32(out, directoryOffset);
    Put16(out, 0);
    return out;
}

std::string ReadHostFile(const std::string& hostPath)
{
    std::string bytes;
    FILE* file = _wfopen(WindowsPathOfHostPath(hostPath).c_str(), L"rb");
    if (!file)
        return bytes;
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, count);
    fclose(file);
    return bytes;
}
