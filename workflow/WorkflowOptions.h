#pragma once

#include <cstdint>
#include <string>

// What the program tells the download workflow once, as it starts: filled by
// the entry point from the launcher configuration and the distributor's
// constants.
struct SWorkflowOptions {
    std::wstring configUrl;  // the download description ("server.cfg")
    int16_t p2pPort = 0;     // the first of the engine's listening ports
    std::wstring reportIp;   // the address the engine tells trackers; empty: none
    bool runGame = true;     // start the game's program at completion
    std::wstring reportHost; // where the usage reports go
    // The publisher's Ed25519 public key, 64 hexadecimal digits: only a
    // description and a torrent it signed are used. Empty: none is checked.
    std::string publisherKey;
};
