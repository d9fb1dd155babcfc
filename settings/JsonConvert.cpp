#include "settings/JsonConvert.h"

#include <climits>
#include <cstdint>

namespace {

bool FitsInt(int64_t number) { return number >= INT_MIN && number <= INT_MAX; }

// The signed 32-bit value of a number or boolean (reals truncated toward
// zero); false for other types and for numbers outside that range, NaN
// included.
bool NumberAsInt(const Json::Value& value, int& number)
{
    switch (value.type()) {
    case Json::intValue:
        if (!FitsInt(value.asInt64()))
            return false;
        number = static_cast<int>(value.asInt64());
        return true;
    case Json::uintValue:
        if (value.asUInt64() > INT_MAX)
            return false;
        number = static_cast<int>(value.asUInt64());
        return true;
    case Json::realValue:
        if (!(value.asDouble() > INT_MIN - 1.0 && value.asDouble() < INT_MAX + 1.0))
            return false;
        number = static_cast<int>(value.asDouble());
        return true;
    case Json::booleanValue:
        number = value.asBool() ? 1 : 0;
        return true;
    default:
        return false;
    }
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atol's reading, with 0 for a number that does not fit.
int DecimalPrefix(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > int64_t{INT_MAX} + 1)
            return 0;
    }
    const int64_t number = negative ? -magnitude : magnitude;
    return FitsInt(number) ? static_cast<int>(number) : 0;
}

} // namespace

std::string JsonValueToString(const Json::Value& value)
{
    if (value.isString())
        return value.asString();
    if (value.isNull() || value.isArray() || value.isObject())
        return std::string();
    int number = 0;
    return std::to_string(NumberAsInt(value, number) ? number : 0);
}

int JsonValueToInt(const Json::Value& value)
{
    if (value.isString())
        return DecimalPrefix(value.asString());
    int number = 0;
    return NumberAsInt(value, number) && number >= 0 ? number : 0;
}
