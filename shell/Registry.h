#pragma once

#include <string>

// What RegStringValue does with the value.
enum class ERegOp { Read = 1, Write = 2, Delete = 3 };

// Reads, writes or deletes one string value of a key below HKEY_CURRENT_USER,
// creating the key when it is missing. `keyPath` may or may not end in "\";
// an empty `valueName` is the key's default value. A read fills `value` and
// succeeds only for a string that fits 255 characters and is properly
// terminated; a delete removes only a value such a read would accept.
bool RegStringValue(ERegOp op, std::wstring keyPath, const std::wstring& valueName, std::wstring& value);
