#!/usr/bin/env python3
"""Powerline timing of the real PIM simulator.

Starts tarvelo-pimsim at real powerline timing (--time-scale 1) on a loopback
port of its choosing, sends UPB frames of two lengths one at a time, and
prints how long the "PA" and the "PK" took beside what the powerline takes:
((n + 1) x 4 + 1) half-cycles for a packet of n bytes.

Usage: bench/pim_timing.py [BUILD_DIR] [FRAMES]   (default: build 10)
"""
import os, socket, statistics, subprocess, sys, tempfile, time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
count = int(sys.argv[2]) if len(sys.argv) > 2 else 10
bindir = os.path.join(build, "bin")

def checksum(hex_text):
    return "%02X" % ((256 - sum(bytes.fromhex(hex_text))) & 0xFF)

def frame(packet):
    return b"\x14" + (packet + checksum(packet)).encode() + b"\r"

# Dimmer 5 holds link 1; both packets ask for an acknowledgement.
export = "0,5,1,1,1,0\r\n2,1,Evening\r\n3,5,1,5,1,3,2,2,1,1,6,Room,Dimmer,0\r\n4,0,0,5,1,100,3\r\n1\r\n"
packets = {7: "87100101FF20", 9: "09100105FF222800"}  # link 1 on; goto 40 % to device 5

def run(mains):
    with tempfile.TemporaryDirectory(prefix="tarvelo-pimtiming-") as base:
        upe = os.path.join(base, "t.upe")
        open(upe, "w").write(export)
        sim = subprocess.Popen([f"{bindir}/tarvelo-pimsim", "--listen", "127.0.0.1:0", "--export", upe,
                                "--time-scale", "1", "--mains", str(mains), "--quiet"],
                               stdout=subprocess.PIPE, text=True)
        try:
            line = sim.stdout.readline()
            port = int(line.strip().rsplit(":", 1)[1])
            s = socket.create_connection(("127.0.0.1", port), timeout=10)
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            pending = b""

            def next_line():
                nonlocal pending
                while b"\r" not in pending:
                    data = s.recv(256)
                    if not data:
                        raise RuntimeError("the simulator closed the connection")
                    pending += data
                text, _, pending = pending.partition(b"\r")
                return text.decode()

            for n, packet in packets.items():
                pa, pk = [], []
                for _ in range(count):
                    t0 = time.perf_counter()
                    s.sendall(frame(packet))
                    first = next_line()
                    t1 = time.perf_counter()
                    if first != "PA":
                        raise RuntimeError(f"expected PA, got {first!r}")
                    second = next_line()
                    t2 = time.perf_counter()
                    if second != "PK":
                        raise RuntimeError(f"expected PK, got {second!r}")
                    pa.append((t1 - t0) * 1000)
                    pk.append((t2 - t0) * 1000)
                expected = ((n + 1) * 4 + 1) * 1000 / (2 * mains)
                print(f"{mains} Hz, {n}-byte packet, {count} frames: PA after {statistics.mean(pa):.1f} ms "
                      f"(max {max(pa):.1f}); PK after {statistics.mean(pk):.1f} ms "
                      f"(min {min(pk):.1f}, max {max(pk):.1f}); powerline {expected:.1f} ms")
            s.close()
        finally:
            sim.terminate()
            sim.wait(10)

for mains in (60, 50):
    run(mains)
