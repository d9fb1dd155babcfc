#pragma once

#include <json/value.h>

#include <string>

// How the settings files' values become texts and numbers, whatever JSON
// type the file gave them.

// A string's bytes; a number or boolean as decimal text of its signed 32-bit
// value (reals truncated toward zero, true as "1"); null, array or object as
// empty text. A number outside the signed 32-bit range gives "0".
std::string JsonValueToString(const Json::Value& value);

// A number from 0 to 2147483647 (reals truncated toward zero), a boolean as
// 1 or 0, a string as atol reads it (leading blanks, a sign, the digits up to
// the first other character); null, array and object give 0. Values the
// 32-bit fields cannot hold as meant give 0: negative numbers, numbers above
// 2147483647, and strings whose number does not fit.
int JsonValueToInt(const Json::Value& value);
