#!/usr/bin/env python3
"""The web server under load, through the real listener of the real gateway
on the demo installation (with the PIM simulator): requests per second for
/stat with 4 concurrent clients on loopback, and the gateway's resident
memory before and after 10000 requests.

Usage: bench/web_load.py [BUILDDIR] [REQUESTS]   (default: build 2000; the
memory check then runs 4 x REQUESTS more)"""

import os
import sys
import threading
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "e2e"))
from gateway_env import DemoGateway, http  # noqa: E402

REQUEST = b"GET /stat HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: web_load\r\n\r\n"


def rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def run(port, total, clients):
    """`total` requests spread over `clients` threads; (seconds, failures, bytes of one answer)."""
    counts = [total // clients + (1 if i < total % clients else 0) for i in range(clients)]
    failures = [0] * clients
    size = [0]

    def client(i):
        for _ in range(counts[i]):
            try:
                answer = http(port, REQUEST)
                if not answer.startswith(b"HTTP/1.1 200 OK\r\n"):
                    failures[i] += 1
                size[0] = len(answer)
            except OSError:
                failures[i] += 1

    threads = [threading.Thread(target=client, args=(i,)) for i in range(clients)]
    start = time.monotonic()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return time.monotonic() - start, sum(failures), size[0]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    total = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    gw = DemoGateway(os.path.join(build, "bin"), os.path.join(here, ".."))
    try:
        gw.set_ini("ShowStatus", "1")
        gw.start_sim()
        port = gw.start_gateway()
        pid = gw.gateway.pid
        run(port, 200, 4)  # warm up
        before = rss_kb(pid)
        seconds, failed, size = run(port, total, 4)
        print("status page: %d bytes per answer" % size)
        print("/stat, 4 concurrent clients: %.0f requests/s (%d of %d failed)" % (total / seconds, failed, total))
        seconds, failed, _ = run(port, 4 * total, 4)
        after = rss_kb(pid)
        print("RSS after warm-up: %d KB; after %d more requests: %d KB (%+d KB; %d failed)" %
              (before, 5 * total, after, after - before, failed))
    finally:
        gw.close()


if __name__ == "__main__":
    main()
