#!/usr/bin/python3
"""A publisher on this machine, as docs/publishing.md has one: two versions of
a game published with tools/publish, served by nginx and opentracker with
the configurations the tool wrote, for the update test.

    publisher.py start DIR GAME_EXE
        builds version 1.0.0 of "KorvaneGame" (bin/game.exe is GAME_EXE) and
        version 2.0.0 (two files changed in part, one added), publishes both
        into DIR/out, keeps each version's description as
        DIR/out/www/qorn/QornClient/server-VERSION.cfg, serves version 1.0.0,
        and starts nginx and opentracker on 127.0.0.1; DIR/swarm.json
        tells the addresses, the paths and what a player of 1.0.0 fetches
    publisher.py stop DIR
"""
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "swarm"))
import swarm  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PUBLISH = os.path.join(ROOT, "tools", "publish")
CONFIG_FOLDER = "qorn/QornClient"
FILES = [("data/pack1.dat", 2_500_000), ("data/pack2.dat", 1_300_123), ("readme.txt", 1_234)]


def write_bytes(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def build_version_1(build, game_exe):
    shutil.rmtree(build, ignore_errors=True)
    rng = random.Random(19)
    with open(game_exe, "rb") as f:
        write_bytes(os.path.join(build, "bin", "game.exe"), f.read())
    for path, size in FILES:
        write_bytes(os.path.join(build, path), rng.randbytes(size))


def build_version_2(old, build):
    """A patch as publishers make them: part of one pack rewritten, the
    readme edited, a new pack added."""
    shutil.rmtree(build, ignore_errors=True)
    shutil.copytree(old, build)
    rng = random.Random(20)
    with open(os.path.join(build, "data", "pack1.dat"), "r+b") as f:
        f.seek(1_000_000)
        f.write(rng.randbytes(200_000))
    with open(os.path.join(build, "readme.txt"), "ab") as f:
        f.write(b"Version 2.0.0: new lands.\n")
    write_bytes(os.path.join(build, "data", "pack3.dat"), rng.randbytes(700_001))


def publish(build, version, out, ports, previous=None):
    host = "127.0.0.1:%d" % ports["web"]
    command = [sys.executable, PUBLISH, build, "--program", "bin/game.exe", "--version", version, "--out", out,
               "--http-seed", "http://%s/seed/" % host,
               "--tracker", "http://127.0.0.1:%d/announce" % ports["tracker"],
               "--config-url", "http://%s/%s/server.cfg" % (host, CONFIG_FOLDER)]
    if previous:
        command += ["--previous", previous]
    printed = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    description = os.path.join(out, "www", CONFIG_FOLDER, "server.cfg")
    shutil.copyfile(description, os.path.join(out, "www", CONFIG_FOLDER, "server-%s.cfg" % version))
    return printed


def start(base, game_exe):
    """As docs/publishing.md goes: version 1 published and served, then
    version 2 published beside it while the servers run."""
    base = os.path.abspath(base)
    stop(base)
    out = os.path.join(base, "out")
    shutil.rmtree(out, ignore_errors=True)
    ports = {"web": swarm.free_port(), "tracker": swarm.free_port()}
    builds = os.path.join(base, "builds")
    v1, v2 = os.path.join(builds, "1.0.0", "KorvaneGame"), os.path.join(builds, "2.0.0", "KorvaneGame")
    build_version_1(v1, game_exe)
    build_version_2(v1, v2)
    publish(v1, "1.0.0", out, ports)

    pids = {
        "nginx": subprocess.Popen(["nginx", "-p", out, "-c", "nginx.conf"], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, start_new_session=True).pid,
        "tracker": subprocess.Popen(["opentracker", "-f", os.path.join(out, "tracker", "opentracker.conf")],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    start_new_session=True).pid,
    }
    state = {"pids": pids, "out": out, "builds": builds,
             "config_url": "http://127.0.0.1:%d/%s/server.cfg" % (ports["web"], CONFIG_FOLDER),
             "report_host": "127.0.0.1:%d" % ports["web"]}
    with open(os.path.join(base, "swarm.json"), "w") as f:
        json.dump(state, f)
    if not all(swarm.wait_for_port(port) for port in ports.values()):
        stop(base)
        sys.exit("nginx or opentracker did not start; see %s/logs" % out)

    first_torrent = os.path.join(out, "www", CONFIG_FOLDER, "KorvaneGame-1.0.0.torrent")
    printed = publish(v2, "2.0.0", out, ports, previous=first_torrent)
    os.kill(pids["tracker"], signal.SIGHUP)  # it reads its list of torrents again
    state["update_fetch"] = int(re.search(r"previous version fetches (\d+) bytes", printed).group(1))
    with open(os.path.join(base, "swarm.json"), "w") as f:
        json.dump(state, f)
    # Players see version 1 first; the test hands out version 2 itself.
    serve_version(out, "1.0.0")
    print("publisher ready:", json.dumps(ports))


def serve_version(out, version):
    folder = os.path.join(out, "www", CONFIG_FOLDER)
    shutil.copyfile(os.path.join(folder, "server-%s.cfg" % version), os.path.join(folder, "server.cfg"))


def stop(base):
    swarm.stop(base)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "start":
        start(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == "stop":
        stop(sys.argv[2])
    else:
        sys.exit(__doc__)
