#!/usr/bin/env python3
"""The gateway while its TCP serial bridge is down.

Starts tarvelo-pimsim and the gateway on a small installation, stops the
simulator, keeps its port bound but not listening (connections are refused
as by a dead bridge), and prints how often the gateway retried and how much
CPU it used meanwhile (it should wait, not spin); then starts the simulator
again on the same port and prints how long the gateway took to reconnect.

Usage: bench/pim_reconnect.py [BUILD_DIR] [DOWN_SECONDS]   (default: build 10)
"""
import os, queue, socket, subprocess, sys, tempfile, threading, time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
down = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
bindir = os.path.join(build, "bin")

def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime + stime

def start_sim(upe, port, extra=()):
    sim = subprocess.Popen([f"{bindir}/tarvelo-pimsim", "--listen", f"127.0.0.1:{port}", "--export", upe, "--fast",
                            *extra], stdout=subprocess.PIPE, text=True)
    line = sim.stdout.readline()
    if not line.startswith("listening "):
        raise RuntimeError(f"tarvelo-pimsim did not start: {line!r}")
    return sim, int(line.strip().rsplit(":", 1)[1])

def lines_of(stream, sink):
    for line in stream:
        sink.put((time.monotonic(), line.rstrip("\n")))

def wait_for(lines, text, timeout=60):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            at, line = lines.get(timeout=max(0.0, end - time.monotonic()))
        except queue.Empty:
            break
        if text in line:
            return at
    raise RuntimeError(f"no '{text}' within {timeout} s")

with tempfile.TemporaryDirectory(prefix="tarvelo-reconnect-") as base:
    os.makedirs(f"{base}/Data/Tarvelo")
    os.makedirs(f"{base}/Config")
    upe = f"{base}/Data/Tarvelo/Tarvelo.upe"
    open(upe, "w").write("0,5,0,1,1,0\r\n3,5,1,5,1,3,2,2,1,1,6,Room,Dimmer,0\r\n1\r\n")
    sim, port = start_sim(upe, 0)
    open(f"{base}/Config/Tarvelo.ini", "w").write(f"[UPB]\r\nSerialIP=127.0.0.1\r\nUPBCommPort={port}\r\n")
    # Its xAP traffic goes to a port of ours that nobody reads.
    sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sink.bind(("127.0.0.1", 0))
    gw = subprocess.Popen([f"{bindir}/tarvelo", "--base", base, "--headless", "--xap-port",
                           str(sink.getsockname()[1])], stderr=subprocess.PIPE, text=True)
    lines = queue.Queue()
    threading.Thread(target=lines_of, args=(gw.stderr, lines), daemon=True).start()
    try:
        wait_for(lines, "running from")
        sim.terminate()
        sim.wait(10)
        hold = socket.socket()
        hold.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        hold.bind(("127.0.0.1", port))
        wait_for(lines, "Connection Closed")
        cpu_before, t0 = cpu_seconds(gw.pid), time.monotonic()
        time.sleep(down)
        cpu_during, elapsed = cpu_seconds(gw.pid) - cpu_before, time.monotonic() - t0
        refused = gave_up = 0
        while not lines.empty():
            at, line = lines.get()
            if at < t0:
                continue
            refused += "10061" in line
            gave_up += "Unable to connect" in line
        print(f"bridge down {elapsed:.1f} s: {refused} refused connects ({refused / elapsed:.2f}/s; one every 2 s "
              f"while a connect is under way), {gave_up} give-ups (then a reconnect after 30 s, 60 s, ...)")
        print(f"gateway CPU while waiting: {cpu_during:.3f} s ({100 * cpu_during / elapsed:.2f} % of one core)")
        hold.close()
        t1 = time.monotonic()
        sim, _ = start_sim(upe, port)
        while True:
            line = sim.stdout.readline()
            if not line:
                raise RuntimeError("the restarted simulator ended")
            if " connected " in line:
                break
        print(f"reconnected {time.monotonic() - t1:.1f} s after the simulator came back")
    finally:
        gw.terminate()
        gw.wait(30)
        sim.terminate()
        sim.wait(10)
