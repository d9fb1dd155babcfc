#!/usr/bin/env python3
"""The scripted HTTP server of the transfer tests.

Binds 127.0.0.1 on a port the system picks, writes the port to PORT_FILE
(through a rename, so a reader never sees half of it) and serves until it
gets SIGTERM or has been idle for IDLE_LIMIT seconds, so that a run that is
cut short never leaves it behind.

Paths (query parameters in brackets):
  /bytes/NAME[size,status,seed] size bytes of a fixed pattern, with Content-Length
  /echo/NAME                    the request line's path and the Range header, as text
  /status/CODE                  that status with a short body
  /redirect-to-404              302 to /status/404
  /chunked/NAME[size]           chunked body without Content-Length
  /empty                        200 with Content-Length 0
  /truncated[size,send]         announces size bytes, sends `send`, closes
  /hang/TOKEN                   reads the request and never answers
  /slow[size,piece,delay_ms]    sends the body in pieces with pauses
  /record/TOKEN...              remembers the raw path under TOKEN
  /seen/TOKEN                   the remembered path (404 when none)
  /hits/TOKEN                   how many requests /hang/TOKEN or /record/TOKEN got
"""

import os
import signal
import socketserver
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

IDLE_LIMIT = 900
HANG_LIMIT = 120

state_lock = threading.Lock()
seen_paths = {}
hit_counts = {}
last_request = [time.monotonic()]
stopping = threading.Event()


def pattern(size, seed=0):
    block = bytes((seed + i) % 256 for i in range(256))
    return (block * (size // 256 + 1))[:size]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def count_hit(self, token):
        with state_lock:
            hit_counts[token] = hit_counts.get(token, 0) + 1

    def reply(self, status, body, extra=()):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True

    def do_GET(self):
        last_request[0] = time.monotonic()
        parts = urlsplit(self.path)
        query = {k: v[-1] for k, v in parse_qs(parts.query).items()}
        segments = parts.path.strip("/").split("/")
        route = segments[0]
        arg = segments[1] if len(segments) > 1 else ""
        size = int(query.get("size", "0"))

        if route == "bytes":
            status = int(query.get("status", "200"))
            extra = [("Content-Range", "bytes 0-%d/%d" % (size - 1, size))] if status == 206 else []
            self.reply(status, pattern(size, int(query.get("seed", "0"))), extra)
        elif route == "echo":
            text = "path=%s\nrange=%s\n" % (self.path, self.headers.get("Range", ""))
            self.reply(200, text.encode("latin-1"))
        elif route == "status":
            self.reply(int(arg), ("status %s\n" % arg).encode())
        elif route == "redirect-to-404":
            self.reply(302, b"moved\n", [("Location", "/status/404")])
        elif route == "chunked":
            self.send_chunked(pattern(size))
        elif route == "empty":
            self.reply(200, b"")
        elif route == "truncated":
            self.send_truncated(size, int(query.get("send", "0")))
        elif route == "hang":
            self.count_hit(arg)
            stopping.wait(HANG_LIMIT)
            self.close_connection = True
        elif route == "slow":
            self.send_slowly(size, int(query.get("piece", "64")), int(query.get("delay_ms", "100")))
        elif route == "record":
            self.count_hit(arg)
            with state_lock:
                seen_paths[arg] = self.path
            self.reply(200, b"recorded\n")
        elif route == "seen":
            with state_lock:
                path = seen_paths.get(arg)
            self.reply(404, b"") if path is None else self.reply(200, path.encode("latin-1"))
        elif route == "hits":
            with state_lock:
                count = hit_counts.get(arg, 0)
            self.reply(200, str(count).encode())
        else:
            self.reply(404, b"unknown\n")

    def send_chunked(self, body):
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        try:
            for start in range(0, len(body), 65536):
                piece = body[start:start + 65536]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        except OSError:
            pass  # the client gave up on a body too large for it

    def send_truncated(self, size, send):
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(pattern(size)[:send])
        self.wfile.flush()
        self.close_connection = True

    def send_slowly(self, size, piece, delay_ms):
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.send_header("Connection", "close")
        self.end_headers()
        body = pattern(size)
        try:
            for start in range(0, size, piece):
                self.wfile.write(body[start:start + piece])
                self.wfile.flush()
                if stopping.wait(delay_ms / 1000.0):
                    break
        except OSError:
            pass  # the client went away
        self.close_connection = True


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False


def main():
    port_file = sys.argv[1]
    server = Server(("127.0.0.1", 0), Handler)
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    signal.signal(signal.SIGINT, lambda *_: stopping.set())

    def watch():
        while not stopping.wait(1.0):
            if time.monotonic() - last_request[0] > IDLE_LIMIT:
                stopping.set()
        server.shutdown()

    temporary = port_file + ".tmp"
    with open(temporary, "w") as out:
        out.write("%d\n" % server.server_address[1])
    os.replace(temporary, port_file)
    threading.Thread(target=watch, daemon=True).start()
    server.serve_forever(poll_interval=0.2)
    server.server_close()


if __name__ == "__main__":
    main()
