#!/usr/bin/env python3
"""The desktop of the real gateway on a virtual X display, driven as a person
would: the tray icon's menu opens the trace window and the settings form
(screenshots of both go to the artefacts folder); the trace shows a
transmission and received lines with their time stamps, and "Freeze" stops
received text; a new PIM port saved in the form moves the gateway to a second
simulator; "Exit" ends it in order. Without a system tray the gateway runs
and says why there is no icon.

Usage: desktop_e2e.py BINDIR SRCDIR ARTEFACTS
Runs itself under xvfb-run when there is no display; exit 77 (skipped) when
the X tools are not installed."""

import os
import re
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gateway_env import DemoGateway, Output  # noqa: E402

TOOLS = ["xvfb-run", "trayer", "xdotool", "import", "xclip"]


def expect(cond, what):
    if not cond:
        raise AssertionError(what)
    print("ok -", what, flush=True)


def wait_until(check, what, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def xdo(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True).stdout


def windows(*query):
    return xdo("search", "--onlyvisible", *query).split()


def geometry(window):
    m = re.search(r"Position: (-?\d+),(-?\d+).*Geometry: (\d+)x(\d+)", xdo("getwindowgeometry", window), re.S)
    return tuple(int(v) for v in m.groups()) if m else (0, 0, 0, 0)


def screenshot(artefacts, name):
    path = os.path.join(artefacts, name)
    subprocess.run(["import", "-window", "root", path], check=True)
    print("screenshot:", path, flush=True)


class Desktop:
    """The gateway on the demo, not headless, with its output collected."""

    def __init__(self, env):
        self.env = env

    def start(self):
        env = self.env
        env.gateway = subprocess.Popen(
            [os.path.join(env.bindir, "tarvelo"), "--base", env.base, "--xap-port", str(env.xap_port)],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        env.out = Output(env.gateway.stdout)
        env.out.wait_for(r"tarvelo: running from", timeout=240, process=env.gateway)


def tray_icon():
    """The gateway's icon window inside the tray."""
    for w in windows("--classname", "tarvelo"):
        x, y, width, height = geometry(w)
        if 0 < width <= 64 and 0 < height <= 64:
            return w, x + width // 2, y + height // 2
    return None


def menu_item(keys, artefacts=None, shot=None):
    """Opens the tray menu with a left click and picks an item by keys."""
    w, x, y = wait_until(tray_icon, "the tray icon")
    before = set(windows("--classname", "tarvelo"))
    xdo("mousemove", str(x), str(y), "click", "1")
    wait_until(lambda: set(windows("--classname", "tarvelo")) - before, "the tray menu")
    if shot:
        screenshot(artefacts, shot)
    for key in keys:
        xdo("key", key)
    xdo("key", "Return")


def focus(name):
    w = wait_until(lambda: windows("--name", name), "the window " + name)[0]
    xdo("windowactivate", "--sync", w)
    xdo("windowfocus", "--sync", w)
    return w


def copied_trace():
    """The trace window's text, through the clipboard, as a person would copy it."""
    subprocess.run(["xclip", "-selection", "clipboard", "-i", "/dev/null"], check=True)
    focus("UPB Data Monitor Window")
    xdo("key", "Tab")  # from the Freeze box into the text
    xdo("key", "ctrl+a", "ctrl+c", "ctrl+End")  # the selection goes again
    xdo("key", "shift+Tab")  # back on the Freeze box
    def text():
        r = subprocess.run(["xclip", "-selection", "clipboard", "-o"], capture_output=True, timeout=10)
        return r.stdout.decode("latin-1") if r.returncode == 0 and r.stdout else None
    return wait_until(text, "the copied trace")


def received_lines(trace):
    return [line for line in trace.splitlines() if line.startswith("PU")]


def no_tray(bindir, srcdir):
    env = DemoGateway(bindir, srcdir)
    try:
        env.start_sim()
        Desktop(env).start()
        env.out.wait_for(r"No tray icon: the desktop has no system tray")
        expect(env.gateway.poll() is None, "without a system tray the gateway runs and says why there is no icon")
        expect(env.stop_gateway() == 0, "and ends in order on SIGTERM")
        expect(len(re.findall("No tray icon", env.out.text())) == 1, "the reason is logged once")
    finally:
        env.close()


def with_tray(bindir, srcdir, artefacts):
    tray = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                             "--height", "24"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    env = DemoGateway(bindir, srcdir)
    second = None
    try:
        wait_until(lambda: windows("--name", "panel"), "the tray")
        env.start_sim()
        second = subprocess.Popen(
            [os.path.join(bindir, "tarvelo-pimsim"), "--listen", "127.0.0.1:0", "--export",
             os.path.join(env.base, "Data", "Tarvelo", "Tarvelo.upe"), "--rain8", "9", "--fast"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        second_out = Output(second.stdout)
        second_port = second_out.wait_for(r"listening 127\.0\.0\.1:(\d+)", process=second).group(1)

        Desktop(env).start()
        expect(tray_icon() is not None, "the icon sits in the tray")
        expect("No tray icon" not in env.out.text(), "no reason for a missing icon is logged")

        menu_item(["Down"] * 5, artefacts, "desktop-menu.png")  # "IO Window"
        focus("UPB Data Monitor Window")
        screenshot(artefacts, "desktop-trace.png")
        trace = copied_trace()
        expect(re.search(r"Sent to PIM <14>.*    <\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \d+(\.\d+)?>", trace),
               "the trace shows a transmission with its date, time and seconds")
        expect(re.search(r"(?m)^PA {90}<\d\d:\d\d:\d\d \d+(\.\d+)?>", trace),
               "and a received line padded to 92 characters with its time stamp")

        # Freeze: a wall switch's packets are not written; after it, they are.
        xdo("key", "space")
        frozen = received_lines(copied_trace())
        env.sim.stdin.write(b"press 1 6\n")
        env.sim.stdin.flush()
        env.out.wait_for(r"Demo Porch light is on")
        expect(received_lines(copied_trace()) == frozen, "while frozen no received text is written")
        xdo("key", "space")
        env.sim.stdin.write(b"release 1 6\n")
        env.sim.stdin.flush()
        env.out.wait_for(r"Demo Porch light is off \(level 0, change [1-9]")
        after = received_lines(copied_trace())
        expect(len(after) > len(frozen) and after[-1].startswith("PU"), "without Freeze it is written again")
        screenshot(artefacts, "desktop-trace-after.png")

        # The settings form: box 0 gets the second simulator's port.
        menu_item(["Down"] * 2)  # "GUI"
        focus("UPB Setup")
        screenshot(artefacts, "desktop-settings.png")
        xdo("key", "ctrl+a")
        xdo("type", second_port)
        screenshot(artefacts, "desktop-settings-edited.png")
        xdo("key", "Return")
        env.out.wait_for(r"UPB PIM Comm Port %s Opened" % second_port)
        second_out.wait_for(r"connected 127\.0\.0\.1:")  # the gateway is on the second simulator
        # The port is reopened first, then the settings are written.
        def saved():
            with open(env.ini_path(), "rb") as f:
                return b"UPBCommPort=%s\r\n" % second_port.encode() in f.read()
        expect(wait_until(saved, "the saved settings"), "the new port is saved")
        expect(not windows("--name", "UPB Setup"), "the form closed on Save")

        # Exit: an orderly end that does not report the closed bridge.
        menu_item(["Up"])  # the last item, "Exit"
        code = env.gateway.wait(60)
        expect(code == 0, "Exit ends the gateway")
        expect("UPB PIM IP Connection Closed" not in env.out.text(), "no closed-connection line is logged")
        with open(env.ini_path(), "rb") as f:
            expect(b"UPB" in f.read(), "the settings file is still there after the shut-down")
    finally:
        env.close()
        if second and second.poll() is None:
            second.terminate()
            second.wait(10)
        tray.terminate()
        tray.wait(10)


def main():
    if len(sys.argv) != 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    bindir, srcdir, artefacts = sys.argv[1:]
    missing = [t for t in TOOLS if not shutil.which(t)]
    if missing:
        print("skipped: not installed: " + " ".join(missing))
        return 77
    if not os.environ.get("DISPLAY"):
        return subprocess.call(["xvfb-run", "-a", "-s", "-screen 0 1280x800x24", sys.executable, *sys.argv])
    os.makedirs(artefacts, exist_ok=True)
    no_tray(bindir, srcdir)
    with_tray(bindir, srcdir, artefacts)
    return 0


if __name__ == "__main__":
    sys.exit(main())
