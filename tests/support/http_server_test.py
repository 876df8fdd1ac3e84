#!/usr/bin/env python3
"""Checks the loopback test server: the download tests trust its faults to be exactly as asked."""

import http.client
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "http_server.py")


def poll(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.02)


class HttpServerTest(unittest.TestCase):
    def setUp(self):
        self.temp = tempfile.TemporaryDirectory()
        self.addCleanup(self.temp.cleanup)
        self.root = os.path.join(self.temp.name, "www")
        self.state = os.path.join(self.temp.name, "state")
        os.makedirs(self.root)
        os.makedirs(self.state)
        self.server = subprocess.Popen(
            [sys.executable, SERVER, "--root", self.root, "--state", self.state],
            stdin=subprocess.DEVNULL)
        port_file = os.path.join(self.state, "server.port")
        poll(lambda: self.server.poll() is not None or os.path.exists(port_file), 10,
             "server.port")
        self.assertIsNone(self.server.poll(), "the server exited while starting")
        with open(port_file) as f:
            self.port = int(f.read())
        self.body = os.urandom(300 * 1024 + 17)  # several send blocks, not a multiple of any
        self.put("dir/data.bin", self.body)

    def tearDown(self):
        if self.server.poll() is None:
            self.server.terminate()
            try:
                self.server.wait(5)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()

    def put(self, name, data):
        path = os.path.join(self.root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(data)

    def raw(self, target, method="GET"):
        """Sends one request; returns (status, headers, body) exactly as read up to EOF."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as sock:
            sock.sendall(f"{method} {target} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
            data = b""
            while chunk := sock.recv(65536):
                data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        headers = {k.lower(): v.strip() for k, _, v in (line.partition(":") for line in lines[1:])}
        return int(lines[0].split()[1]), headers, body

    def log(self):
        try:
            with open(os.path.join(self.state, "server.log"), encoding="utf-8") as log:
                return [json.loads(line) for line in log]
        except FileNotFoundError:
            return []

    def log_entry(self, query, timeout=5):
        """The first logged request with this query string."""
        def find():
            return next((entry for entry in self.log() if entry["query"] == query), None)
        return poll(find, timeout, f"a log entry for ?{query}")

    def test_serves_files_and_refuses_escapes(self):
        status, headers, body = self.raw("/dir/data.bin")
        self.assertEqual((status, body), (200, self.body))
        self.assertEqual(headers["connection"], "close")
        self.assertEqual(int(headers["content-length"]), len(self.body))
        self.assertEqual(self.log_entry(""), {
            "path": "/dir/data.bin", "query": "", "method": "GET", "status": 200,
            "bytes_sent": len(self.body), "complete": True, "client_closed": False})

        self.assertEqual(headers["content-type"], "application/octet-stream")
        self.put("page.html", "<p>쪽</p>".encode("utf-8"))
        status, headers, body = self.raw("/page.html")
        self.assertEqual((status, headers["content-type"]), (200, "text/html; charset=utf-8"))

        status, headers, body = self.raw("/dir/data.bin", "HEAD")
        self.assertEqual((status, int(headers["content-length"]), body), (200, len(self.body), b""))

        self.assertEqual(self.raw("/dir/missing.bin")[0], 404)
        self.assertEqual(self.raw("/dir")[0], 404)
        self.put("../secret.bin", b"secret")
        for escape in ("/../secret.bin", "/dir/../../secret.bin", "/%2e%2e/secret.bin"):
            status, _, body = self.raw(escape)
            self.assertNotIn(status, (200, 404), escape)
            self.assertNotIn(b"secret", body, escape)

    def test_error_status_and_redirect(self):
        for code in (404, 500):
            status, headers, body = self.raw(f"/dir/data.bin?status={code}")
            self.assertEqual(status, code)
            self.assertTrue(body, "an error page must have a body")
            self.assertEqual(int(headers["content-length"]), len(body))

        status, headers, _ = self.raw("/x?redirect=/dir/data.bin")
        self.assertEqual(status, 302)
        self.assertEqual(headers["location"], f"http://127.0.0.1:{self.port}/dir/data.bin")

    def test_partial_bodies(self):
        status, headers, body = self.raw("/dir/data.bin?cut=1000")
        self.assertEqual((status, body), (200, self.body[:1000]))
        self.assertEqual(int(headers["content-length"]), len(self.body))
        entry = self.log_entry("cut=1000")
        self.assertEqual((entry["bytes_sent"], entry["complete"], entry["client_closed"]),
                         (1000, False, False))

        # Without the client going away, a stall ends with the server closing short of the end.
        _, _, body = self.raw("/dir/data.bin?stall=0.1&stall_after=500")
        self.assertEqual(body, self.body[:500])
        self.assertFalse(self.log_entry("stall=0.1&stall_after=500")["complete"])

        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        connection.request("GET", "/dir/data.bin?chunked=1")
        response = connection.getresponse()
        self.assertIsNone(response.getheader("Content-Length"))
        self.assertEqual(response.getheader("Transfer-Encoding"), "chunked")
        self.assertEqual(response.read(), self.body)
        connection.close()

        self.put("small.bin", self.body[:5000])
        _, _, body = self.raw("/small.bin?trickle=700&delay=5")
        self.assertEqual(body, self.body[:5000])
        self.assertTrue(self.log_entry("trickle=700&delay=5")["complete"])

    def test_client_closing_during_stall_is_logged_promptly(self):
        sock = socket.create_connection(("127.0.0.1", self.port), timeout=10)
        sock.sendall(b"GET /dir/data.bin?stall=30&stall_after=100 HTTP/1.1\r\nHost: x\r\n\r\n")
        data = b""
        while not data.endswith(self.body[:100]):
            data += sock.recv(4096)
        sock.close()
        entry = self.log_entry("stall=30&stall_after=100", timeout=3)
        self.assertEqual((entry["bytes_sent"], entry["complete"], entry["client_closed"]),
                         (100, False, True))

    def test_refused_port_and_termination(self):
        with open(os.path.join(self.state, "refused.port")) as f:
            refused = int(f.read())
        self.assertNotEqual(refused, self.port)
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", refused), timeout=5).close()

        # A stalled transfer in progress must not keep the server alive.
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as sock:
            sock.sendall(b"GET /dir/data.bin?stall=60 HTTP/1.1\r\nHost: x\r\n\r\n")
            self.assertTrue(sock.recv(4096).startswith(b"HTTP/1.1 200"))
            self.server.send_signal(signal.SIGTERM)
            self.assertEqual(self.server.wait(5), 0)


if __name__ == "__main__":
    unittest.main()
