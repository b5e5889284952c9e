// The xAP messages-of-interest section of the status page: the received-
// message filters (source "~" class = tag ";" event flag, section
// "Received"), when each tracked device last changed, and with the detail
// option the values captured for it. In configuration mode every filter is
// editable and an empty row adds one.
#include <cmath>
#include <unordered_map>

#include "common/Text.h"
#include "web/Files.h"
#include "web/StatusPage.h"

namespace tarvelo::web {

namespace {

// Source and class must match what a sender really writes, so they are not
// rewritten: a character that would break the stored key refuses the row.
bool UsableAddress(const std::string& text) {
    for (char c : text)
        if (c == '~' || c == '=' || c == ';' || c == '[' || c == ']' || static_cast<unsigned char>(c) < ' ')
            return false;
    return true;
}

struct FilterRow {
    std::string source, cls, tag, event;
    bool posted = false;
    bool refused = false;
    std::string key() const { return source + "~" + cls; }
    bool empty() const { return source.empty() && cls.empty(); }
};

} // namespace

std::string TagText(const std::string& typed) {
    std::string tag = typed;
    for (char& c : tag)
        if (c == ' ' || c == ';' || c == '=' || c == '~' || c == '[' || c == ']' || c == '\r' || c == '\n' ||
            c == '\t')
            c = '_';
    return tag;
}

void StatusPage::MessagesSection(const PageContext& page, FastString& out, bool config, bool detail) {
    Guard(&log_, "MessagesSection", [&] {
        const std::string columns = config ? "5" : "2";
        const VbDate today = std::floor(DateFromLocalMillis(clock_.localMillis()));
        out.Add("<br><p><div class='tablebox'><Table width='600' border='5' frame='box'><tr>");
        out.Add(framework_.FormatCell(page, "xAP Messages of Interest", "TABLEHEADER", columns, "center"));
        out.Add("</tr><tr>");
        out.Add(framework_.FormatCell(page, "Status", "TABLEHEADER"));
        out.Add(framework_.FormatCell(page, "Tag", "TABLEHEADER"));
        if (config) {
            out.Add(framework_.FormatCell(page, "Ev", "TABLEHEADER"));
            out.Add(framework_.FormatCell(page, "Source Including Subaddress", "TABLEHEADER"));
            out.Add(framework_.FormatCell(page, "Class", "TABLEHEADER"));
        }
        out.Add("</tr>");

        int n = 0;
        bool odd = true;
        for (const auto& [key, value] : devices_.filters()) {
            ++n;
            const std::string style = odd ? "TABLEROWODD" : "TABLEROWEVEN";
            odd = !odd;
            const size_t semi = value.find(';');
            const std::string tag = value.substr(0, semi);
            const std::string event = semi == std::string::npos ? "" : value.substr(semi + 1);
            const size_t tilde = key.find('~');
            const std::string source = key.substr(0, tilde);
            const std::string cls = tilde == std::string::npos ? "" : key.substr(tilde + 1);
            const std::shared_ptr<xap::DeviceClass>* device = devices_.devices().find(tag);
            const std::string number = Dec(n);

            out.Add("<tr>");
            out.Add(framework_.FormatCell(page, device ? ChangedText((*device)->LastChange, today) : "", style));
            if (config) {
                out.Add(framework_.FormatCell(page, "<input type='text' size='15' value='" + HtmlEscape(tag) +
                                                        "' name='FilterTag" + number + "'>", style));
                out.Add(framework_.FormatCell(page, std::string("<input type='checkbox'") +
                                                        (event.empty() ? "" : " checked") + " value='1' name='FilterEvent" +
                                                        number + "'>", style, "", "center"));
                out.Add(framework_.FormatCell(page, "<input type='text' size='80' value='" + HtmlEscape(source) +
                                                        "' name='Source" + number + "'>", style, "", "right"));
                out.Add(framework_.FormatCell(page, "<input type='text' size='20' value='" + HtmlEscape(cls) +
                                                        "' name='Class" + number + "'><input type='hidden' name='FilterKey" +
                                                        number + "' value='" + HtmlEscape(key) + "'>", style));
            } else {
                out.Add(framework_.FormatCell(page, HtmlEscape(tag), style));
            }
            out.Add("</tr>");

            if (!detail) continue;
            if (!device) {
                log_.WriteLog("Tarvelo", "AddFilter Tag " + tag + " does not exist in DeviceDictionary");
                continue;
            }
            const xap::DeviceClass& d = **device;
            const std::string span = config ? "4" : "1";
            auto detailRow = [&](const std::string& label, const std::string& text) {
                out.Add("<tr>" + framework_.FormatCell(page, HtmlEscape(label), "TABLEROWEVEN") +
                        framework_.FormatCell(page, HtmlEscape(text), "TABLEROWEVEN", span) + "</tr>");
            };
            for (const std::string& name : d.MessageKeyList) {
                const std::string* captured = d.MessageList.find(name);
                detailRow(name, captured ? *captured : "");
            }
            detailRow("Last Change", ChangedText(d.LastChange, today));
            detailRow("Sequence", Dec(d.Sequence));
        }

        if (config) {
            out.Add("<tr>");
            out.Add(framework_.FormatCell(page, "&nbsp;&nbsp;", "TABLEROWODD"));
            out.Add(framework_.FormatCell(page, "<input type='text' size='15' value='' name='FilterTag0'>", "TABLEROWODD"));
            out.Add(framework_.FormatCell(page, "<input type='checkbox' value='1' name='FilterEvent0'>", "TABLEROWODD",
                                          "", "center"));
            out.Add(framework_.FormatCell(page, "<input type='text' size='80' value='' name='Source0'>", "TABLEROWODD",
                                          "", "right"));
            out.Add(framework_.FormatCell(page, "<input type='text' size='20' value='' name='Class0'>", "TABLEROWODD"));
            out.Add("</tr>");
        }
        out.Add("</table></div>");
        // Only the editable form is saved; the count says how many rows it held.
        if (config) out.Add("<input type='hidden' name='ShownFilters' value='" + Dec(n) + "'>");
    });
}

void StatusPage::SaveFilterSettigs(const Request& request) {
    Guard(&log_, "SaveFilterSettigs", [&] {
        const double shown = Val(request.Form("ShownFilters"));
        if (shown < 0 || shown > 100000) return;
        const int count = static_cast<int>(shown);

        std::vector<FilterRow> rows(static_cast<size_t>(count) + 1);
        std::unordered_map<std::string, int> byOldKey;  // the filter each row showed
        for (int n = 0; n <= count; ++n) {
            FilterRow& r = rows[static_cast<size_t>(n)];
            const std::string number = Dec(n);
            r.posted = request.HasForm("Source" + number) || request.HasForm("Class" + number);
            r.source = request.Form("Source" + number);
            r.cls = request.Form("Class" + number);
            r.tag = TagText(request.Form("FilterTag" + number));
            r.event = request.Form("FilterEvent" + number).empty() ? "" : "1";
            if (!UsableAddress(r.source) || !UsableAddress(r.cls)) {
                r.refused = true;
                Note("xAP filter " + number + ": the source and the class may not hold '~', '=', ';', '[', ']' or "
                     "line breaks; the filter was kept as it was");
            }
            if (n > 0 && request.HasForm("FilterKey" + number))
                byOldKey.emplace(LCase(request.Form("FilterKey" + number)), n);
        }

        xap::FilterTable next;
        auto add = [&](const FilterRow& r) {
            if (next.exists(r.key())) return;  // duplicates keep the first row
            next.add(r.key(), r.tag + ";" + r.event);
            if (!r.tag.empty() && !devices_.devices().exists(r.tag)) {
                auto device = std::make_shared<xap::DeviceClass>();
                device->Tag = r.tag;
                devices_.devices().add(r.tag, std::move(device));
            }
        };
        if (!rows[0].refused && !rows[0].empty()) add(rows[0]);
        // Filters in their present order: a row of the posted page replaces
        // the filter it showed; filters it did not show (another browser
        // added them since) stay as they are.
        std::vector<bool> used(rows.size(), false);
        for (const auto& [key, value] : devices_.filters()) {
            const auto it = byOldKey.find(LCase(key));
            if (it == byOldKey.end() || !rows[static_cast<size_t>(it->second)].posted) {
                if (!next.exists(key)) next.add(key, value);
                continue;
            }
            used[static_cast<size_t>(it->second)] = true;
            const FilterRow& r = rows[static_cast<size_t>(it->second)];
            if (r.refused) {
                if (!next.exists(key)) next.add(key, value);
            } else if (!r.empty()) {
                add(r);
            }
        }
        // Rows whose filter another browser removed meanwhile are kept as posted.
        for (size_t n = 1; n < rows.size(); ++n)
            if (!used[n] && rows[n].posted && !rows[n].refused && !rows[n].empty()) add(rows[n]);

        ini_.ClearINISection("Received", kFile);
        for (const auto& [key, value] : next) ini_.SaveIniSetting("Received", key, value, kFile);
        // The device table stays: it holds what was captured since start and
        // the links of UPB tags, and the new filters' devices.
        devices_.filters() = std::move(next);
    });
}

} // namespace tarvelo::web
