// The link-map editor: for every tracked, controllable component, the link
// and command its "on" and its "off" go out as. The choices live in section
// "Link Map" of Tarvelo.ini (on link; on command; off link; off command) and
// in the component's link fields.
#include <algorithm>
#include <unordered_map>

#include "common/Text.h"
#include "model/StateRecords.h"
#include "upb/codec/Packet.h"
#include "web/Files.h"
#include "web/StatusPage.h"

namespace tarvelo::web {

namespace {

// A link as the drop-down offers it and the map stores it: id, ":" and name,
// without blanks; ";" would split the stored entry, so it becomes "_".
std::string LinkChoice(const model::LinkEntry& link) {
    const std::string name = link.Count() >= 2 ? link.Item(2) : "";
    return Replace(Replace(link.Item(1) + ":" + name, " ", ""), ";", "_");
}

std::string OptionText(const model::LinkEntry& link) {
    return link.Item(1) + ":" + (link.Count() >= 2 ? link.Item(2) : "");
}

// The command name of a message id, "" when it is none of the core commands.
std::string CoreName(int16_t mdid) {
    const auto& names = upb::CoreCommandNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (upb::CoreCommandMdid(i) == mdid) return names[i];
    return "";
}

bool InEditor(const model::UPBLinkState& s) { return s.StatusMask != 0 && s.Controllable; }

// One side of a posted row: the link choice (blanks removed) and command.
struct MapSide {
    std::string link, command;
};

// The drop-downs of one render share one option list, built once; only the
// selected option differs from row to row (a large installation has hundreds
// of rows with a hundred links each).
struct LinkMapOptions {
    std::vector<std::string> compare;   // each link's choice, as stored
    std::vector<std::string> selected;  // each option written as the selected one
    std::vector<size_t> start;          // where each option begins in `all`, and the end
    std::string all;                    // every option, none selected

    void add(const model::LinkEntry& link) {
        const std::string text = HtmlEscape(OptionText(link));
        compare.push_back(LinkChoice(link));
        selected.push_back("<option selected='" + text + "'>" + text + "</option>");
        start.push_back(all.size());
        all += "<option value='" + text + "'>" + text + "</option>";
    }
};

std::string LinkPulldown(const LinkMapOptions& options, const std::string& name, const std::string& current) {
    std::string out = "<select class='formdropdown'  name='" + HtmlEscape(name) + "' size='1'>";
    out.reserve(out.size() + options.all.size() + 64);
    out += current.empty() ? "<option selected=' '></option>" : "<option value=' '></option>";
    // The stored choice has no blanks; a link name with blanks still finds
    // its option, or the next save would reset the mapping unasked.
    const std::string wanted = Replace(current, " ", "");
    size_t chosen = options.compare.size();
    if (!wanted.empty())
        for (size_t i = 0; i < options.compare.size() && chosen == options.compare.size(); ++i)
            if (options.compare[i] == wanted) chosen = i;
    if (chosen == options.compare.size()) {
        out += options.all;
    } else {
        const size_t end = chosen + 1 < options.start.size() ? options.start[chosen + 1] : options.all.size();
        out.append(options.all, 0, options.start[chosen]);
        out += options.selected[chosen];
        out.append(options.all, end, std::string::npos);
    }
    return out + "</select>";
}

std::string MapControlPulldown(const std::string& name, const std::string& current) {
    std::string out = "<select class='formdropdown'  name='" + HtmlEscape(name) + "' size='1'>";
    for (const std::string& command : upb::CoreCommandNames())
        out += (command == current ? "<option selected='" : "<option value='") + command + "'>" + command + "</option>";
    return out + "</select>";
}

} // namespace

void StatusPage::AddLinkMap(PageContext& page, FastString& out) {
    Guard(&log_, "AddLinkMap", [&] {
        LinkMapOptions options;
        network_.UPBLinks.forEach([&](const model::LinkEntry& link) {
            if (link.Count() >= 1) options.add(link);
        });
        // Wider than a phone: the box scrolls, not the page.
        out.Add("<div class='tablebox'><Table width='600' border='5' frame='box'><tr>");
        out.Add(framework_.FormatCell(page, "Link Map Edit", "TABLEHEADER", "7", "center"));
        out.Add("</tr><tr>");
        for (const char* h : {"Component", "On Default", "On Link", "On Control", "Off Default", "Off Link", "Off Control"})
            out.Add(framework_.FormatCell(page, h, "TABLEHEADER"));
        out.Add("</tr>");

        auto defaultText = [&](const std::string& linkId, int16_t command) -> std::string {
            if (linkId.empty()) return "&nbsp;";
            const model::LinkEntry* link = network_.findLink(linkId);
            const std::string name = link && link->Count() >= 2 ? link->Item(2) : linkId;
            return HtmlEscape(name + " " + CoreName(command));
        };

        std::string listed;
        bool odd = true;
        network_.forEachState([&](model::UPBModule& module, model::UPBChannel&,
                                  const std::shared_ptr<model::UPBLinkState>& state) {
            if (!InEditor(*state)) return;
            Guard(&log_, "AddLinkMap", [&] {
                const model::UPBLinkState& s = *state;
                const std::string style = odd ? "TABLEROWODD" : "TABLEROWEVEN";
                odd = !odd;
                const std::string key = model::LinkMapKey(network_, s, &log_);
                std::string shown = key;
                if (key == "Unknown.Unknown.Unknown") {
                    const model::LinkEntry* link = network_.findLink(s.OnLink);
                    shown = module.name + " " + (link && link->Count() >= 2 ? link->Item(2) : "");
                }
                std::vector<std::string> current = Split(ini_.GetIniSetting("Link Map", key, "", kFile), ";");
                current.resize(4);
                const std::string n = Dec(s.UIDindex);
                out.Add("<tr>");
                out.Add(framework_.FormatCell(page, HtmlEscape(shown), style));
                out.Add(framework_.FormatCell(page, defaultText(s.DefaultOnLink, s.DefaultOnCommand), style));
                out.Add(framework_.FormatCell(page, LinkPulldown(options, "OnLink" + n, current[0]), style));
                out.Add(framework_.FormatCell(page, MapControlPulldown("On" + n, current[1]), style));
                out.Add(framework_.FormatCell(page, defaultText(s.DefaultOffLink, s.DefaultOffCommand), style));
                out.Add(framework_.FormatCell(page, LinkPulldown(options, "OffLink" + n, current[2]), style));
                out.Add(framework_.FormatCell(page, MapControlPulldown("Off" + n, current[3]), style));
                out.Add("</tr>");
                listed += (listed.empty() ? "" : " ") + n;
            });
        });
        out.Add("</table></div>");
        // The rows this editor showed: its save walks these, whatever the
        // status table above listed.
        out.Add("<input type='hidden' name='ShownEditMap' value='" + (listed.empty() ? std::string("none") : listed) +
                "'>");
    });
}

void StatusPage::SaveLinkMap(const Request& request) {
    std::unordered_map<int32_t, std::shared_ptr<model::UPBLinkState>> byIndex;
    network_.forEachState([&](model::UPBModule&, model::UPBChannel&, const std::shared_ptr<model::UPBLinkState>& s) {
        if (InEditor(*s)) byIndex.emplace(s->UIDindex, s);
    });
    // A choice must name a known link and a core command: anything else was
    // not offered by the page and is refused, keeping the row as it was.
    auto check = [&](const MapSide& side, std::string& stored, std::string& why) {
        stored.clear();
        if (side.link.empty()) return true;
        const std::string id = side.link.substr(0, side.link.find(':'));
        const model::LinkEntry* link = IsNumeric(id) ? network_.findLink(id) : nullptr;
        if (!link) {
            why = "link '" + side.link + "' is not a link of this installation";
            return false;
        }
        const auto& names = upb::CoreCommandNames();
        if (std::find(names.begin(), names.end(), side.command) == names.end()) {
            why = "command '" + side.command + "' is not a UPB command";
            return false;
        }
        stored = LinkChoice(*link);
        return true;
    };
    Guard(&log_, "SaveLinkMap", [&] {
        for (const std::string& item : Split(request.Form("ShownEditMap"), " ")) {
            if (item.empty() || !IsNumeric(item)) continue;
            const auto it = byIndex.find(static_cast<int32_t>(Val(item)));
            if (it == byIndex.end()) continue;
            model::UPBLinkState& s = *it->second;
            if (s.DefaultOnLink.empty()) continue;
            const MapSide on{Replace(request.Form("OnLink" + item), " ", ""), request.Form("On" + item)};
            const MapSide off{Replace(request.Form("OffLink" + item), " ", ""), request.Form("Off" + item)};
            const std::string key = model::LinkMapKey(network_, s, &log_);
            std::string onStored, offStored, why;
            if (!check(on, onStored, why) || !check(off, offStored, why)) {
                Note("Link Map " + key + ": " + why + "; the row was kept as it was");
                continue;
            }
            auto command = [](const MapSide& side) { return Replace(side.command, ";", "_"); };
            ini_.SaveIniSetting("Link Map", key, Join({onStored, command(on), offStored, command(off)}, ";"), kFile);
            if (onStored.empty()) {
                s.OnLink = s.DefaultOnLink;
                s.OnCommand = s.DefaultOnCommand;
            } else {
                s.OnLink = onStored.substr(0, onStored.find(':'));
                s.OnCommand = static_cast<int16_t>(upb::CommandLookup(on.command));
            }
            if (offStored.empty()) {
                s.OffLink = s.DefaultOffLink;
                s.OffCommand = s.DefaultOffCommand;
            } else {
                s.OffLink = offStored.substr(0, offStored.find(':'));
                s.OffCommand = static_cast<int16_t>(upb::CommandLookup(off.command));
            }
        }
    });
}

} // namespace tarvelo::web
