#!/usr/bin/env python3
"""Prints the figures of a bench/run-all.sh run as one Markdown table.

Usage: bench/table.py OUT_DIR BUILD_DIR MIN_TIME  (run-all.sh calls it)
"""
import json
import os
import sys

out, build, min_time = sys.argv[1], sys.argv[2], sys.argv[3]
rows = []


def gb(suite, name, figure, value):
    """A row from a Google Benchmark suite; value(run) formats the figure."""
    path = os.path.join(out, suite + ".json")
    command = f"{build}/bin/tarvelo_{suite}_bench --benchmark_filter='^{name}$' --benchmark_min_time={min_time}"
    try:
        runs = json.load(open(path))["benchmarks"]
        run = next(r for r in runs if r["name"] == name)
        text = ("failed: " + run["error_message"]) if run.get("error_occurred") else value(run)
    except (OSError, ValueError, StopIteration, KeyError):
        text = "not run"
    rows.append((figure, text, command))


def cpu(run):
    """CPU time per iteration in the run's own unit."""
    return f"{run['cpu_time']:.3g} {run['time_unit']}"


def per_second(run):
    return f"{run['items_per_second'] / 1e6:.2f} M/s ({run['cpu_time']:.0f} {run['time_unit']} each)"


def counters(*names):
    def fmt(run):
        return cpu(run) + "; " + ", ".join(f"{n} {run[n]:.4g}" for n in names)
    return fmt


def script(name, figure, command, keep=lambda line: True):
    """Rows from the output lines of a timed Python run."""
    try:
        lines = [l.strip() for l in open(os.path.join(out, name + ".txt")) if l.strip() and keep(l)]
    except OSError:
        lines = []
    rows.append((figure, "<br>".join(lines) if lines else "not run", command))


gb("xap", "BM_ParseBscCommand", "xAP parse of a BSC command + item look-ups", per_second)
gb("xap", "BM_BuildBscEvent", "xAP BSC event build", per_second)
gb("xap", "BM_CommandToPimFrame/iterations:20", "BSC command to PIM frame (whole gateway, simulated)", cpu)
gb("upb", "BM_QueuedCommandToAcknowledge", "UPB command queued to acknowledged (simulated PIM)",
   counters("bytes/cmd"))
gb("upb", "BM_BuildAndFramePacket", "UPB packet build and PIM framing", cpu)
gb("upb", "BM_SplitReceivedLines", "PIM received-line splitting", cpu)
for devices in (250, 2000):
    gb("model", f"BM_ReadUPS/{devices}", f"UPStart import, {devices} devices",
       counters("file_KB", "components", "heap_peak_KB", "model_KB"))
for devices, records in ((250, 1), (2000, 1), (2000, 0)):
    kind = "a record per component" if records else "empty records section"
    gb("model", f"BM_ReadLastChangeAndLinkMap/devices:{devices}/records:{records}",
       f"Records and link map after the import, {devices} devices, {kind}", counters("records", "link_map", "timers"))
for records in (250, 2000):
    gb("settings", f"BM_IniLoad/{records}", f"Settings file load, {records} records", cpu)
    gb("settings", f"BM_IniSave/{records}", f"Settings file save, {records} records", cpu)
gb("settings", "BM_GetIniSetting", "GetIniSetting, 2000-record file, no loop (looks at the file's time each read)", cpu)
gb("settings", "BM_GetIniSettingInOneTurn", "GetIniSetting, 2000-record file, within one loop turn (as the gateway)",
   cpu)
for devices, show in ((0, 1), (0, 2), (250, 1), (250, 2)):
    gb("web", f"BM_StatusPage/{devices}/{show}", f"Status page build, {devices} devices, ShowStatus {show}",
       counters("page_KB", "tracked"))
for devices in (0, 250):
    gb("web", f"BM_StatusPageAllSections/{devices}",
       f"Status page build, {devices} devices, every section open (config, link map, settings, 20 xAP filters)",
       counters("page_KB", "links"))
gb("web", "BM_ParseSave", "Status page save request parse", counters("request_KB", "fields"))
gb("vbscript", "BM_Fib25", "VBScript engine: recursive Fib(25)", counters("peak_MiB"))
gb("vbscript", "BM_Append100k", "VBScript engine: 100000 string appends", counters("peak_MiB"))
gb("vbscript", "BM_Dictionary100k", "VBScript engine: dictionary of 100000 keys", counters("peak_MiB"))
for mode in ("fast", "powerline"):
    suffix = "iterations:5" if mode == "fast" else "iterations:1"
    gb("pim_queue", f"BM_HundredQueuedCommands/{mode}/{suffix}/real_time",
       f"100 queued commands through the real PIM simulator ({mode} timing)",
       lambda r: f"{r['cmd/s']:.3g} cmd/s (limit {r['limit/s']:.3g}/s, {r['of_limit_%']:.3g} % of it), "
                 f"failed {r['failed']:.0f}")
here = "bench"
script("pim_timing", "PIM simulator powerline timing (3 frames per length)", f"python3 {here}/pim_timing.py {build} 3")
script("pim_reconnect", "Lost TCP bridge: retries, CPU while waiting, reconnect (4 s down)",
       f"python3 {here}/pim_reconnect.py {build} 4")
script("xap_flood", "xAP flood of 10000 datagrams: memory and echo after", f"python3 {here}/xap_flood.py {build}")
script("web_load", "Web server under load (/stat, 4 clients; 300 requests, then 1200 for memory)",
       f"python3 {here}/web_load.py {build} 300")
script("vbscript_compare", "VBScript engine against CPython (compute time, memory; best of 1)",
       f"python3 {here}/vbscript_compare.py {build}/bin/tarvelo-vbs 1")

print("| Figure | Value | Command |")
print("|---|---|---|")
for figure, value, command in rows:
    print(f"| {figure} | {value} | `{command}` |")
