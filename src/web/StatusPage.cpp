// The status page's layout: scripts, header, the control form with the
// display options, the status table and the actions, and the hidden frame.
#include "web/StatusPage.h"

#include <cmath>

#include "common/Text.h"
#include "web/Files.h"

namespace tarvelo::web {

namespace {

std::string Checkbox(const std::string& name, bool checked, const std::string& label = "") {
    std::string box = "<input type='checkbox' name='" + name + "' value='1'" + (checked ? " checked" : "") + ">";
    return label.empty() ? box : "<label class='option'>" + box + label + "</label>";
}

std::string TextBox(const std::string& name, const std::string& value, int size) {
    return "<input type='text' size='" + Dec(size) + "' name='" + name + "' value='" + HtmlEscape(value) + "'>";
}

std::string Hex4(int32_t value) {
    static const char* digits = "0123456789ABCDEF";
    std::string out(4, '0');
    for (int i = 3; i >= 0; --i) {
        out[static_cast<size_t>(i)] = digits[value & 15];
        value >>= 4;
    }
    return out;
}

} // namespace

StatusPage::StatusPage(PageFramework& framework, model::Network& network, app::SettingsCache& ini,
                       app::ProgramSettings& state, xap::DevicesOfInterest& devices, LogSink& log,
                       const platform::Clock& clock, std::string version, Callbacks callbacks)
    : framework_(framework),
      network_(network),
      ini_(ini),
      state_(state),
      devices_(devices),
      log_(log),
      clock_(clock),
      version_(std::move(version)),
      callbacks_(std::move(callbacks)) {}

StatusPage::Result StatusPage::Serve(const Request& request) {
    PageContext page(request);
    notes_.clear();
    framework_.Prologue(page);
    bool redraw = true;
    if (!request.Form("clientinput").empty()) redraw = ClientRequest(page);
    Result result;
    if (!redraw) return result;
    FastString out;
    // The last page's size: a page with every section open runs to megabytes,
    // and growing it step by step copies it over and over.
    out.Reserve(lastPageSize_ + lastPageSize_ / 8);
    FormatScreen(page, out);
    lastPageSize_ = out.Value().size();
    result.refused = page.refused;
    if (!page.refused) result.text = out.Value();
    return result;
}

std::shared_ptr<model::UPBLinkState> StatusPage::GetUPBLinkObject(const std::string& name) const {
    std::shared_ptr<model::UPBLinkState> found;
    Guard(&log_, "GetUPBLinkObject", [&] {
        network_.forEachState([&](model::UPBModule&, model::UPBChannel&, const std::shared_ptr<model::UPBLinkState>& s) {
            if (!found && (s->OffLink == name || s->OnLink == name)) found = s;
        });
    });
    return found;
}

void StatusPage::FormatScreen(PageContext& page, FastString& out) {
    Guard(&log_, "Status FormatScreen ", [&] {
        // The action table's forms sit inside this one, where a browser drops
        // their form tags: their hidden fields join this form, so a name may
        // stand for several fields and the first is the one posted first.
        out.Add("<html><head><script type='text/javascript'>"
                "function SetFirst(f,n,v){var e=f.elements[n];if(e&&e.length&&!e.tagName)e=e[0];if(e)e.value=v;}"
                "function ClearSubmit(button){var f=document.forms['control'];"
                "SetFirst(f,'clientvalue',button.value);SetFirst(f,'clientinput',button.name);f.submit();}"
                "function HiddenSubmit(button){var f=window.frames['hiddenframe'].document.forms['hiddenform'];"
                "SetFirst(f,'clientvalue',button.value);SetFirst(f,'clientinput',button.name);f.submit();}"
                "</script>");
        HeaderOptions options;
        options.values[HeaderOptions::kTitle] =
            "UPB Status&nbsp;&nbsp;<small><font size='1'></b> V" + HtmlEscape(version_) + "</font></small>";
        out.Add(framework_.CustomHeader(page, options));
        if (page.refused) return;

        const int16_t mode = state_.ShowStatus;
        out.Add("<div><center><small><form name='control' method='post'>"
                "<input type='hidden' name='clientinput' value='yes'>"
                "<input type='hidden' name='clientvalue' value='yes'>");
        // What this page shows, so that its save touches nothing else.
        out.Add("<input type='hidden' name='ShownStatus' value='" + Dec(mode) + "'>");
        out.Add("<center><input type='submit' name ='UpdateButton' value='Save Changes'></center><br>");
        out.Add(OptionsTable(page));
        if (!notes_.empty()) {
            out.Add("<div class='notes'>");
            for (const std::string& note : notes_) out.Add("<p class='note'>" + HtmlEscape(note) + "</p>");
            out.Add("</div>");
        }
        if (mode != 0) StatusTable(page, out, mode);
        if (state_.ShowEditMap) AddLinkMap(page, out);
        if (state_.ShowReceiveMessages) MessagesSection(page, out, mode == 2, state_.ShowReceiveDetail);
        if (state_.ShowSetup) out.Add(SettingsSection(page));
        out.Add(ActionTable(page));
        out.Add("</form>");
        out.Add("<IFRAME frameborder=0 scrolling='no' name='hiddenframe' cols='0' rows='0' width='0' height='0' size='0'>"
                "<form name='hiddenform' method = 'post'><input type='hidden' name='clientinput' value='x'>"
                "<input type='hidden' name='clientvalue' value='y'></form></IFRAME>");
        out.Add("</small></center></div></body></html>");
    });
}

std::string StatusPage::OptionsTable(const PageContext& page) const {
    std::string out = "<table class='options' border='0' cellspacing='1' cellpadding='3' summary='Display options'><tr>" +
                      framework_.FormatCell(page, "Browser Content Display Control", "TABLECOLUMN", "2") + "</tr><tr>";
    std::string boxes = Checkbox("ShowEditMap", state_.ShowEditMap, "Edit Map") +
                        Checkbox("ShowReceiveMessages", state_.ShowReceiveMessages, "Receive xAP Messages") +
                        Checkbox("ShowSetup", state_.ShowSetup, "Setup") +
                        Checkbox("ShowOnlyUsed", state_.ShowOnlyUsed, "Only Used") +
                        Checkbox("ShowReceiveDetail", state_.ShowReceiveDetail, "Receive xAP Detail");
    std::string radios;
    const char* labels[] = {"Dont Show Status", "Show Status", "Show Status and Config"};
    for (int i = 0; i < 3; ++i)
        radios += "<label class='option'><input type='radio' name='ShowStatus' value='" + Dec(i) + "'" +
                  (state_.ShowStatus == i ? " checked" : "") + ">" + labels[i] + "</label>";
    out += framework_.FormatCell(page, "<input type='submit' name='Refresh' value='Refresh'>", "TABLEROWODD", "", "center");
    out += framework_.FormatCell(page, boxes + "<br>" + radios, "TABLEROWODD");
    out += "</tr></table><br>";
    return out;
}

void StatusPage::StatusTable(PageContext& page, FastString& out, int16_t mode) {
    const bool config = mode == 2;
    std::vector<StatusRow> rows = BuildStatusRows(network_, log_);
    const std::string key = RemoveQuotes(ini_.GetIniSetting("UPB", "StatusSortKey", "DCSort", kFile));
    const std::string direction = RemoveQuotes(ini_.GetIniSetting("UPB", "StatusSortDirection", "", kFile));
    if (!SortStatusRows(rows, TrimSpaces(key) + " " + direction))
        log_.WriteLog("Tarvelo", "Status FormatScreen StatusSortKey '" + key + " " + direction + "' names no column");
    if (state_.ShowOnlyUsed) std::erase_if(rows, [](const StatusRow& r) { return !r.Used; });

    const VbDate today = std::floor(DateFromLocalMillis(clock_.localMillis()));
    std::vector<std::string> headers = {"Status", "Changed"};
    if (config) headers.insert(headers.end(), {"Used", "Invert", "Delay", "X10"});
    headers.push_back("Tag");
    if (config) headers.insert(headers.end(), {"Ev", "ID"});
    headers.insert(headers.end(), {"Name", "Control"});

    out.Add("<div class='tablebox'><table class='status' border='0' cellspacing='1' cellpadding='3' summary='UPB status'><tr>");
    out.Add(framework_.FormatCell(page, "UPB", "TABLECOLUMN", Dec(static_cast<long long>(headers.size()))));
    out.Add("</tr><tr>");
    for (const std::string& h : headers)
        out.Add(framework_.FormatCell(page, "<input type='submit' class='sort' value='" + h + "'>", "TABLEHEADER"));
    out.Add("</tr>");

    std::string listed;
    bool odd = true;
    for (const StatusRow& r : rows) {
        const std::string style = odd ? "TABLEROWODD" : "TABLEROWEVEN";
        odd = !odd;
        const std::string n = Dec(r.UIDIndex);
        const std::string state = StateText(r.Status, r.Kind, r.Invert);
        const std::string stateClass = state == "ON" ? "on" : state == "OFF" ? "off" : "level";
        out.Add("<tr>");
        out.Add(framework_.FormatCell(page, "<span class='" + stateClass + "'>" + state + "</span>", style, "", "center"));
        out.Add(framework_.FormatCell(page, ChangedText(r.Changed, today), style));
        if (config) {
            out.Add(framework_.FormatCell(page, Checkbox("Used" + n, r.Used), style, "", "center"));
            out.Add(framework_.FormatCell(page, Checkbox("Invert" + n, r.Invert), style, "", "center"));
            out.Add(framework_.FormatCell(page, TextBox("Delay" + n, r.Delay, 2), style));
            out.Add(framework_.FormatCell(page, TextBox("X10" + n, r.X10, 2), style));
            out.Add(framework_.FormatCell(page, TextBox("Tag" + n, r.Tag, 15), style));
            out.Add(framework_.FormatCell(page, Checkbox("Event" + n, r.Event), style, "", "center"));
            out.Add(framework_.FormatCell(page, Hex4(r.UIDIndex), style));
            listed += (listed.empty() ? "" : " ") + n;
        } else {
            out.Add(framework_.FormatCell(page, HtmlEscape(r.Tag), style));
        }
        out.Add(framework_.FormatCell(page, HtmlEscape(r.Location + " " + r.Name), style));
        out.Add(framework_.FormatCell(page, ControlCell(r), style, "", "center"));
        out.Add("</tr>");
    }
    out.Add("</table></div>");
    if (config) out.Add("<input type='hidden' name='ShownRows' value='" + listed + "'>");
}

std::string StatusPage::ControlCell(const StatusRow& r) const {
    std::string out;
    Guard(&log_, "ControlPulldown", [&] {
        auto button = [](const std::string& name, const std::string& value, const std::string& cls) {
            return "<input type='button' class='" + cls + "' name='" + HtmlEscape(name) + "' value='" + value +
                   "' onclick='ClearSubmit(this)'>";
        };
        if (r.Buttons == 2) {
            const std::string offName = r.Invert ? "I" + r.LinkOn : "Q" + r.LinkOff;
            const std::string onName = r.Invert ? "I" + r.LinkOff : "Q" + r.LinkOn;
            out = button(offName, "OFF", "btnoff") + button(onName, "ON", "btnon");
        } else if (r.Buttons == -1) {
            out = "<select class='formdropdown' name='" + HtmlEscape("V" + r.LinkOn) + "' onchange='ClearSubmit(this)'>"
                  "<option value=''></option>";
            const std::vector<std::string> entries = Split(r.Values, "\x01");
            // The last command is stored as a position, or by name in older files.
            const std::string& last = r.LastCommand;
            for (size_t i = 0; i < entries.size(); ++i) {
                const std::string name = entries[i].substr(0, entries[i].find('\x02'));
                const bool selected =
                    !last.empty() && (EqualsNoCase(last, name) || (IsNumeric(last) && Val(last) == double(i)));
                out += "<option value='" + HtmlEscape(name) + "'" + (selected ? " selected" : "") + ">" +
                       HtmlEscape(name) + "</option>";
            }
            out += "</select>";
        } else {
            out = button("Q" + r.LinkOn, "Activate", "btnact");
        }
    });
    return out;
}

std::string StatusPage::ActionTable(const PageContext& page) const {
    // The forms nest inside the page's own form, where a browser drops the
    // inner form tags; the target names the hidden frame on the button too.
    return "<br><Table class='actions' width='600' border='5' frame='box'><tr>" +
           framework_.FormatCell(page, "Refresh", "TABLEHEADER", "2", "center") + "</tr><tr>" +
           framework_.FormatCell(page,
                                 "<form name='no redraw' method='post' target='hiddenframe'><input type='submit' "
                                 "name='script' formtarget='hiddenframe' value='Read Script Tarvelo.txt'><input "
                                 "type='hidden' name='clientinput' value='yes'></form>",
                                 "TABLEROWODD", "", "center") +
           framework_.FormatCell(page,
                                 "<form name='redraw' method='post'><input type='submit' name='query' value='Query UPB "
                                 "Modules'><input type='hidden' name='clientinput' value='yes'></form>",
                                 "TABLEROWODD", "", "center") +
           "</tr></table>";
}

} // namespace tarvelo::web
