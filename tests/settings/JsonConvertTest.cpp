#include "settings/JsonConvert.h"

#include <json/reader.h>

#include <gtest/gtest.h>

namespace {

// The value as the settings reader makes it from JSON text, so each case has
// the type jsoncpp gives that spelling.
Json::Value Parsed(const std::string& text)
{
    Json::Value value;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse("[" + text + "]", value, false)) << text;
    return value[0];
}

TEST(JsonValueToInt, ReadsEachTypeByItsRule)
{
    const struct {
        const char* json;
        int expected;
    } cases[] = {
        {"250", 250},           {"\"250\"", 250},   {"12.9", 12},          {"true", 1},
        {"false", 0},           {"[]", 0},          {"[7]", 0},            {"{}", 0},
        {"null", 0},            {"\"  -12abc\"", -12}, {"\"+7\"", 7},      {"\"abc\"", 0},
        {"\"\"", 0},            {"2147483647", 2147483647},                {"0.999", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonValueToInt(Parsed(c.json)), c.expected) << c.json;
}

TEST(JsonValueToInt, ValuesTheFieldsCannotHoldGiveZero)
{
    for (const char* json : {"-5", "-3.7", "2147483648", "4294967295", "4294967296",
                             "18446744073709551615", "-9223372036854775808", "1e300", "-1e300",
                             "\"99999999999\"", "\"-99999999999\""})
        EXPECT_EQ(JsonValueToInt(Parsed(json)), 0) << json;
}

TEST(JsonValueToString, WritesNumbersAsSigned32BitDecimals)
{
    const struct {
        const char* json;
        const char* expected;
    } cases[] = {
        {"\"a b\"", "a b"},  {"5", "5"},     {"-5", "-5"},   {"12.9", "12"},  {"-3.7", "-3"},
        {"true", "1"},       {"false", "0"}, {"null", ""},   {"[1]", ""},     {"{}", ""},
        {"2147483647", "2147483647"},        {"-2147483648", "-2147483648"},
        {"2147483648", "0"}, {"4294967295", "0"}, {"-2147483649", "0"}, {"1e300", "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonValueToString(Parsed(c.json)), c.expected) << c.json;
}

TEST(JsonValueToString, KeepsStringBytesIncludingDecodedEscapes)
{
    EXPECT_EQ(JsonValueToString(Parsed("\"\xD6\xD0\xCE\xC4\"")), "\xD6\xD0\xCE\xC4");
    // "\u" escapes become UTF-8 bytes, then count as ANSI bytes like any other.
    EXPECT_EQ(JsonValueToString(Parsed("\"\\u4e2d\"")), "\xE4\xB8\xAD");
}

} // namespace
