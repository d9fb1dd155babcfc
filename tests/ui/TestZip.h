#pragma once

#include <string>
#include <vector>

// Builds small zip archives in memory for the tests: each member stored or
// deflated, names in UTF-8.
class TestZip {
public:
    void Add(const std::string& name, const std::string& bytes, bool deflate = true);
    std::string Bytes() const;

private:
    struct Member {
        std::string name;
        std::string data;
        std::string packed;
        unsigned long crc;
        bool deflated;
    };
    std::vector<Member> m_members;
};

// The bytes of a file of the host, read through its Windows path.
std::string ReadHostFile(const std::string& hostPath);
