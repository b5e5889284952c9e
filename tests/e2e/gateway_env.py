"""The real gateway on the demo installation, with the real PIM simulator, for
the end-to-end tests of the web pages. Everything listens on ports the
programs choose themselves; the tests wait on what the programs print."""

import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time


class Output:
    """Collects a child's output lines in the background."""

    def __init__(self, stream):
        self.lines = []
        self._lock = threading.Lock()
        self._thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self._thread.start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            with self._lock:
                self.lines.append(raw.decode("latin-1").rstrip("\r\n"))

    def text(self):
        with self._lock:
            return "\n".join(self.lines)

    def wait_for(self, pattern, timeout=60, process=None):
        """The first match of a regular expression, waiting up to `timeout` s."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            m = re.search(pattern, self.text())
            if m:
                return m
            if process is not None and process.poll() is not None:
                break
            time.sleep(0.05)
        raise AssertionError("no %r within %ss in:\n%s" % (pattern, timeout, self.text()[-4000:]))


def free_udp_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class DemoGateway:
    """The demo installation copied to a temporary folder, the PIM simulator,
    and the gateway on a free HTTP port."""

    def __init__(self, bindir, srcdir):
        self.bindir = bindir
        self.srcdir = srcdir
        self.base = tempfile.mkdtemp(prefix="tarvelo-web-e2e-")
        shutil.copytree(os.path.join(srcdir, "data", "demo"), self.base, dirs_exist_ok=True)
        self.sim = None
        self.gateway = None
        self.port = None
        self.xap_port = free_udp_port()

    def ini_path(self):
        return os.path.join(self.base, "Config", "Tarvelo.ini")

    def set_ini(self, key, value):
        path = self.ini_path()
        with open(path, "rb") as f:
            text = f.read().decode("latin-1")
        text, n = re.subn(r"(?m)^%s=.*$" % re.escape(key), "%s=%s\r" % (key, value), text)
        if n == 0:
            text = text.replace("[UPB]\r\n", "[UPB]\r\n%s=%s\r\n" % (key, value), 1)
        with open(path, "wb") as f:
            f.write(text.encode("latin-1"))

    def start_sim(self):
        self.sim = subprocess.Popen(
            [os.path.join(self.bindir, "tarvelo-pimsim"), "--listen", "127.0.0.1:0", "--export",
             os.path.join(self.base, "Data", "Tarvelo", "Tarvelo.upe"), "--rain8", "9", "--fast"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.sim_out = Output(self.sim.stdout)
        port = int(self.sim_out.wait_for(r"listening 127\.0\.0\.1:(\d+)", process=self.sim).group(1))
        self.set_ini("SerialIP", "127.0.0.1")
        self.set_ini("UPBCommPort", str(port))
        self.set_ini("HTTPPort", "0")

    def start_gateway(self, ready=True):
        self.gateway = subprocess.Popen(
            [os.path.join(self.bindir, "tarvelo"), "--base", self.base, "--headless", "--xap-port", str(self.xap_port)],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.out = Output(self.gateway.stdout)
        self.port = int(self.out.wait_for(r"Web server listening on port (\d+)", process=self.gateway).group(1))
        if ready:
            # Start-up polls every module once; commands wait behind them.
            self.out.wait_for(r"tarvelo: running from", timeout=180, process=self.gateway)
        return self.port

    def stop_gateway(self):
        if self.gateway and self.gateway.poll() is None:
            self.gateway.send_signal(signal.SIGTERM)
            try:
                self.gateway.wait(30)
            except subprocess.TimeoutExpired:
                self.gateway.kill()
                self.gateway.wait()
        code = self.gateway.returncode if self.gateway else 0
        self.gateway = None
        return code

    def url(self, path="/stat"):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def close(self):
        self.stop_gateway()
        if self.sim and self.sim.poll() is None:
            self.sim.terminate()
            try:
                self.sim.wait(10)
            except subprocess.TimeoutExpired:
                self.sim.kill()
        shutil.rmtree(self.base, ignore_errors=True)


def http(port, raw, timeout=30, read=True):
    """Sends raw bytes to the server and reads the answer until it closes."""
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    try:
        s.sendall(raw)
        if not read:
            return b""
        chunks = []
        while True:
            data = s.recv(65536)
            if not data:
                break
            chunks.append(data)
        return b"".join(chunks)
    finally:
        s.close()
