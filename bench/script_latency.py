#!/usr/bin/env python3
"""Timed runs of the script host with the real processes.

Starts tarvelo-pimsim (fast timing) and the gateway on a small installation
whose desk lamp is tagged "Desk" with its event flag set, and a main script
that answers each change of it with an xAP message. Then:

  1. presses the lamp's wall switch 20 times and reports, per press, the time
     from the gateway's BSC event of the change to the script's message (the
     trigger queue waits 5 ms, then "Main" runs), and from the press command
     to the script's message;
  2. runs a script with tarvelo-vbs that connects to the gateway and makes
     2000 member calls, and reports the time of the connection and of one
     call's round trip.

Usage: bench/script_latency.py [BUILD_DIR]   (default: build)
"""
import os, re, shutil, socket, statistics, subprocess, sys, tempfile, time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
bindir = os.path.abspath(os.path.join(build, "bin"))

EXPORT = ("0,5,3,2,1,0\r\n2,1,Evening\r\n2,2,Reading\r\n"
          "3,7,1,5,1,3,2,2,1,1,6,Study,Desk Lamp,0\r\n8,0,7,1,3\r\n4,0,0,7,2,80,3\r\n1\r\n")
SCRIPT = ('Sub Main(tag)\r\n  If tag = "Desk" Then SendXapMessage "", "Bench.Script", "s", '
          '"tag" & Chr(1) & tag & Chr(0) & "value" & Chr(1) & Request(tag)("value"), "", "", ""\r\nEnd Sub\r\n')
CALLS = 2000
ROUND_TRIP = f'''t0 = Timer
Set app = CreateObject("Tarvelo.Application")
t1 = Timer
For i = 1 To {CALLS}
  x = app.Sequence("Desk")
Next
t2 = Timer
WScript.Echo "connect " & ((t1 - t0) * 1000) & " ms; call " & ((t2 - t1) / {CALLS} * 1000000) & " us"
'''

base = tempfile.mkdtemp(prefix="tarvelo-script-bench-")
try:
    for d in ("Data/Tarvelo", "Config", "Scripts"):
        os.makedirs(f"{base}/{d}")
    open(f"{base}/Data/Tarvelo/Tarvelo.upe", "w", newline="").write(EXPORT)
    open(f"{base}/Scripts/Tarvelo.txt", "w", newline="").write(SCRIPT)
    open(f"{base}/Scripts/roundtrip.vbs", "w").write(ROUND_TRIP)
    sim = subprocess.Popen([f"{bindir}/tarvelo-pimsim", "--listen", "127.0.0.1:0", "--export",
                            f"{base}/Data/Tarvelo/Tarvelo.upe", "--fast"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, bufsize=1)
    pim_port = int(sim.stdout.readline().strip().rsplit(":", 1)[1])
    open(f"{base}/Config/Tarvelo.ini", "w", newline="").write(
        f"[UPB]\r\nSerialIP=127.0.0.1\r\nUPBCommPort={pim_port}\r\nHTTPPort=0\r\n"
        "UPB01_M07_C01_01=2026-12-05 22:14:09;0;False;True;;Desk;True;;\r\n")
    watch = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    watch.bind(("0.0.0.0", 0))
    log = open(f"{base}/gateway.log", "w")
    gw = subprocess.Popen([f"{bindir}/tarvelo", "--base", base, "--headless", "--xap-port",
                           str(watch.getsockname()[1])], stderr=log)
    for _ in range(600):
        if "running from" in open(f"{base}/gateway.log").read():
            break
        time.sleep(0.05)
    else:
        sys.exit("the gateway did not start; see " + f"{base}/gateway.log")

    def wait_for(needle, timeout=10):
        watch.settimeout(timeout)
        while True:
            data = watch.recv(65536).decode("latin-1")
            if needle in data:
                return time.perf_counter()

    event_to_main, press_to_main = [], []
    for i in range(20):
        state = "release" if i % 2 else "press"
        pressed = time.perf_counter()
        sim.stdin.write(f"{state} 7 2\n")
        event = wait_for(".UPB01_M07_C01_01.")
        script = wait_for("class=Bench.Script")
        event_to_main.append((script - event) * 1000)
        press_to_main.append((script - pressed) * 1000)

    def summary(values):
        return (f"median {statistics.median(values):.2f} ms, min {min(values):.2f}, "
                f"max {max(values):.2f} (n={len(values)})")
    print("state change event -> script's message:", summary(event_to_main))
    print("switch press command -> script's message:", summary(press_to_main))
    out = subprocess.run([f"{bindir}/tarvelo-vbs", f"{base}/Scripts/roundtrip.vbs"], capture_output=True,
                         text=True, timeout=120)
    print("tarvelo-vbs:", out.stdout.strip() or out.stderr.strip())
    gw.terminate(); gw.wait(30)
    sim.terminate(); sim.wait(10)
finally:
    shutil.rmtree(base, ignore_errors=True)
