#!/usr/bin/python3
"""tools/reports against an access log written by a real nginx.

    reports_test.py [EXTRA_LOG]

A private nginx on 127.0.0.1 logs the report endpoint in the combined
format while the test sends it the reports of seven players byte for byte
as the program sends them (a Chinese version raw in UTF-8 and in GBK and
percent-encoded, the close report's comma as "%2C"); hostile lines are then
appended and the tables' numbers checked. EXTRA_LOG, when given, is a log of
the report endpoint from an end-to-end run: the tool must read it with no
malformed line and find a download started and completed in it.
"""
import hashlib
import os
import socket
import subprocess
import sys
import tempfile
import time
import unittest

TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "reports")
EXTRA_LOG = sys.argv.pop(1) if len(sys.argv) > 1 else None
REPORT = b"/events/qorn_download_tracka?"
NGINX_CONF = """
daemon off;
master_process off;
pid {base}/nginx.pid;
error_log {base}/error.log;
events {{ worker_connections 16; }}
http {{
    client_body_temp_path {base}/tmp;
    proxy_temp_path {base}/tmp;
    fastcgi_temp_path {base}/tmp;
    uwsgi_temp_path {base}/tmp;
    scgi_temp_path {base}/tmp;
    access_log {base}/access.log combined;
    server {{
        listen 127.0.0.1:{port};
        location /events/ {{ return 200 "ok"; }}
        location / {{ return 404; }}
    }}
}}
"""
V1 = b"1.0.0"
V2_UTF8 = "版本2".encode("utf-8")
V2_GBK = "版本2".encode("gbk")


def percent(raw):
    return b"".join(b"%%%02X" % b if b >= 0x80 else bytes([b]) for b in raw)


def uuid(name):
    return hashlib.md5(name.encode()).hexdigest().encode()


def start(who, ver):
    return b'uuid=%s&opname=start&costtime=0&rate=0&ext_info={"ver":"%s"}' % (uuid(who), ver)


def finish(who, minutes, rate, ver):
    return b'uuid=%s&opname=finish&costtime=%d&rate=%d&ext_info={"ver":"%s"}' % (uuid(who), minutes, rate, ver)


def close(who, minutes, rate, ver, mib):
    """As the blocking client sends it: the comma and every byte above 0x7F
    percent-encoded."""
    return (b'uuid=%s&opname=close&costtime=%d&rate=%d&ext_info={"ver":"%s"%%2C"updata":%d}'
            % (uuid(who), minutes, rate, percent(ver), mib))


# A played 1.0.0 to the end; B left at 72 %, C right after the start; F's
# start is in an older log. D finished 版本2 in one jump, so its 70 % band
# went out with rate 100 beside the finish; E left 版本2 at 30 %; I closed
# the program once and is downloading again.
PLAYERS = [
    start("A", V1), finish("A", 2, 31, V1), finish("A", 6, 55, V1), finish("A", 12, 100, V1),
    close("A", 14, 100, V1, 40),
    start("B", V1), finish("B", 4, 72, V1), close("B", 5, 75, V1, 3),
    start("C", V1), close("C", 0, 2, V1, 0),
    finish("F", 20, 100, V1),
    start("D", V2_UTF8), finish("D", 3, 100, V2_UTF8), finish("D", 3, 100, percent(V2_UTF8)),
    close("D", 4, 100, V2_GBK, 1),
    start("E", V2_GBK), finish("E", 1, 30, V2_GBK), close("E", 2, 45, V2_GBK, 2),
    start("I", V2_UTF8), close("I", 0, 12, V2_GBK, 0), finish("I", 1, 50, V2_UTF8),
]


def line(request, when="10/Dec/2026:09:00:00 +0000", agent=b"-"):
    return b'127.0.0.1 - - [%s] "%s" 200 2 "-" "%s"\n' % (when.encode(), request, agent)


def report_line(query, when="10/Dec/2026:09:00:00 +0000"):
    return line(b"GET " + REPORT + query.replace(b'"', b"\\x22") + b" HTTP/1.1", when)


HOSTILE = [
    report_line(b"uuid=" + b"A" * 200000 + b"&opname=start&costtime=0&rate=0&ext_info={}"),
    bytes(b for b in range(256) if b != 0x0A) + b"\n",
    line(b"GET " + REPORT + start("H", V1).replace(b'"', b"\\x22") + b" HTTP/1.1", agent=b'x" 200 "y'),
    report_line(start("H", V1), when="31/Feb/2026:09:00:00 +0000"),
    b"not an access log line\n",
    report_line(b"uuid=" + uuid("H") + b"&opname=start"),
    report_line(finish("H", 0, 50, V1).replace(b"costtime=0", b"costtime=-5")),
    report_line(finish("H", 18446744073709551615, 100, V1)),
    report_line(close("H", 1, 50, V1, 99999999999999999999)),
    report_line(start("H", V1).replace(b"opname=start", b"opname=drop")),
    report_line(finish("H", 1, 5, V1)),
    report_line(start("H", b"%1B[31m")),
]
# 23:30 UTC of the day before in the server's own time zone.
OLDER_START = report_line(start("G", V1), when="01/Jan/2026:07:30:00 +0800")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, limit=20.0):
    deadline = time.monotonic() + limit
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
    return True


def get(port, target):
    """Sends the target's bytes as they are: an HTTP library would encode
    them, the program does not."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(b"GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" % target)
        answer = b""
        while chunk := s.recv(4096):
            answer += chunk
    return answer.split(b"\r\n", 1)[0]


def nginx_log(base, targets):
    """The access log of a private nginx that answered `targets`."""
    os.makedirs(os.path.join(base, "tmp"))
    port = free_port()
    with open(os.path.join(base, "nginx.conf"), "w") as conf:
        conf.write(NGINX_CONF.format(base=base, port=port))
    nginx = subprocess.Popen(["nginx", "-p", base, "-c", os.path.join(base, "nginx.conf"), "-e",
                              os.path.join(base, "error.log")], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert wait_for(lambda: nginx.poll() is not None or can_connect(port)), "nginx did not start"
        assert nginx.poll() is None, open(os.path.join(base, "error.log")).read()
        answers = [get(port, target) for target in targets]
    finally:
        nginx.terminate()
        nginx.wait(timeout=30)
    with open(os.path.join(base, "access.log"), "rb") as log:
        return answers, log.read()


def can_connect(port):
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def run_tool(*args):
    return subprocess.run([TOOL, *args], capture_output=True, timeout=120)


def section(output, title):
    """The rows under a table's title, split into cells."""
    lines = output.decode("utf-8").splitlines()
    start = next(i for i, text in enumerate(lines) if text.startswith(title)) + 2
    rows = []
    for text in lines[start:]:
        if not text:
            break
        rows.append(text.split())
    return rows


class ReportsTest(unittest.TestCase):
    def test_tables_of_a_real_nginx_log_with_hostile_lines(self):
        with tempfile.TemporaryDirectory() as base:
            targets = [REPORT + q for q in PLAYERS] + [b"/favicon.ico", b"/events/other?uuid=x"]
            answers, log = nginx_log(base, targets)
            self.assertEqual(answers, [b"HTTP/1.1 200 OK"] * len(PLAYERS) + [b"HTTP/1.1 404 Not Found", b"HTTP/1.1 200 OK"])
            self.assertIn(b"{\\x22ver\\x22:\\x22\\xE7\\x89\\x88", log, "nginx escapes quotes and raw bytes")
            repeated = log.splitlines(keepends=True)[4]
            path = os.path.join(base, "reports.log")
            with open(path, "wb") as out:
                out.write(log + repeated + b"".join(HOSTILE) + OLDER_START)
            result = run_tool(path)
        self.assertEqual(result.returncode, 0, result.stderr)
        total = len(targets) + 1 + len(HOSTILE) + 1
        self.assertEqual(result.stdout.decode().splitlines()[0],
                         f"lines read: {total}, reports: 21, other requests: 2, malformed: 12, duplicate: 2")
        days = section(result.stdout, "Started and completed per day")
        self.assertEqual(days[0], ["2025-12-31", "1.0.0", "1", "0", "0"], "days are UTC days")
        self.assertEqual(sum_by_version(days[1:]), {"1.0.0": [3, 2, 43], "版本2": [3, 1, 3]})
        self.assertEqual(section(result.stdout, "Per version"), [
            ["1.0.0", "4", "2", "25.0%", "16", "43"],
            ["版本2", "3", "1", "33.3%", "3", "3"],
            ["(all)", "7", "3", "28.6%", "12", "46"]])
        self.assertEqual(section(result.stdout, "Where players left"), [
            ["1.0.0", "1", "0", "0", "1"], ["版本2", "0", "1", "0", "0"], ["(all)", "1", "1", "0", "1"]])

    def test_chart_extra_log_and_unreadable_log(self):
        with tempfile.TemporaryDirectory() as base:
            chart = os.path.join(base, "chart.png")
            drawn = subprocess.run([TOOL, "--png", chart], input=OLDER_START, capture_output=True, timeout=120)
            self.assertEqual(drawn.returncode, 0, drawn.stderr)
            with open(chart, "rb") as png:
                self.assertEqual(png.read(8), b"\x89PNG\r\n\x1a\n")
        missing = run_tool(os.path.join(base, "gone.log"))
        self.assertEqual((missing.returncode, missing.stdout), (2, b""))
        self.assertIn(b"cannot read", missing.stderr)
        if EXTRA_LOG:
            result = run_tool(EXTRA_LOG)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn(b"malformed: 0,", result.stdout)
            started, completed = section(result.stdout, "Per version")[-1][1:3]
            self.assertGreater(int(started), 0)
            self.assertGreater(int(completed), 0)


def sum_by_version(rows):
    sums = {}
    for _, ver, *numbers in rows:
        sums[ver] = [a + int(b) for a, b in zip(sums.get(ver, [0, 0, 0]), numbers)]
    return sums


if __name__ == "__main__":
    unittest.main(verbosity=2)
