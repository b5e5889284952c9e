#!/usr/bin/env python3
"""The status page's editing sections in headless Chromium, against the real
gateway and PIM simulators on the demo installation: a link chosen in the
link-map editor is the link a wall-switch press is reported under; the settings section refuses a bad interval,
changes the xAP UID at once and moves the gateway to another PIM; a filter
added in the messages-of-interest section captures a datagram. Everything is
seen again after a restart. Screenshots of each section are kept.

Usage: editors_e2e.py BINDIR SRCDIR ARTEFACTDIR"""

import os
import shutil
import socket
import subprocess
import sys
import threading
import time
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser_e2e import Browser, expect, wait_until  # noqa: E402
from gateway_env import DemoGateway, Output, free_udp_port  # noqa: E402

HALL = "Hall_Hall_Lights_Hall_Path"  # the hall switch's component, by its link-map key


class XapListener:
    """Every datagram the gateway broadcasts to its xAP port."""

    def __init__(self, port):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("0.0.0.0", port))
        self.sock.settimeout(0.2)
        self.seen = []
        self.lock = threading.Lock()
        self.running = True
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while self.running:
            try:
                data = self.sock.recv(65536)
            except OSError:
                continue
            with self.lock:
                self.seen.append(data.decode("latin-1"))

    def wait_for(self, *needles, timeout=60):
        def probe():
            with self.lock:
                return next((d for d in self.seen if all(n in d for n in needles)), None)
        try:
            return wait_until(probe, "an xAP datagram holding %r" % (needles,), timeout)
        except AssertionError:
            with self.lock:
                print("datagrams seen:\n" + "\n--\n".join(self.seen[-8:]))
            raise

    def clear(self):
        with self.lock:
            self.seen = []

    def close(self):
        self.running = False
        self.sock.close()


def start_sim(bindir, base):
    sim = subprocess.Popen(
        [os.path.join(bindir, "tarvelo-pimsim"), "--listen", "127.0.0.1:0", "--export",
         os.path.join(base, "Data", "Tarvelo", "Tarvelo.upe"), "--rain8", "9", "--fast"],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    out = Output(sim.stdout)
    port = int(out.wait_for(r"listening 127\.0\.0\.1:(\d+)", process=sim).group(1))
    return sim, out, port


def tell(sim, line):
    sim.stdin.write((line + "\n").encode())
    sim.stdin.flush()


# The row of the link-map editor whose component cell is arguments[0].
MAP_ROW = """
function mapRow(name) {
  for (const tr of document.querySelectorAll('tr')) {
    const td = tr.querySelector('td');
    if (td && td.textContent === name && tr.querySelector('select[name^=OnLink]')) return tr;
  }
  return null;
}
"""


def save(b):
    """Clicks Save Changes and waits for the page that answers."""
    b.js("window.__before = 1")
    b.click("input[name=UpdateButton]")
    b.wait("return !window.__before && document.readyState === 'complete' && "
           "!!document.querySelector('input[name=UpdateButton]')")


def section_shot(b, title, path):
    """A screenshot of the table whose header cell reads `title`."""
    b.js("""for (const t of document.querySelectorAll('table')) {
              const td = t.querySelector('td');
              if (td && td.textContent.trim() === arguments[0]) { t.id = 'shot'; t.scrollIntoView(); return; } }""",
         title)
    el = b.find("#shot")
    import base64
    with open(path, "wb") as f:
        f.write(base64.b64decode(b.s("GET", "/element/%s/screenshot" % el)))
    b.js("document.getElementById('shot').removeAttribute('id')")


def main():
    bindir, srcdir, artefacts = sys.argv[1], sys.argv[2], sys.argv[3]
    if not shutil.which("chromedriver"):
        print("skipped: chromedriver is not installed (Debian: chromium chromium-driver)")
        return 77
    os.makedirs(artefacts, exist_ok=True)
    gw = DemoGateway(bindir, srcdir)
    xap = XapListener(gw.xap_port)
    driver_port = free_udp_port()
    driver = subprocess.Popen(["chromedriver", "--port=%d" % driver_port],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    desk = None
    sim2 = None
    try:
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
        desk.wait("return document.readyState === 'complete'")
        for box in ("ShowEditMap", "ShowSetup", "ShowReceiveMessages", "ShowReceiveDetail"):
            desk.click("input[name=%s]" % box)
        desk.click("input[name=ShowStatus][value='2']")
        save(desk)
        expect(desk.js(MAP_ROW + "return mapRow(arguments[0]) !== null", HALL), "the link-map editor lists the hall lights")
        expect(desk.js("return !!document.querySelector('input[name=ServerPort]')"), "the settings section is shown")
        expect(desk.js("return !!document.querySelector('input[name=Source0]')"), "the new-filter row is shown")

        # Link map: the hall lights' on link becomes Hall Accent.
        desk.js(MAP_ROW + """const tr = mapRow(arguments[0]);
                   tr.querySelector('select[name^=OnLink]').value = '19:Hall Accent';
                   tr.querySelector('select[name^=On]:not([name^=OnLink])').value = 'Activate';""", HALL)
        save(desk)
        chosen = desk.js(MAP_ROW + """const tr = mapRow(arguments[0]);
                            return tr.querySelector('select[name^=OnLink]').value""", HALL)
        expect(chosen == "19:Hall Accent", "the page shows the saved link choice (%s)" % chosen)
        section_shot(desk, "Link Map Edit", os.path.join(artefacts, "editor-linkmap.png"))

        xap.clear()
        tell(gw.sim, "press 11 5")
        xap.wait_for("Tarvelo_Hall_Hall_Lights_Hall_Accent.UPB2A_M0B_C01_01", "state=ON")
        expect(True, "a press of the hall switch is reported under the chosen link")
        desk.go(gw.url())
        desk.wait("return !!document.querySelector('input[name=UID]')")

        # Settings: a bad interval is refused and said; the UID is normalised.
        desk.js("document.querySelector('input[name=UID]').value = 'FF123400';"
                "document.querySelector('input[name=periodicscriptinterval]').value = 'ten';")
        save(desk)
        notes = desk.js("return [...document.querySelectorAll('.note')].map(p => p.textContent).join('|')")
        expect("Periodic Script Interval 'ten' was refused" in notes, "the bad interval is refused on the page")
        expect(desk.js("return document.querySelector('input[name=periodicscriptinterval]').value") == "900",
               "the old interval is kept")
        expect(desk.js("return document.querySelector('input[name=UID]').value") == "FF.1234:00",
               "the UID is stored normalised")
        section_shot(desk, "HTTP / Browser", os.path.join(artefacts, "editor-settings.png"))
        desk.screenshot(os.path.join(artefacts, "editor-settings-note.png"))

        # ... and a second PIM: the gateway moves to it when its port is saved.
        sim2, sim2_out, port2 = start_sim(bindir, gw.base)
        desk.js("document.querySelector('input[name=UPBCommPort]').value = arguments[0];"
                "document.querySelector('input[name=periodicscriptinterval]').value = '600';", str(port2))
        save(desk)
        sim2_out.wait_for(r"connected 127\.0\.0\.1", timeout=60)
        expect(True, "the gateway connects to the PIM on the new port at once")
        xap.clear()
        tell(sim2, "release 11 5")
        try:
            xap.wait_for("uid=FF.1234:0B02", "Hall_Accent", "state=OFF")
        except AssertionError:
            print("SIM2:\n" + sim2_out.text()[-3000:])
            print("GW:\n" + gw.out.text()[-3000:])
            raise
        expect(True, "the next event carries the new UID")

        # Messages of interest: a filter added, a bad source refused, a datagram captured.
        desk.js("document.querySelector('input[name=FilterTag0]').value = 'Weather Station;1';"
                "document.querySelector('input[name=Source0]').value = 'acme.weather.home';"
                "document.querySelector('input[name=Class0]').value = 'weather.report';"
                "document.querySelector('input[name=FilterEvent0]').checked = true;")
        save(desk)
        expect(desk.js("return document.querySelector('input[name=FilterTag1]').value") == "Weather_Station_1",
               "the new filter's tag is stored with '_' for blanks and ';'")
        desk.js("document.querySelector('input[name=Source1]').value = 'acme~weather';")
        save(desk)
        notes = desk.js("return [...document.querySelectorAll('.note')].map(p => p.textContent).join('|')")
        expect("xAP filter 1: the source and the class may not hold" in notes, "a '~' in a source is refused")
        expect(desk.js("return document.querySelector('input[name=Source1]').value") == "acme.weather.home",
               "the filter is kept as it was")
        xap_port = int(gw.out.wait_for(r"Using xAP port (\d+)").group(1))
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.sendto(b"xap-header\n{\nv=12\nhop=1\nuid=FF.9999:00\nclass=weather.report\nsource=acme.weather.home\n}\n"
                 b"weather.report\n{\ntempc=21.5\nsky=<clear>\n}\n", ("127.0.0.1", xap_port))
        s.close()

        def captured():
            desk.go(gw.url())
            return desk.js("return document.body.innerText.indexOf('weather.report.sky') >= 0 && "
                           "document.body.innerText.indexOf('<clear>') >= 0")
        wait_until(captured, "the captured values in the detail rows", 60)
        expect(True, "the datagram is captured and shown, escaped, in the detail rows")
        section_shot(desk, "xAP Messages of Interest", os.path.join(artefacts, "editor-messages.png"))

        # A restart keeps all of it.
        expect(gw.stop_gateway() == 0, "the gateway stops in order")
        gw.start_gateway(ready=False)
        desk.go(gw.url())
        desk.wait("return !!document.querySelector('input[name=FilterTag1]')")
        chosen = desk.js(MAP_ROW + """const tr = mapRow(arguments[0]);
                            return tr.querySelector('select[name^=OnLink]').value""", HALL)
        expect(chosen == "19:Hall Accent", "the link choice survives a restart")
        expect(desk.js("return document.querySelector('input[name=UID]').value") == "FF.1234:00",
               "the UID survives a restart")
        expect(desk.js("return document.querySelector('input[name=periodicscriptinterval]').value") == "600",
               "the interval survives a restart")
        expect(desk.js("return document.querySelector('input[name=UPBCommPort]').value") == str(port2),
               "the PIM port survives a restart")
        expect(desk.js("return document.querySelector('input[name=FilterTag1]').value") == "Weather_Station_1",
               "the filter survives a restart")
        expect(desk.js("return document.body.innerText.indexOf('21.5') >= 0"), "so do the captured values")
        sim2_out.wait_for(r"connected 127\.0\.0\.1.*\n(.|\n)*connected 127\.0\.0\.1", timeout=60)
        gw.out.wait_for(r"tarvelo: running from", timeout=180, process=gw.gateway)
        xap.clear()
        tell(sim2, "press 11 5")
        xap.wait_for("uid=FF.1234:0B02", "Tarvelo_Hall_Hall_Lights_Hall_Accent.UPB2A_M0B_C01_01", "state=ON")
        expect(True, "after the restart the press is still reported under the chosen link")
        desk.screenshot(os.path.join(artefacts, "editor-after-restart.png"))
        print("all passed")
        return 0
    finally:
        if desk:
            desk.close()
        driver.terminate()
        driver.wait()
        xap.close()
        if sim2 and sim2.poll() is None:
            sim2.terminate()
            try:
                sim2.wait(10)
            except subprocess.TimeoutExpired:
                sim2.kill()
        gw.close()


if __name__ == "__main__":
    sys.exit(main())
