#pragma once

#include <array>
#include <cstddef>
#include <string>

// The publisher's Ed25519 public key, built into the program: only what it
// verifies may name the game and the program to start. Empty, nothing is
// checked. A value that is not 64 hexadecimal digits verifies nothing.
class CPublisherKey {
public:
    static constexpr size_t kSignatureSize = 64;

    explicit CPublisherKey(const std::string& hex);

    bool Empty() const { return m_empty; }
    // Whether `signature` (the 64 bytes of a detached signature) was made by
    // this key over exactly these bytes.
    bool Verifies(const char* data, size_t size, const std::string& signature) const;
    // The same for the file at `path` and its signature beside it
    // ("<path>.sig"), or at `signaturePath`.
    bool VerifiesFile(const std::wstring& path) const { return VerifiesFile(path, path + L".sig"); }
    bool VerifiesFile(const std::wstring& path, const std::wstring& signaturePath) const;

private:
    bool m_empty;
    bool m_valid = false;
    std::array<unsigned char, 32> m_key{};
};
