#!/usr/bin/env python3
"""The configuration server and report collector of the workflow tests.

Binds 127.0.0.1 on a port the system picks, writes the port to PORT_FILE
and serves until SIGTERM or IDLE_LIMIT seconds without a request.

  PUT /files/NAME...            stores the body under NAME
  GET /files/NAME...            the stored body (404 when none)
  GET /hits/NAME...             how many GETs /files/NAME got
  GET /events/qorn_download_tracka?QUERY
                                a usage report: the raw query is kept under
                                the value of its uuid; for a uuid that starts
                                with "slow" the answer takes SLOW_ANSWER
                                seconds, and the query is kept only when the
                                client still waits for it by then
  GET /reports/UUID             the kept queries of UUID, one per line
  GET /announce?QUERY           a tracker announce: the raw query is kept and
                                the answer names no peers (libtorrent asks a
                                tracker on loopback only at this path)
  GET /announces                the kept announce queries, one per line
"""

import os
import select
import signal
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

IDLE_LIMIT = 900
REPORT_PATH = "/events/qorn_download_tracka?"
ANNOUNCE_PATH = "/announce?"
NO_PEERS = b"d8:intervali1800e5:peers0:e"
SLOW_ANSWER = 1.0

lock = threading.Lock()
files = {}
hits = {}
reports = {}
announces = []
last_request = [time.monotonic()]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True

    def client_gone(self):
        """Whether the client has closed its end: a program that ended
        before the answer came."""
        try:
            readable, _, _ = select.select([self.connection], [], [], 0)
            return bool(readable) and self.connection.recv(1, socket.MSG_PEEK) == b""
        except OSError:
            return True

    def do_PUT(self):
        last_request[0] = time.monotonic()
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if not self.path.startswith("/files/"):
            return self.reply(404, b"")
        with lock:
            files[self.path[len("/files/"):]] = body
        self.reply(200, b"stored")

    def do_GET(self):
        last_request[0] = time.monotonic()
        path = self.path
        if path.startswith(REPORT_PATH):
            query = path[len(REPORT_PATH):]
            uuid = query.split("&", 1)[0].partition("uuid=")[2]
            if uuid.startswith("slow"):
                time.sleep(SLOW_ANSWER)
                if self.client_gone():
                    return
            with lock:
                reports.setdefault(uuid, []).append(query)
            return self.reply(200, b"ok")
        if path.startswith(ANNOUNCE_PATH):
            with lock:
                announces.append(path[len(ANNOUNCE_PATH):])
            return self.reply(200, NO_PEERS)
        if path == "/announces":
            with lock:
                kept = list(announces)
            return self.reply(200, "".join(q + "\n" for q in kept).encode("latin-1"))
        if path.startswith("/files/"):
            name = path[len("/files/"):]
            with lock:
                hits[name] = hits.get(name, 0) + 1
                body = files.get(name)
            return self.reply(200, body) if body is not None else self.reply(404, b"missing")
        if path.startswith("/hits/"):
            with lock:
                count = hits.get(path[len("/hits/"):], 0)
            return self.reply(200, str(count).encode())
        if path.startswith("/reports/"):
            with lock:
                kept = list(reports.get(path[len("/reports/"):], []))
            return self.reply(200, "".join(q + "\n" for q in kept).encode("latin-1"))
        self.reply(404, b"unknown")


def serve_until_idle(server, port_file, last_request, stop):
    """Tells the port through `port_file` (whole or not at all) and serves
    until `stop` runs: on SIGTERM elsewhere, or here once no request came for
    IDLE_LIMIT seconds, should a test run be cut short."""
    def idle_watch():
        while True:
            time.sleep(5)
            if time.monotonic() - last_request[0] > IDLE_LIMIT:
                stop()
                return

    threading.Thread(target=idle_watch, daemon=True).start()
    with open(port_file + ".tmp", "w") as out:
        out.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)
    server.serve_forever()


def main():
    port_file = sys.argv[1]
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())

    serve_until_idle(server, port_file, last_request, server.shutdown)


if __name__ == "__main__":
    main()
