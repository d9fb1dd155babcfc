#pragma once

#include <json/value.h>

#include <string>
#include <vector>

// One member of a JSON object, with the text its value was written as.
struct SJsonMember {
    std::string name;
    Json::Value value;
    std::string rawValue;
};

// Reads one JSON object from the start of `text` into its members in the
// order they were written, keeping members whose names repeat (jsoncpp's own
// object keeps only the last of them, sorted by name). Whatever follows the
// object is ignored. Fails, leaving `members` empty, when the text does not
// begin with a well-formed object.
bool ReadJsonObjectMembers(const std::string& text, std::vector<SJsonMember>& members);
