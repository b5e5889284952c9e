#pragma once
// The simulator's own small reader of a UPStart export: the network id, the
// links, and each device with its receive presets (link, level). The rest of
// the records is skipped.

#include <map>
#include <string>
#include <vector>

namespace pimsim {

struct Preset {
    int channel = 0;  // 0 = first
    int component = 0;
    int link = 255;   // 255 = unused
    int level = 0;    // 0..100
};

struct Device {
    int id = 0;
    int network = 0;
    int kind = 0;      // 1 keypad, 2 switch, 3 module, 4 input, 5 input-output, ...
    int channels = 1;
    std::string room;
    std::string name;
    std::vector<Preset> presets;
    std::vector<int> levels;  // per channel, 0..100
    int inputs = 0;           // input bits of an input-output module

    bool holdsLink(int link) const;
};

struct Installation {
    int network = 0;
    std::map<int, std::string> links;
    std::vector<Device> devices;

    Device* find(int id);
};

// Reads the file; false with a reason when it cannot be used. CR LF and LF
// line ends read alike.
bool ReadExport(const std::string& path, Installation& out, std::string& error);
bool ParseExport(const std::string& text, Installation& out, std::string& error);

// A small installation for running without a file: network 1; a dimmer (5)
// and a lamp module (12) on link 1 ("Evening", 100 % and 50 %), a dimmer (7)
// on link 2, and an input-output module (20) on link 3.
Installation BuiltInInstallation();

} // namespace pimsim
