#!/usr/bin/env python3
"""Bad input through the real listener of the real gateway: every request gets
the specified answer or the "not found" page, nothing outside the HTML
folder is read, no typed text reaches a page unescaped, and the server keeps
serving.

Usage: web_bad_input_e2e.py BINDIR SRCDIR"""

import os
import socket
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from gateway_env import DemoGateway, http  # noqa: E402

NOT_FOUND = b"HTTP/1.1 200 Object Not Found\r\n"
MISSING_IMAGE = b"HTTP/1.1 404 Not Found\r\n"


def expect(cond, what):
    if not cond:
        raise AssertionError(what)
    print("ok -", what)


def get(path):
    return ("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path).encode("latin-1")


def post(body):
    body = body.encode("latin-1")
    return b"POST /stat HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n%s" % (len(body), body)


def serving(port):
    answer = http(port, get("/stat"))
    return answer.startswith(b"HTTP/1.1 200 OK\r\n") and b"UPB Status" in answer


def main():
    bindir, srcdir = sys.argv[1], sys.argv[2]
    gw = DemoGateway(bindir, srcdir)
    try:
        # A file beside the HTML folder that no request may reach.
        with open(os.path.join(gw.base, "secret.css"), "w") as f:
            f.write("SECRET")
        gw.set_ini("ShowStatus", "1")
        gw.start_sim()
        port = gw.start_gateway(ready=False)
        expect(serving(port), "the status page is served during start-up")

        for path in ["/../secret.css", "/images/..%2F..%2Fsecret.css", "/%2e%2e/%2e%2e/secret.css",
                     "/..\\..\\secret.css", "/stylenobody.css%00.gif", "/x%", "/favicon.ico", "/", "/index.htm"]:
            answer = http(port, get(path))
            expect((answer.startswith(NOT_FOUND) or answer.startswith(MISSING_IMAGE)) and b"SECRET" not in answer,
                   "not found: %s" % path)

        answer = http(port, b"GET /stat HTTP/1.0\r\nHost: x")
        expect(answer.startswith(b"HTTP/1.1 200 OK\r\n"), "headers without a blank line are answered after the limit")

        many = b"GET /stat HTTP/1.1\r\n" + b"".join(b"X-%d: v\r\n" % i for i in range(10000)) + b"\r\n"
        expect(http(port, many).startswith(b"HTTP/1.1 200 OK\r\n"), "ten thousand headers are served")

        big = b"GET /stat HTTP/1.1\r\nX-Pad: " + b"a" * (1100 * 1024) + b"\r\n\r\n"
        try:
            answer = http(port, big)
        except (ConnectionResetError, BrokenPipeError):
            answer = NOT_FOUND  # cut while still sending: the answer was the same
        expect(answer.startswith(NOT_FOUND), "a request over 1 MB gets the not-found page")

        # Posts naming unknown components change nothing and still draw the page.
        for body in ["clientinput=Q999&clientvalue=ON", "clientinput=V999&clientvalue=On",
                     "clientinput=DR77&clientvalue=ON", "clientinput=%00%01&clientvalue=%FF"]:
            expect(http(port, post(body)).startswith(b"HTTP/1.1 200 OK\r\n"), "unknown component: %s" % body)

        # Typed text comes back escaped.
        http(port, post("clientinput=yes&UpdateButton=Save&ShowStatus=2&ShownStatus=2"))
        page = http(port, get("/stat")).decode("latin-1")
        uid = page.split("name='Tag", 1)[1].split("'", 1)[0]
        http(port, post("clientinput=yes&UpdateButton=Save&ShowStatus=2&ShownStatus=2&ShownRows=%s&Used%s=1&Tag%s="
                        "%%3Cscript%%3Ealert(1)%%3C%%2Fscript%%3E" % (uid, uid, uid)))
        page = http(port, get("/stat"))
        expect(b"<script>alert(1)" not in page and b"&lt;script&gt;alert(1)&lt;/script&gt;" in page,
               "a typed tag is escaped on the page")

        # A client that stops reading in the middle of an image holds nobody up.
        stuck = socket.create_connection(("127.0.0.1", port))
        stuck.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        stuck.sendall(get("/Help/Tarvelo/Tarvelo_files/status.png"))
        time.sleep(0.5)
        expect(serving(port), "others are served while a client does not read an image")

        # 200 connections at once: every one is answered or cut (and may retry).
        results = []
        lock = threading.Lock()

        def one():
            try:
                answer = http(port, get("/stat"), timeout=60)
                ok = answer.startswith(b"HTTP/1.1 200 OK\r\n") or (None if answer == b"" else False)
            except OSError:
                ok = None  # cut by the saturation reset
            with lock:
                results.append(ok)

        threads = [threading.Thread(target=one) for _ in range(200)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(120)
        expect(len(results) == 200 and False not in results,
               "200 simultaneous connections: %d answered, %d cut" % (results.count(True), results.count(None)))
        stuck.close()
        expect(serving(port), "the server keeps serving")
        expect(gw.gateway.poll() is None, "the gateway is still running")
        print("all passed")
        return 0
    finally:
        gw.close()


if __name__ == "__main__":
    sys.exit(main())
