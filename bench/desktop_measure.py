#!/usr/bin/env python3
"""The desktop's cost, measured on the real gateway: resident memory with the
tray icon (on a virtual X display with a tray) and as a daemon (no display),
on the demo installation with the PIM simulator; which X libraries each has
mapped; and the time from the program's start to its icon in the tray, for
the demo (the icon comes after the start-up polls) and for an empty base
folder.

Usage: bench/desktop_measure.py BINDIR SRCDIR   (needs xvfb-run, trayer, xdotool)"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from gateway_env import DemoGateway, Output  # noqa: E402


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))


def x_libraries(pid):
    with open("/proc/%d/maps" % pid) as f:
        maps = f.read()
    return sorted({os.path.basename(m) for m in re.findall(r"(/\S*lib(?:X11|xcb|Qt6Widgets|Qt6Gui)\S*)", maps)})


def icon_shown():
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--classname", "tarvelo"],
                         capture_output=True, text=True).stdout.split()
    for w in out:
        g = subprocess.run(["xdotool", "getwindowgeometry", w], capture_output=True, text=True).stdout
        m = re.search(r"Geometry: (\d+)x(\d+)", g)
        if m and int(m.group(1)) <= 64:
            return True
    return False


def measure(bindir, srcdir, desktop):
    env = DemoGateway(bindir, srcdir)
    try:
        env.start_sim()
        args = [os.path.join(bindir, "tarvelo"), "--base", env.base, "--xap-port", str(env.xap_port)]
        child_env = dict(os.environ)
        if not desktop:
            args.append("--headless")
        started = time.monotonic()
        env.gateway = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.STDOUT, env=child_env)
        env.out = Output(env.gateway.stdout)
        icon_after = None
        if desktop:
            while time.monotonic() - started < 300 and not icon_shown():
                time.sleep(0.02)
            icon_after = time.monotonic() - started
        ready = env.out.wait_for(r"ready in (\d+) ms", timeout=300, process=env.gateway)
        time.sleep(5)  # settled after the start-up
        return rss_kb(env.gateway.pid), x_libraries(env.gateway.pid), icon_after, int(ready.group(1))
    finally:
        env.close()


def icon_time_empty(bindir, pim_port=None):
    """No installation; with `pim_port` the PIM simulator answers at once,
    without it no PIM is set and the options write waits for the port."""
    base = tempfile.mkdtemp(prefix="tarvelo-empty-")
    try:
        if pim_port:
            os.makedirs(os.path.join(base, "Config"))
            with open(os.path.join(base, "Config", "Tarvelo.ini"), "wb") as f:
                f.write(b"[UPB]\r\nSerialIP=127.0.0.1\r\nUPBCommPort=%d\r\nHTTPPort=0\r\n" % pim_port)
        started = time.monotonic()
        gw = subprocess.Popen([os.path.join(bindir, "tarvelo"), "--base", base, "--xap-port", "39998"],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while time.monotonic() - started < 60 and not icon_shown():
            time.sleep(0.01)
        shown = time.monotonic() - started
        gw.terminate()
        gw.wait(30)
        return shown
    finally:
        shutil.rmtree(base, ignore_errors=True)


def main():
    bindir, srcdir = sys.argv[1:3]
    if not os.environ.get("DISPLAY"):
        # The daemon first, with no display at all; then the rest on a virtual one.
        rss, libs, _, ready = measure(bindir, srcdir, desktop=False)
        print("daemon (--headless, no display): RSS %d kB, ready after %d ms, X/Widgets libraries mapped: %s"
              % (rss, ready, ", ".join(libs) or "none"))
        return subprocess.call(["xvfb-run", "-a", "-s", "-screen 0 1280x800x24", sys.executable, *sys.argv])
    tray = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(1.5)
        times = [icon_time_empty(bindir) for _ in range(5)]
        print("empty base folder, no PIM set: start to icon shown %s s (median %.3f s)"
              % (", ".join("%.3f" % t for t in times), sorted(times)[2]))
        sim = subprocess.Popen([os.path.join(bindir, "tarvelo-pimsim"), "--listen", "127.0.0.1:0", "--fast"],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        try:
            port = int(Output(sim.stdout).wait_for(r"listening 127\.0\.0\.1:(\d+)", process=sim).group(1))
            times = [icon_time_empty(bindir, port) for _ in range(5)]
        finally:
            sim.terminate()
            sim.wait(10)
        print("no installation, PIM simulator answering: start to icon shown %s s (median %.3f s)"
              % (", ".join("%.3f" % t for t in times), sorted(times)[2]))
        rss, libs, icon, ready = measure(bindir, srcdir, desktop=True)
        print("tray icon (virtual display): RSS %d kB, icon shown %.2f s after the start (start-up %d ms), "
              "libraries mapped: %s" % (rss, icon, ready, ", ".join(libs)))
    finally:
        tray.terminate()
        tray.wait(10)
    return 0


if __name__ == "__main__":
    sys.exit(main())
