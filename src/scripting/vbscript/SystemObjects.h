// The objects users' scripts create to reach the system:
// CreateObject("Scripting.FileSystemObject") (files, folders, text streams)
// and CreateObject("WScript.Shell") (Run and Exec of commands through
// /bin/sh -c, the environment, the current folder, Popup).
//
// Paths may be written with "\" or "/"; a name finds an existing file or
// folder whatever its case, as the settings files do. Files written here end
// their lines with LF; files read may end them with CR LF or LF and may start
// with a UTF-8 or UTF-16 byte-order mark.
//
// The engine does not offer them by itself: a host registers them on each
// engine (again after Engine::Reset, which starts from a fresh runtime).
#pragma once

namespace tarvelo::vbs {

class Runtime;

void RegisterSystemObjects(Runtime& rt);

}  // namespace tarvelo::vbs
