#!/usr/bin/env python3
"""A configuration server that misbehaves on request, for the fault tests.

Binds 127.0.0.1 on a port the system picks (the control port), writes it to
PORT_FILE and serves until SIGTERM or IDLE_LIMIT seconds without a request.
Each test case gets a server of its own on a port of its own, so that one
case can take its server down while another runs.

Control port:
  PUT /cases/CASE/files/NAME    stores the body as NAME of the case
  GET /cases/CASE/open          starts the case's server; answers its port
  GET /cases/CASE/mode/MODE     switches the case's server to MODE
  GET /cases/CASE/hits/NAME     how many GETs /NAME on the case's server got
  GET /cases/CASE/close         stops the case's server for good
  GET /events/qorn_download_tracka?QUERY
                                a usage report: answered, and counted
  GET /reports                  how many usage reports arrived

Modes of a case's server (the faults of the description concern /server.cfg,
those of the torrent every other file):
  healthy       every stored file as it is
  down          nothing listens on the port
  404, 500      that status for the description
  hang          the description's request is read and never answered; the
                connection closes when the mode changes
  garbage       a few hundred bytes that are not JSON
  array         a JSON array instead of an object
  empty         200 with an empty body
  huge          several MB of binary noise
  torrent-html  an HTML page instead of the torrent
  torrent-truncated  the first half of the torrent, as a whole response
  torrent-cut   announces the whole torrent, sends half and closes
"""

import os
import random
import signal
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.dont_write_bytecode = True  # nothing compiled beside the sources
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "workflow"))
import workflow_server  # noqa: E402
HANG_LIMIT = 300
REPORT_PATH = "/events/qorn_download_tracka?"
DESCRIPTION = "server.cfg"

GARBAGE = b"<<garbage>> \x01\x02 not a description at all {{{ ]]] " * 8
ARRAY = b'["torrentUrl", "http://127.0.0.1/game.torrent"]'
HTML = (b"<!DOCTYPE html><html><head><title>502 Bad Gateway</title></head>"
        b"<body><h1>502 Bad Gateway</h1><hr>nginx</body></html>\n")
HUGE = random.Random(10).randbytes(6 << 20)

lock = threading.Lock()
cases = {}
report_count = [0]
last_request = [time.monotonic()]


def touch():
    last_request[0] = time.monotonic()


class Case:
    """One case's server: its files, its mode and its listener."""

    def __init__(self, name):
        self.name = name
        self.files = {}
        self.hits = {}
        self.mode = "healthy"
        self.port = 0
        self.server = None
        self.released = threading.Event()  # ends the hanging requests

    def listen(self):
        if self.server:
            return
        server = ThreadingHTTPServer(("127.0.0.1", self.port), CaseHandler)
        server.daemon_threads = True
        server.case = self
        self.port = server.server_address[1]
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.server = server

    def stop_listening(self):
        if not self.server:
            return
        server, self.server = self.server, None
        server.shutdown()
        server.server_close()

    def switch(self, mode):
        with lock:
            old_release, self.released = self.released, threading.Event()
            self.mode = mode
        old_release.set()
        if mode == "down":
            self.stop_listening()
        else:
            self.listen()


class QuietHandler(BaseHTTPRequestHandler):
    """Answers once per connection and logs nothing."""
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, length=None):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.close_connection = True


class CaseHandler(QuietHandler):

    def do_GET(self):
        touch()
        case = self.server.case
        name = self.path.lstrip("/")
        with lock:
            case.hits[name] = case.hits.get(name, 0) + 1
            mode = case.mode
            released = case.released
            body = case.files.get(name)
        if name == DESCRIPTION:
            faults = {"404": (404, b"not found"), "500": (500, b"internal error"),
                      "garbage": (200, GARBAGE), "array": (200, ARRAY), "empty": (200, b""),
                      "huge": (200, HUGE)}
            if mode == "hang":
                released.wait(HANG_LIMIT)
                self.close_connection = True
                return
            if mode in faults:
                return self.reply(*faults[mode])
        elif body is not None:
            if mode == "torrent-html":
                return self.reply(200, HTML)
            if mode == "torrent-truncated":
                return self.reply(200, body[:len(body) // 2])
            if mode == "torrent-cut":
                self.reply(200, body[:len(body) // 2], length=len(body))
                self.connection.shutdown(socket.SHUT_RDWR)
                return
        if body is None:
            return self.reply(404, b"missing")
        self.reply(200, body)


class ControlHandler(QuietHandler):
    def case(self, create=False):
        parts = self.path.split("/")  # "", "cases", CASE, verb, argument...
        if len(parts) < 4 or parts[1] != "cases":
            return None, None, None
        with lock:
            case = cases.get(parts[2])
            if case is None and create:
                case = cases[parts[2]] = Case(parts[2])
        return case, parts[3], "/".join(parts[4:])

    def do_PUT(self):
        touch()
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        case, verb, name = self.case(create=True)
        if case is None or verb != "files" or not name:
            return self.reply(404, b"unknown")
        with lock:
            case.files[name] = body
        self.reply(200, b"stored")

    def do_GET(self):
        touch()
        if self.path.startswith(REPORT_PATH):
            with lock:
                report_count[0] += 1
            return self.reply(200, b"ok")
        if self.path == "/reports":
            with lock:
                return self.reply(200, str(report_count[0]).encode())
        case, verb, argument = self.case(create=self.path.endswith("/open"))
        if case is None:
            return self.reply(404, b"unknown case")
        if verb == "open":
            case.switch(case.mode)
            return self.reply(200, str(case.port).encode())
        if verb == "mode" and argument:
            case.switch(argument)
            return self.reply(200, b"switched")
        if verb == "hits":
            with lock:
                return self.reply(200, str(case.hits.get(argument, 0)).encode())
        if verb == "close":
            case.switch("down")
            return self.reply(200, b"closed")
        self.reply(404, b"unknown")


def main():
    port_file = sys.argv[1]
    server = ThreadingHTTPServer(("127.0.0.1", 0), ControlHandler)
    server.daemon_threads = True

    def stop(*_):
        for case in list(cases.values()):
            case.released.set()
        threading.Thread(target=server.shutdown).start()

    signal.signal(signal.SIGTERM, stop)

    workflow_server.serve_until_idle(server, port_file, last_request, stop)


if __name__ == "__main__":
    main()
