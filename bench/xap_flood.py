#!/usr/bin/env python3
"""Memory and responsiveness of the real gateway under an xAP flood.

Starts tarvelo-pimsim and the gateway on an empty installation, sends 10000
datagrams of every shape (junk, 64 KB, CR LF, queries, commands) to the
gateway's xAP port within about a second, then checks that an echo is still
answered and prints the resident memory before and after.

Usage: bench/xap_flood.py [BUILD_DIR]   (default: build)
"""
import os, re, socket, subprocess, sys, tempfile, time

build = sys.argv[1] if len(sys.argv) > 1 else "build"
bindir = os.path.join(build, "bin")

def rss(pid):
    out = {}
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(("VmRSS", "VmHWM")):
            k, v = line.split(":"); out[k] = int(v.split()[0])
    return out

base = tempfile.mkdtemp(prefix="tarvelo-flood-")
os.makedirs(f"{base}/Data/Tarvelo"); os.makedirs(f"{base}/Config")
open(f"{base}/Data/Tarvelo/Tarvelo.upe", "w").write("0,5,0,0,1,0\r\n1\r\n")
# The simulator and our listener take ports of the system's choosing.
sim = subprocess.Popen([f"{bindir}/tarvelo-pimsim", "--listen", "127.0.0.1:0", "--export",
                        f"{base}/Data/Tarvelo/Tarvelo.upe", "--fast", "--quiet"], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL, text=True)
pim_port = int(sim.stdout.readline().strip().rsplit(":", 1)[1])
open(f"{base}/Config/Tarvelo.ini", "w").write(f"[UPB]\r\nSerialIP=127.0.0.1\r\nUPBCommPort={pim_port}\r\n")
listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
listener.bind(("0.0.0.0", 0)); listener.settimeout(0.2)
xap_port = listener.getsockname()[1]
log = open(f"{base}/gateway.log", "w")
gw = subprocess.Popen([f"{bindir}/tarvelo", "--base", base, "--headless", "--xap-port", str(xap_port)], stderr=log)
port = None
for _ in range(200):
    text = open(f"{base}/gateway.log").read()
    m = re.search(r"Using xAP port (\d+)", text)
    if m and "running from" in text:
        port = int(m.group(1)); break
    time.sleep(0.05)
before = rss(gw.pid)

tx = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sections = "xap-header\n{\nclass=x\n}\n" + "".join(f"s{i}\n{{\n}}\n" for i in range(1000))
junk = [b"", b"x" * 65000, bytes(range(256)), b"xap-header\r\n{\r\n}\r\n", sections.encode(),
        b"xap-header\n{\nclass=xAPBSC.cmd\nsource=a.b.c\ntarget=" + b"." * 500 + b"\n}\n",
        b"xap-header\n{\nclass=xAPBSC.query\nsource=a.b.c\ntarget=zantu.UPB.*:>\n}\nrequest\n{\n}\n",
        b"xap-header\n{\n}\ns\n{\na=1\na=2\n}\n"]
start = time.time()
for i in range(10000):
    tx.sendto(junk[i % len(junk)], ("127.0.0.1", port))
    if i % 1000 == 999:
        time.sleep(max(0, (i + 1) / 10000 - (time.time() - start)))
sent_in = time.time() - start
time.sleep(2)
after = rss(gw.pid)
echo = b"xap-header\n{\nclass=ZIZ.Echo\nsource=bench.flood.host\n}\nEcho.Query\n{\nQuery=PING\n}\n"
t0 = time.time(); tx.sendto(echo, ("127.0.0.1", port)); answered = None
while time.time() - t0 < 5:
    try:
        data, _ = listener.recvfrom(70000)
        if b"Response=ping" in data: answered = time.time() - t0; break
    except socket.timeout:
        pass
gw.terminate(); gw.wait(10); sim.terminate(); sim.wait(5)
print(f"flood: 10000 datagrams in {sent_in:.2f} s")
print(f"RSS before {before['VmRSS']} kB, after {after['VmRSS']} kB, peak {after['VmHWM']} kB")
print("echo after the flood: " + (f"answered in {answered*1000:.0f} ms" if answered else "NOT answered"))
lines = open(f"{base}/gateway.log").read().count("\n")
print(f"gateway exit code {gw.returncode}; {lines} log lines")
