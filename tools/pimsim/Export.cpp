#include "Export.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace pimsim {

namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ',')) out.push_back(field);
    if (!line.empty() && line.back() == ',') out.emplace_back();
    return out;
}

int Number(const std::vector<std::string>& f, size_t i, int fallback = 0) {
    if (i >= f.size()) return fallback;
    try {
        size_t used = 0;
        int v = std::stoi(f[i], &used);
        return used ? v : fallback;
    } catch (...) {
        return fallback;
    }
}

std::string Text(const std::vector<std::string>& f, size_t i) { return i < f.size() ? f[i] : std::string(); }

} // namespace

bool Device::holdsLink(int link) const {
    return std::any_of(presets.begin(), presets.end(), [&](const Preset& p) { return p.link == link; });
}

Device* Installation::find(int id) {
    for (auto& d : devices)
        if (d.id == id) return &d;
    return nullptr;
}

bool ParseExport(const std::string& text, Installation& out, std::string& error) {
    out = Installation{};
    std::istringstream in(text);
    std::string line;
    bool first = true;
    Device* current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const auto f = Fields(line);
        const std::string type = Text(f, 0);
        if (first) {
            if (type != "0" || f.size() < 5) {
                error = "the first record is not a beginning-of-file record (type 0)";
                return false;
            }
            out.network = Number(f, 4);
            first = false;
            continue;
        }
        if (type == "1") break;
        if (type == "2") {
            out.links[Number(f, 1)] = Text(f, 2);
        } else if (type == "3") {
            if (f.size() < 13) {
                current = nullptr;
                continue;
            }
            Device d;
            d.id = Number(f, 1);
            d.network = Number(f, 2, out.network);
            d.kind = Number(f, 7);
            d.channels = std::max(1, Number(f, 8, 1));
            d.room = Text(f, 11);
            d.name = Text(f, 12);
            d.levels.assign(static_cast<size_t>(d.channels), 0);
            if (out.find(d.id)) {
                current = nullptr;  // a second record for an id: ignored
                continue;
            }
            out.devices.push_back(std::move(d));
            current = &out.devices.back();
        } else if (type == "4" && current && f.size() >= 6) {
            Preset p;
            p.channel = Number(f, 1);
            p.component = Number(f, 2);
            p.link = Number(f, 4, 255);
            p.level = std::clamp(Number(f, 5), 0, 100);
            if (p.link != 255 && p.channel >= 0 && p.channel < current->channels) current->presets.push_back(p);
        }
    }
    if (first) {
        error = "the file is empty";
        return false;
    }
    return true;
}

bool ReadExport(const std::string& path, Installation& out, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return ParseExport(text.str(), out, error);
}

Installation BuiltInInstallation() {
    Installation inst;
    std::string error;
    ParseExport("0,5,4,3,1,0\r\n"
                "2,1,Evening\r\n2,2,Reading\r\n2,3,Pump\r\n"
                "3,5,1,5,1,3,2,2,1,1,6,Living Room,Ceiling,0\r\n"
                "4,0,0,5,1,100,3\r\n"
                "3,12,1,5,1,3,2,3,1,0,6,Living Room,Floor Lamp,0\r\n"
                "4,0,0,12,1,50,3\r\n"
                "3,7,1,5,1,3,2,2,1,1,6,Study,Desk Lamp,0\r\n"
                "4,0,0,7,2,80,3\r\n"
                "3,20,1,5,1,3,2,5,2,2,4,Garage,Pump Controller,0\r\n"
                "4,0,0,20,3,100,0\r\n"
                "1\r\n",
                inst, error);
    return inst;
}

} // namespace pimsim
