#!/usr/bin/env python3
"""The status page in headless Chromium, against the real gateway and PIM
simulator on the demo installation: the style sheet applies, a button
switches a component through the PIM, a configuration save survives a
restart, and screenshots at desktop and phone size are kept as artefacts.

Usage: browser_e2e.py BINDIR SRCDIR ARTEFACTDIR"""

import base64
import json
import os
import shutil
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gateway_env import DemoGateway, free_udp_port  # noqa: E402


class Browser:
    """One WebDriver session of headless Chromium."""

    def __init__(self, driver_port, width, height, phone=False):
        self.base = "http://127.0.0.1:%d" % driver_port
        options = {"binary": shutil.which("chromium") or "/usr/bin/chromium",
                   "args": ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                            "--window-size=%d,%d" % (width, height)]}
        if phone:
            # A desktop window cannot be made this narrow; a phone's screen is emulated.
            options["mobileEmulation"] = {"deviceMetrics": {"width": width, "height": height, "pixelRatio": 2},
                                          "userAgent": "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 "
                                                       "(KHTML, like Gecko) Chrome/126.0 Mobile Safari/537.36"}
        caps = {"capabilities": {"alwaysMatch": {"goog:chromeOptions": options}}}
        self.sid = self.call("POST", "/session", caps)["sessionId"]

    def call(self, method, path, body=None):
        req = urllib.request.Request(self.base + path, method=method,
                                     data=None if body is None else json.dumps(body).encode(),
                                     headers={"Content-Type": "application/json"})
        return json.loads(urllib.request.urlopen(req, timeout=120).read())["value"]

    def s(self, method, path, body=None):
        return self.call(method, "/session/%s%s" % (self.sid, path), body)

    def go(self, url):
        self.s("POST", "/url", {"url": url})

    def js(self, script, *args):
        return self.s("POST", "/execute/sync", {"script": script, "args": list(args)})

    def find(self, css):
        el = self.s("POST", "/element", {"using": "css selector", "value": css})
        return next(iter(el.values()))

    def click(self, css):
        self.s("POST", "/element/%s/click" % self.find(css), {})

    def screenshot(self, path):
        with open(path, "wb") as f:
            f.write(base64.b64decode(self.s("GET", "/screenshot")))

    def wait(self, script, timeout=60):
        return wait_until(lambda: self.js(script), script, timeout)

    def close(self):
        try:
            self.call("DELETE", "/session/" + self.sid)
        except Exception:
            pass


def wait_until(probe, what, timeout=60):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            value = probe()
            if value:
                return value
        except Exception:
            pass  # the page is being replaced
        time.sleep(0.1)
    raise AssertionError("never: " + what)


ROW_STATE = """
for (const tr of document.querySelectorAll('table.status tr')) {
  if (tr.textContent.indexOf(arguments[0]) >= 0 || [...tr.querySelectorAll('input')].some(i => i.value === arguments[0])) {
    const s = tr.querySelector('span.on, span.off, span.level');
    return s ? s.textContent : null;
  }
}
return null;"""


def expect(cond, what):
    if not cond:
        raise AssertionError(what)
    print("ok -", what)


def main():
    bindir, srcdir, artefacts = sys.argv[1], sys.argv[2], sys.argv[3]
    if not shutil.which("chromedriver"):
        print("skipped: chromedriver is not installed (Debian: chromium chromium-driver)")
        return 77
    os.makedirs(artefacts, exist_ok=True)
    gw = DemoGateway(bindir, srcdir)
    driver_port = free_udp_port()
    driver = subprocess.Popen(["chromedriver", "--port=%d" % driver_port],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    desk = phone = None
    try:
        gw.set_ini("ShowStatus", "1")
        gw.start_sim()
        gw.start_gateway()
        for _ in range(100):
            try:
                urllib.request.urlopen("http://127.0.0.1:%d/status" % driver_port, timeout=5)
                break
            except OSError:
                time.sleep(0.1)
        desk = Browser(driver_port, 1280, 900)
        desk.go(gw.url())
        expect(desk.js("return document.title").startswith("UPB Status"), "the status page loads")
        expect(desk.js("return document.compatMode") == "BackCompat", "it renders in quirks mode")
        bg = desk.js("return getComputedStyle(document.querySelector('.TABLEHEADER')).backgroundColor")
        expect(bg == "rgb(61, 74, 99)", "the style sheet served as text/html applies (%s)" % bg)
        expect(desk.js("return document.querySelector('img[src=\"/images/logo.png\"]').naturalWidth") > 0,
               "the logo image is served")

        # ON for the sump pump: link 101 goes out through the PIM, the page shows it.
        expect(desk.js(ROW_STATE, "Sump_Pump") == "OFF", "the sump pump starts off")
        desk.click("input[name=Q101]")
        gw.sim_out.wait_for(r"host .*2A65FF20", timeout=60)
        expect(True, "the simulator received the link 101 activation")
        wait_until(lambda: desk.js(ROW_STATE, "Sump_Pump") == "ON", "the sump pump shown on")
        expect(True, "the page shows the sump pump on")
        desk.screenshot(os.path.join(artefacts, "status-desktop.png"))

        phone = Browser(driver_port, 390, 844, phone=True)
        phone.go(gw.url())
        phone.wait("return document.readyState === 'complete'")
        width = phone.js("return document.documentElement.clientWidth")
        expect(width <= 400, "the phone window is phone sized (%s px)" % width)
        expect(phone.js("return document.querySelector('input[name=UpdateButton]').getBoundingClientRect().right")
               <= width, "Save Changes is reachable without scrolling sideways")
        phone.screenshot(os.path.join(artefacts, "status-phone.png"))
        phone.click("input[name=Q102]")
        wait_until(lambda: phone.js(ROW_STATE, "Sump_Pump") == "OFF", "the sump pump shown off on the phone")
        expect(True, "the phone's OFF button switches the sump pump off")

        # Configuration mode: a tag and Used changed and saved.
        desk.click("input[name=ShowStatus][value='2']")
        desk.click("input[name=UpdateButton]")
        desk.wait("return !!document.querySelector(\"input[name^=Tag][value=Sprinkler]\")")
        tag_name = desk.js("return document.querySelector(\"input[name^=Tag][value=Sprinkler]\").name")
        uid = tag_name[3:]
        expect(not desk.js("return document.querySelector('input[name=Used%s]').checked" % uid),
               "the sprinkler is not used yet")
        desk.js("const t = document.querySelector('input[name=%s]'); t.value = 'Back Garden & Lawn';" % tag_name)
        desk.click("input[name=Used%s]" % uid)
        desk.click("input[name=UpdateButton]")
        desk.wait("return !!document.querySelector(\"input[name=%s][value='Back_Garden_&_Lawn']\")" % tag_name)
        expect(True, "the saved tag is shown with blanks as '_' and the '&' kept")
        desk.screenshot(os.path.join(artefacts, "status-config-desktop.png"))
        phone.go(gw.url())
        phone.wait("return !!document.querySelector(\"input[name=%s]\")" % tag_name)
        phone.screenshot(os.path.join(artefacts, "status-config-phone.png"))

        desk.go(gw.url("/help"))
        desk.wait("return document.readyState === 'complete'")
        expect("status page" in desk.js("return document.body.innerText"), "the help page loads")
        expect(desk.js("return document.querySelector('.help img').naturalWidth") > 0, "its picture is served")
        desk.screenshot(os.path.join(artefacts, "help-desktop.png"))

        # A restart keeps what was saved.
        expect(gw.stop_gateway() == 0, "the gateway stops in order")
        gw.start_gateway(ready=False)
        desk.go(gw.url())
        desk.wait("return !!document.querySelector(\"input[name=%s]\")" % tag_name)
        expect(desk.js("return document.querySelector('input[name=%s]').value" % tag_name) == "Back_Garden_&_Lawn",
               "the tag survives a restart")
        expect(desk.js("return document.querySelector('input[name=Used%s]').checked" % uid), "Used survives a restart")
        print("all passed")
        return 0
    finally:
        for b in (desk, phone):
            if b:
                b.close()
        driver.terminate()
        driver.wait()
        gw.close()


if __name__ == "__main__":
    sys.exit(main())
