#!/usr/bin/env python3
"""Loopback HTTP/1.1 server for the download tests, with faults chosen per request.

    http_server.py --root DIR --state DIR

Serves the files below --root (GET and HEAD): .html pages as UTF-8 HTML, every other file as
application/octet-stream. Writes into --state:
  refused.port  a loopback port on which every connection is refused
  server.port   the listening port; written last, once the server accepts connections
  server.log    one JSON object per request, written when the request ends

Faults, from the query string (they combine where that makes sense):
  status=CODE          answer CODE (>= 400) with a small HTML page instead of the file
  redirect=/path       answer 302 to http://127.0.0.1:PORT/path (an absolute URL is used as is)
  cut=N                announce the whole body, send only its first N bytes, then close
  stall=S              after stall_after=N body bytes (default 0) send nothing for S seconds,
                       then close; ends early when the client goes away
  trickle=N, delay=MS  send the body in N-byte pieces, MS milliseconds apart
  chunked=1            Transfer-Encoding: chunked instead of Content-Length
A file NAME.faults beside a served file holds faults for it in the same query form, used when
the request names none: for clients that cannot put "=" in an address (update descriptions).
Every response carries Connection: close.
"""

import argparse
import http.server
import io
import json
import os
import select
import signal
import socket
import sys
import threading
import time
import urllib.parse

BLOCK = 64 * 1024
CHUNK = 8 * 1024
# How often a waiting sender looks whether the client has gone; short so that an abort by the
# client is logged soon after it happens.
POLL_SECONDS = 0.05

# A page must come as HTML for a browser to show it; every other file goes as bytes, which is all
# the control's downloads need.
BINARY = "application/octet-stream"
CONTENT_TYPES = {".html": "text/html; charset=utf-8", ".htm": "text/html; charset=utf-8"}

CLIENT_GONE = (BrokenPipeError, ConnectionResetError, ConnectionAbortedError)


class BadQuery(Exception):
    pass


class Faults:
    def __init__(self, query):
        values = urllib.parse.parse_qs(query, keep_blank_values=True)

        def number(name, kind, default=None):
            if name not in values:
                return default
            try:
                value = kind(values[name][-1])
            except ValueError:
                raise BadQuery(f"{name} is not a number") from None
            if value < 0:
                raise BadQuery(f"{name} is negative")
            return value

        self.status = number("status", int)
        if self.status is not None and not 400 <= self.status <= 599:
            raise BadQuery("status must be an error code")
        self.redirect = values.get("redirect", [None])[-1]
        self.cut = number("cut", int)
        self.stall = number("stall", float)
        self.stall_after = number("stall_after", int, 0)
        self.trickle = number("trickle", int)
        if self.trickle == 0:
            raise BadQuery("trickle must be positive")
        self.delay = number("delay", float, 0.0) / 1000.0
        self.chunked = values.get("chunked", ["0"])[-1] not in ("", "0")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "qxTestServer/1"

    def do_GET(self):
        self.serve(send_body=True)

    def do_HEAD(self):
        self.serve(send_body=False)

    def log_message(self, format, *args):
        # server.log is the record tests read; the usual access log to stderr is only noise.
        pass

    def serve(self, send_body):
        self.close_connection = True
        split = urllib.parse.urlsplit(self.path)
        self.record = {
            "path": urllib.parse.unquote(split.path),
            "query": split.query,
            "method": self.command,
            "status": 0,
            "bytes_sent": 0,
            "complete": False,
            "client_closed": False,
        }
        try:
            self.answer(split, send_body)
        except CLIENT_GONE:
            self.record["client_closed"] = True
        finally:
            self.server.write_log(self.record)

    def answer(self, split, send_body):
        query = split.query
        if not query:
            sidecar, _ = self.server.resolve(self.record["path"] + ".faults")
            if sidecar is not None:
                with open(sidecar, encoding="ascii") as text:
                    query = text.read().strip()
        try:
            faults = Faults(query)
        except BadQuery as problem:
            return self.send_page(400, str(problem), None, send_body)
        if faults.status is not None:
            return self.send_page(faults.status, f"error {faults.status}", faults, send_body)
        if faults.redirect is not None:
            target = faults.redirect
            if target.startswith("/"):
                target = f"http://127.0.0.1:{self.server.server_address[1]}{target}"
            return self.send_page(302, "moved", faults, send_body, [("Location", target)])
        path, refused = self.server.resolve(self.record["path"])
        if refused:
            return self.send_page(403, "error 403", None, send_body)
        if path is None:
            return self.send_page(404, "error 404", None, send_body)
        with open(path, "rb") as body:
            self.send_body(200, body, os.fstat(body.fileno()).st_size, faults, send_body, [],
                           content_type=CONTENT_TYPES.get(os.path.splitext(path)[1].lower(), BINARY))

    def send_page(self, status, text, faults, send_body, headers=()):
        page = f"<html><body>{text}</body></html>\n".encode()
        self.send_body(status, io.BytesIO(page), len(page), faults or Faults(""), send_body,
                       list(headers), content_type="text/html")

    def send_body(self, status, body, size, faults, send_body, headers,
                  content_type=BINARY):
        self.record["status"] = status
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if faults.chunked:
            self.send_header("Transfer-Encoding", "chunked")
        else:
            self.send_header("Content-Length", str(size))
        self.send_header("Connection", "close")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if not send_body:
            self.record["complete"] = True
            return

        # Everything up to `stop` goes out; a stall happens there, a cut ends the response there.
        stop = size
        if faults.cut is not None:
            stop = min(stop, faults.cut)
        if faults.stall is not None:
            stop = min(stop, faults.stall_after)
        piece_size = faults.trickle or (CHUNK if faults.chunked else BLOCK)
        sent = 0
        while sent < stop:
            if sent and faults.trickle and self.wait_for_client_gone(faults.delay):
                return
            data = body.read(min(piece_size, stop - sent))
            if not data:
                break  # the file shrank under us; what was sent stays incomplete
            if faults.chunked:
                self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))
            else:
                self.wfile.write(data)
            sent += len(data)
            self.record["bytes_sent"] = sent
        if sent == size:
            if faults.chunked:
                self.wfile.write(b"0\r\n\r\n")
            self.record["complete"] = True
        if faults.stall is not None:
            self.wait_for_client_gone(faults.stall)

    def wait_for_client_gone(self, seconds):
        """Waits up to `seconds`; true (and recorded) as soon as the client closes or resets."""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return False
            readable, _, _ = select.select([self.connection], [], [], min(left, POLL_SECONDS))
            if not readable:
                continue
            try:
                data = self.connection.recv(4096)
            except CLIENT_GONE:
                data = b""
            if not data:
                self.record["client_closed"] = True
                return True


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, root, state):
        super().__init__(("127.0.0.1", 0), Handler)
        self.root = os.path.realpath(root)
        self.log_path = os.path.join(state, "server.log")
        self.log_lock = threading.Lock()

    def resolve(self, url_path):
        """Returns (file path or None, refused) for a decoded URL path."""
        parts = [part for part in url_path.split("/") if part]
        if ".." in parts or "\0" in url_path:
            return None, True
        path = os.path.realpath(os.path.join(self.root, *parts))
        if os.path.commonpath([self.root, path]) != self.root:
            return None, True
        return (path if os.path.isfile(path) else None), False

    def write_log(self, record):
        line = json.dumps(record, ensure_ascii=False) + "\n"
        with self.log_lock, open(self.log_path, "a", encoding="utf-8") as log:
            log.write(line)
            log.flush()


def write_atomically(path, text):
    temporary = path + ".tmp"
    with open(temporary, "w") as out:
        out.write(text)
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--state", required=True)
    args = parser.parse_args()

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    server = Server(args.root, args.state)
    # Kept bound but never listening for the server's whole life: connections to it are refused,
    # and no other socket can take the port meanwhile.
    refused = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refused.bind(("127.0.0.1", 0))
    write_atomically(os.path.join(args.state, "refused.port"), f"{refused.getsockname()[1]}\n")
    write_atomically(os.path.join(args.state, "server.port"), f"{server.server_address[1]}\n")
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
        refused.close()


if __name__ == "__main__":
    main()
