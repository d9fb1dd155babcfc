#pragma once

#include <string>

// The MD5 digest of `bytes` as 32 lowercase hexadecimal digits, computed by
// the system's cryptographic provider; empty if the provider is unavailable.
std::string Md5Hex(const std::string& bytes);
