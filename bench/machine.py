#!/usr/bin/python3
"""The machine a program benchmark ran on, for RESULTS.md.

    machine.py start MACHINE_JSON BUILD_DIR TORRENT WINE RUNS
    machine.py end MACHINE_JSON

start describes the machine, the versions of what ran, the game of TORRENT
and the load at the start; end adds the load at the end.
"""
import datetime
import json
import os
import re
import shutil
import subprocess
import sys

import libtorrent


def first_line(*command):
    try:
        return subprocess.run(command, capture_output=True, text=True).stdout.strip().splitlines()[0]
    except Exception:
        return "?"


def load():
    """As uptime shows it."""
    return ", ".join("%.2f" % value for value in os.getloadavg())


def cpu_model():
    with open("/proc/cpuinfo") as f:
        models = [line.split(":", 1)[1].strip() for line in f if line.startswith("model name")]
    return models[0] if models else "?"


def memory_gib():
    with open("/proc/meminfo") as f:
        return int(f.readline().split()[1]) / 1024 / 1024


def read(path):
    try:
        with open(path) as f:
            return f.read()
    except OSError:
        return ""


def our_libtorrent(build_dir):
    """The version of the libtorrent the build's kernel was linked with."""
    cache = read(os.path.join(build_dir, "CMakeCache.txt"))
    deps = re.search(r"^LibtorrentRasterbar_DIR:PATH=(.*)/lib/cmake/LibtorrentRasterbar$", cache, re.M)
    if not deps:
        return "?"
    version = re.search(r'define LIBTORRENT_VERSION "([^"]+)"',
                        read(os.path.join(deps.group(1), "include/libtorrent/version.hpp")))
    return version.group(1) if version else "?"


def start(machine_json, build_dir, torrent_path, wine, runs):
    torrent = libtorrent.torrent_info(torrent_path)
    machine = {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "cores": os.cpu_count(), "cpu": cpu_model(), "memory": "%.0f GiB" % memory_gib(),
        "debian": read("/etc/debian_version").strip(), "kernel": os.uname().release,
        "wine": first_line(wine, "--version"),
        "libtorrent_ours": our_libtorrent(build_dir), "libtorrent_python": libtorrent.__version__,
        "aria2": first_line("aria2c", "--version") if shutil.which("aria2c") else "not installed",
        "load_start": load(), "load_end": "",
        "size": torrent.total_size(), "files": torrent.num_files(), "piece": torrent.piece_length(),
        "runs": int(runs),
    }
    with open(machine_json, "w") as f:
        json.dump(machine, f)


def end(machine_json):
    with open(machine_json) as f:
        machine = json.load(f)
    machine["load_end"] = load()
    with open(machine_json, "w") as f:
        json.dump(machine, f)


if __name__ == "__main__":
    if len(sys.argv) == 7 and sys.argv[1] == "start":
        start(*sys.argv[2:])
    elif len(sys.argv) == 3 and sys.argv[1] == "end":
        end(sys.argv[2])
    else:
        sys.exit(__doc__)
