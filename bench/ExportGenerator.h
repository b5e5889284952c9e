#pragma once
// Generated UPStart exports of any size, shaped like real installations:
// keypads, dimmer switches and modules with sixteen presets (most unused),
// shared scene links and private links, I/O and input modules, devices of
// kinds outside the mask table, and the extra record types 8 to 19.

#include <string>

namespace tarvelo::testing {

inline std::string GenerateExport(int devices, int networkId = 1) {
    const int scenes = devices / 8 + 4;  // links 1..scenes are shared
    std::string links, body;
    int linkCount = scenes;
    auto line = [](std::string& out, const std::string& text) { out += text + "\r\n"; };
    const std::string net = std::to_string(networkId);
    for (int d = 1; d <= devices; ++d) {
        const std::string id = std::to_string(d);
        const int pick = d % 20;
        int kind = pick < 2 ? 1 : pick < 9 ? 2 : pick < 16 ? 3 : pick < 17 ? 4 : pick < 18 ? 5 : 8 + d % 3;
        const std::string room = "Room " + std::to_string(d % 17);
        line(body, "3," + id + "," + net + ",1,1,5,12," + std::to_string(kind) + ",1,1,16," + room + ",Device " + id +
                       "," + (kind == 1 ? "1" : "0"));
        line(body, "8,0," + id + ",1,3");
        const std::string s1 = std::to_string(1 + d % scenes), s2 = std::to_string(1 + (d * 7) % scenes);
        if (kind == 1) {
            for (int b = 0; b < 6; ++b)
                line(body, "6,0," + std::to_string(b) + "," + id + "," + (b < 4 ? std::to_string(1 + (d + b) % scenes) : "255") +
                               ",1,0,1,0,1,0,1,0," + (b < 4 ? s1 : "255") + ",1");
            for (int b = 0; b < 4; ++b) line(body, "17,0," + std::to_string(b) + "," + id + ",Button " + std::to_string(b));
        } else if (kind == 2 || kind == 3) {
            std::string own = "255";
            if (d % 3 == 0) own = std::to_string(++linkCount);
            for (int c = 0; c < 16; ++c) {
                const std::string link = c == 0 ? s1 : c == 1 ? s2 : c == 2 ? own : "255";
                line(body, "4,0," + std::to_string(c) + "," + id + "," + link + ",100,3");
            }
            if (kind == 2) line(body, "5,0,0," + id + "," + own + ",1,0,22,23," + own + ",0,0,18,19");
            line(body, "12,64,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16");
        } else if (kind == 4) {
            line(body, "7,0,0," + id + "," + s1 + ",1,0,255,0,0");
            line(body, "7,1,1," + id + ",255,1,0,255,0,0");
        } else if (kind == 5) {
            for (int c = 0; c < 4; ++c) {
                const std::string link = std::to_string(++linkCount);
                line(body, "4,0," + std::to_string(c / 2) + "," + id + "," + link + "," + (c % 2 ? "0" : "100") + ",0");
            }
            line(body, "7,0,2," + id + "," + s2 + ",1,0," + s1 + ",0,0");
            line(body, "13,0,0," + id + "," + s1 + ",1,0");
        } else {
            line(body, "14,0,0," + id + ",Omnistat,2.4,F,255,200,2");
            line(body, "15,0,0," + id + ",1 2 3,32 33");
            line(body, "16,1," + id + ",2," + room + ",Remote");
            line(body, "9,0,0," + id + ",1");
        }
    }
    for (int l = 1; l <= linkCount; ++l) line(links, "2," + std::to_string(l) + ",Link " + std::to_string(l));
    std::string out;
    line(out, "0,5," + std::to_string(devices) + "," + std::to_string(linkCount) + "," + net + ",1234");
    out += links;
    line(out, "10,Installer,Name,Street,City,ST,12345,555,mail,fax,pager,web");
    line(out, "11,Owner,Name,Street,City,ST,12345,555,mail,fax,pager,web");
    out += body;
    for (int d = 1; d <= devices; d += 10) line(out, "19," + std::to_string(d) + ",icon");
    line(out, "18,Room 1,sofa");
    line(out, "1");
    return out;
}

} // namespace tarvelo::testing
