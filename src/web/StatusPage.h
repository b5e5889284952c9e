#pragma once
// The UPB status page, served for every path that begins with "/stat": one
// row per tracked component with its state, last change, user settings and
// buttons that switch it, the display options, and the actions. The page
// posts back to itself: a request first applies what was posted
// (ClientRequest), then renders the page again (FormatScreen).
//
// A save applies to what the posting browser showed: the page carries, in
// hidden fields, the sections it held and the components it listed, so two
// browsers with different views never overwrite each other's rows.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramSettings.h"
#include "app/SettingsCache.h"
#include "common/FastString.h"
#include "common/Guard.h"
#include "common/VbDate.h"
#include "model/Network.h"
#include "platform/Platform.h"
#include "web/PageFramework.h"
#include "web/Request.h"
#include "xap/Devices.h"

namespace tarvelo::web {

// One listed component, as the row table holds it.
struct StatusRow {
    std::string LinkOn, LinkOff, ModuleID, Location, Name, X10, Delay, Tag;
    bool Event = false, Used = false, Invert = false;
    VbDate Changed = 0;
    std::string DCSort;
    int16_t Status = 0;
    int32_t UIDIndex = 0;
    int16_t Kind = 0;
    int16_t Buttons = 0;  // -1 command list, 2 ON and OFF, 1 or 0 Activate
    std::string Values;
    std::string LastCommand;
};

// The rows of the model walk: tracked components, and every component of a keypad.
std::vector<StatusRow> BuildStatusRows(const model::Network& network, LogSink& log);
// Sorts by a field list such as "DCSort" or "Location, Name DESC" (stable).
// False when a field is unknown; the rows stay in model order then.
bool SortStatusRows(std::vector<StatusRow>& rows, const std::string& sortSpec);

// A typed tag as it is kept: it names a device in the settings file
// ("[Devices] tag=...") and ends a record field at ";", so blanks, ";", "=",
// "~", "[", "]" and line breaks become "_".
std::string TagText(const std::string& typed);

// "ON", "OFF", or a dimmer's level; ON and OFF swap for an inverted component.
std::string StateText(int16_t value, int16_t kind, bool invert);
// "", "Today 7:01:37 AM", "Yesterday ...", or the full date and time.
std::string ChangedText(VbDate changed, VbDate today);

class StatusPage {
public:
    struct Callbacks {
        std::function<void(const std::shared_ptr<model::UPBStatus>& status, bool isLink, int16_t destination, bool on,
                           int16_t level, int16_t command)>
            SendUPBCommand;
        // A component and a position in its command list, carried out by the xAP side.
        std::function<void(const std::shared_ptr<model::UPBLinkState>& state, const std::string& value)> ControlUPBLink;
        std::function<void(const std::string& target)> BSCQuery;
        // Makes the tag a device of interest unless it is one already.
        std::function<void(const std::string& tag, const std::shared_ptr<model::UPBLinkState>& state)> AddDeviceOfInterest;
        // Reloads the scripts; empty while no script host runs.
        std::function<void()> ReadScript;
        // The settings section saved a new HTTP port: the listener keeps its
        // port until the next start, but answers to the new text from now on.
        std::function<void(const std::string& port)> HttpPortSaved;
        // The PIM's port or bridge address changed: close the old connection
        // and open the one the settings name now.
        std::function<void(const std::string& oldPort)> ReopenPim;
        // The periodic script interval changed (seconds text; empty stops it).
        std::function<void(const std::string& seconds)> ArmPeriodicScript;
    };

    // `state` holds the display options (ShowStatus, ShowOnlyUsed, ...), kept
    // between requests and saved in section "UPB".
    // `devices` holds the xAP filters and devices of interest that the
    // messages-of-interest section shows and edits.
    StatusPage(PageFramework& framework, model::Network& network, app::SettingsCache& ini,
               app::ProgramSettings& state, xap::DevicesOfInterest& devices, LogSink& log,
               const platform::Clock& clock, std::string version, Callbacks callbacks);

    struct Result {
        std::string text;      // empty when the post asked for no redraw
        bool refused = false;  // the access check refused the page
    };
    Result Serve(const Request& request);

    // Applies a post; whether to redraw.
    bool ClientRequest(const PageContext& page);
    void FormatScreen(PageContext& page, FastString& out);

    // The first tracked component whose off link or on link is `name`.
    std::shared_ptr<model::UPBLinkState> GetUPBLinkObject(const std::string& name) const;

    static constexpr const char* kFile = "Tarvelo.ini";

    // What the last save refused or changed, shown above the sections of the
    // page it answers with.
    const std::vector<std::string>& notes() const { return notes_; }

private:
    void SaveDisplayOptions(const Request& request);
    void SaveRows(const Request& request);
    void RowCommand(const Request& request);
    void ChooseFromList(const std::shared_ptr<model::UPBLinkState>& state, const std::string& choice);
    std::string OptionsTable(const PageContext& page) const;
    void StatusTable(PageContext& page, FastString& out, int16_t mode);
    std::string ControlCell(const StatusRow& row) const;
    std::string ActionTable(const PageContext& page) const;

    // The link-map editor.
    void AddLinkMap(PageContext& page, FastString& out);
    void SaveLinkMap(const Request& request);
    // The settings section.
    std::string SettingsSection(const PageContext& page);
    void SaveSettings(const Request& request);
    // The xAP messages-of-interest section.
    void MessagesSection(const PageContext& page, FastString& out, bool config, bool detail);
    void SaveFilterSettigs(const Request& request);
    void Note(const std::string& text);

    PageFramework& framework_;
    model::Network& network_;
    app::SettingsCache& ini_;
    app::ProgramSettings& state_;
    xap::DevicesOfInterest& devices_;
    LogSink& log_;
    const platform::Clock& clock_;
    std::string version_;
    Callbacks callbacks_;
    std::vector<std::string> notes_;
    size_t lastPageSize_ = 0;
};

} // namespace tarvelo::web
