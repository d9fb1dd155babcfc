#!/usr/bin/python3
"""A BitTorrent swarm on 127.0.0.1 for the tests: content with its torrents,
opentracker as tracker, a libtorrent seeder with the complete content, and
nginx as HTTP seed (one copy intact, one with corrupt bytes, and the intact
one once more at 1 MB/s per connection, as a publisher's seed far away).
Over HTTPS, nginx serves the intact copy, the tracker (passed on to
opentracker) and whatever a test puts into DIR/files/ under /files/, with a
certificate of a test authority (DIR/tls/ca.der, trusted by no one until a
test's fixture trusts it); and the same once more with a certificate of an
authority nobody trusts.

    swarm.py start DIR [--big]
                         build what is missing, start everything, return once
                         it serves; DIR/swarm.json then tells ports and names.
                         With --big DIR holds only one 1 GiB file, for the
                         benchmark (made once, kept for the next start)
    swarm.py stop DIR    stop everything started from DIR
    swarm.py serve DIR   (internal) the seeder process itself

The seeder writes what it has uploaded per info-hash to DIR/seeder-stats.json
and nginx logs every body byte it sent to DIR/webseed-access.log, so a test
can count what the seeds sent. While the file DIR/seeder-away exists the
seeder drops every connection and takes no new one, as a peer that goes
away mid-transfer; it comes back when the file is removed. Everything binds
127.0.0.1 only and nothing uses DHT, local discovery or port mapping.
"""
import json
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import time

import libtorrent as lt

PIECE_SIZE = 64 * 1024
BIG_PIECE_SIZE = 1024 * 1024
WRITE_CHUNK = 16 * 1024 * 1024

# name -> (root folder or None for a single file, [(relative path, size)], seed)
CONTENT = {
    "multi": ("KorvaneGame", [("bin/game.exe", 300_001), ("data/pack1.dat", 2_500_000),
                              ("data/pack2.dat", 1_700_123), ("readme.txt", 1_234)], 1),
    "single": (None, [("korvane_patch.bin", 1_500_017)], 2),
    "pause": (None, [("pause_test.bin", 6_000_000)], 3),
    "limit": (None, [("limit_test.bin", 6_000_000)], 4),
    "resume": ("ResumeGame", [("a.dat", 5_000_000), ("b.dat", 3_000_000)], 5),
    "upload": (None, [("upload_test.bin", 1_000_003)], 6),
    "aligned": ("AlignedGame", [("bin/game.exe", 100_003), ("data/pack.dat", 700_001), ("readme.txt", 999)], 8),
}
# Made as the publishing tool makes a game's torrent: every file starts a
# piece, with pad files between them.
ALIGNED = {"aligned"}
BIG_CONTENT = {"big": (None, [("korvane_big.bin", 1024 ** 3)], 7)}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def content_paths(content, name):
    root, files, _ = content[name]
    return [os.path.join(root, path) if root else path for path, _ in files]


def write_content(content, name, base):
    """Writes the content's files under base/seed, in chunks."""
    _, files, seed = content[name]
    rng = random.Random(seed)
    for path, (_, size) in zip(content_paths(content, name), files):
        target = os.path.join(base, "seed", path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            for offset in range(0, size, WRITE_CHUNK):
                f.write(rng.randbytes(min(WRITE_CHUNK, size - offset)))


def make_content(base, content, piece_size):
    """Writes every content's files under base/seed and its torrent."""
    torrents = {}
    for name, (root, files, _) in content.items():
        write_content(content, name, base)
        storage = lt.file_storage()
        lt.add_files(storage, os.path.join(base, "seed", root or files[0][0]))
        flags = lt.create_torrent.v1_only
        if name in ALIGNED:
            flags |= lt.create_torrent.canonical_files_no_tail_padding
        creator = lt.create_torrent(storage, piece_size, flags=flags)
        lt.set_piece_hashes(creator, os.path.join(base, "seed"))
        torrent_path = os.path.join(base, name + ".torrent")
        with open(torrent_path, "wb") as f:
            f.write(lt.bencode(creator.generate()))
        info = lt.torrent_info(torrent_path)
        torrents[name] = {"torrent": torrent_path, "infohash": str(info.info_hashes().v1),
                          "root": root, "files": content_paths(content, name),
                          "size": info.total_size()}
    return torrents


def make_corrupt_copy(base):
    """The HTTP seed's second copy: every file with bytes flipped in it."""
    corrupt = os.path.join(base, "seed-corrupt")
    shutil.copytree(os.path.join(base, "seed"), corrupt)
    for folder, _, names in os.walk(corrupt):
        for file_name in names:
            path = os.path.join(folder, file_name)
            with open(path, "r+b") as f:
                size = os.path.getsize(path)
                for offset in range(0, size, PIECE_SIZE * 3):
                    f.seek(offset)
                    byte = f.read(1)
                    f.seek(offset)
                    f.write(bytes([byte[0] ^ 0xFF]))


NGINX_CONF = """
daemon off;
worker_processes 1;
pid {base}/nginx.pid;
error_log {base}/nginx-error.log;
events {{ worker_connections 64; }}
http {{
    access_log off;
    log_format sent '$request_uri $body_bytes_sent';
    client_body_temp_path {base}/nginx-tmp;
    proxy_temp_path {base}/nginx-tmp;
    fastcgi_temp_path {base}/nginx-tmp;
    uwsgi_temp_path {base}/nginx-tmp;
    scgi_temp_path {base}/nginx-tmp;
    default_type application/octet-stream;
    server {{
        listen 127.0.0.1:{web};
        root {base}/seed;
        access_log {base}/webseed-access.log sent;
    }}
    server {{
        listen 127.0.0.1:{slow};
        root {base}/seed;
        limit_rate 1m;
    }}
    server {{
        listen 127.0.0.1:{https} ssl;
        ssl_certificate {base}/tls/server.pem;
        ssl_certificate_key {base}/tls/server.key;
        root {base}/seed;
        location /files/ {{ alias {base}/files/; }}
        location = /announce {{ proxy_pass http://127.0.0.1:{tracker}/announce; }}
    }}
    server {{
        listen 127.0.0.1:{rogue} ssl;
        ssl_certificate {base}/tls/rogue.pem;
        ssl_certificate_key {base}/tls/rogue.key;
        root {base}/seed;
        location /files/ {{ alias {base}/files/; }}
    }}
    server {{
        listen 127.0.0.1:{corrupt};
        root {base}/seed-corrupt;
        access_log {base}/webseed-corrupt-access.log sent;
    }}
}}
"""


def make_certificates(base):
    """A test authority and the certificate it signed for 127.0.0.1; another
    authority and its certificate for the same address (the rogue server)."""
    tls = os.path.join(base, "tls")
    if os.path.exists(os.path.join(tls, "ca.der")):
        return

    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, cwd=tls,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    os.makedirs(tls, exist_ok=True)
    with open(os.path.join(tls, "server.ext"), "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n")
    for server, authority in (("server", "ca"), ("rogue", "rogue-ca")):
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650",
                "-subj", "/CN=Korvane test authority " + authority,
                "-addext", "basicConstraints=critical,CA:TRUE",
                "-addext", "keyUsage=critical,keyCertSign,cRLSign",
                "-keyout", authority + ".key", "-out", authority + ".pem")
        openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                "-keyout", server + ".key", "-out", server + ".csr")
        openssl("x509", "-req", "-in", server + ".csr", "-CA", authority + ".pem", "-CAkey", authority + ".key",
                "-CAcreateserial", "-days", "3650", "-extfile", "server.ext", "-out", server + ".pem")
    openssl("x509", "-in", "ca.pem", "-outform", "der", "-out", "ca.der.tmp")
    os.rename(os.path.join(tls, "ca.der.tmp"), os.path.join(tls, "ca.der"))


def wait_for_port(port, limit=30):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def made_content(base):
    """The names of the torrents made earlier in `base`."""
    with open(os.path.join(base, "content.json")) as f:
        return set(json.load(f))


def start(base, big=False):
    base = os.path.abspath(base)
    stop(base)
    os.makedirs(base, exist_ok=True)
    # Made by an older build, without the torrents added since: made anew.
    if not os.path.exists(os.path.join(base, "content.json")) or not big and made_content(base) < set(CONTENT):
        if big:
            torrents = make_content(base, BIG_CONTENT, BIG_PIECE_SIZE)
            os.makedirs(os.path.join(base, "seed-corrupt"), exist_ok=True)
        else:
            torrents = make_content(base, CONTENT, PIECE_SIZE)
            shutil.rmtree(os.path.join(base, "seed-corrupt"), ignore_errors=True)
            make_corrupt_copy(base)
        with open(os.path.join(base, "content.json"), "w") as f:
            json.dump(torrents, f)
    with open(os.path.join(base, "content.json")) as f:
        torrents = json.load(f)

    make_certificates(base)
    os.makedirs(os.path.join(base, "files"), exist_ok=True)
    ports = {"tracker": free_port(), "web": free_port(), "slow": free_port(), "corrupt": free_port(),
             "https": free_port(), "rogue": free_port(), "seeder": free_port()}
    pids = {}

    tracker_dir = os.path.join(base, "tracker")
    os.makedirs(tracker_dir, exist_ok=True)
    with open(os.path.join(tracker_dir, "whitelist"), "w") as f:
        f.write("".join(t["infohash"] + "\n" for t in torrents.values()))
    # opentracker chroots into its folder, so the whitelist is named from there.
    pids["tracker"] = subprocess.Popen(
        ["opentracker", "-i", "127.0.0.1", "-p", str(ports["tracker"]), "-P", str(ports["tracker"]),
         "-d", tracker_dir, "-w", "whitelist", "-u", "nobody"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True).pid

    os.makedirs(os.path.join(base, "nginx-tmp"), exist_ok=True)
    if os.path.exists(os.path.join(base, "seeder-away")):
        os.remove(os.path.join(base, "seeder-away"))
    for log in ("webseed-access.log", "webseed-corrupt-access.log"):
        open(os.path.join(base, log), "w").close()
    conf = os.path.join(base, "nginx.conf")
    with open(conf, "w") as f:
        f.write(NGINX_CONF.format(base=base, web=ports["web"], slow=ports["slow"], corrupt=ports["corrupt"],
                                  https=ports["https"], rogue=ports["rogue"], tracker=ports["tracker"]))
    pids["nginx"] = subprocess.Popen(
        ["nginx", "-e", os.path.join(base, "nginx-error.log"), "-p", base, "-c", conf],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True).pid

    state = {"ports": ports, "pids": pids, "torrents": torrents,
             "tracker": "http://127.0.0.1:%d/announce" % ports["tracker"],
             "webseed": "http://127.0.0.1:%d/" % ports["web"],
             "slowseed": "http://127.0.0.1:%d/" % ports["slow"],
             "corruptseed": "http://127.0.0.1:%d/" % ports["corrupt"],
             "httpsseed": "https://127.0.0.1:%d/" % ports["https"],
             "httpstracker": "https://127.0.0.1:%d/announce" % ports["https"],
             "rogueseed": "https://127.0.0.1:%d/" % ports["rogue"],
             "files": os.path.join(base, "files")}
    with open(os.path.join(base, "swarm.json"), "w") as f:
        json.dump(state, f)

    pids["seeder"] = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "serve", base],
        stdout=subprocess.DEVNULL, stderr=open(os.path.join(base, "seeder.log"), "w"),
        start_new_session=True).pid
    with open(os.path.join(base, "swarm.json"), "w") as f:
        json.dump(state, f)

    stats = os.path.join(base, "seeder-stats.json")
    ready = all(wait_for_port(ports[k]) for k in ("tracker", "web", "corrupt", "https", "rogue", "seeder"))
    deadline = time.monotonic() + 60
    while ready and time.monotonic() < deadline and not seeder_ready(stats, torrents):
        time.sleep(0.1)
    if not ready or not seeder_ready(stats, torrents):
        stop(base)
        sys.exit("swarm did not start; see %s" % base)
    print("swarm ready:", json.dumps(ports))


def seeder_ready(stats_path, torrents):
    try:
        with open(stats_path) as f:
            stats = json.load(f)
    except (OSError, ValueError):
        return False
    return all(stats.get(t["infohash"], {}).get("seeding") and stats[t["infohash"]].get("announced")
               for t in torrents.values())


def serve(base):
    with open(os.path.join(base, "swarm.json")) as f:
        state = json.load(f)
    settings = {
        "listen_interfaces": "127.0.0.1:%d" % state["ports"]["seeder"],
        "enable_dht": False, "enable_lsd": False, "enable_upnp": False, "enable_natpmp": False,
        "allow_multiple_connections_per_ip": True,
        "alert_mask": lt.alert_category.status | lt.alert_category.tracker | lt.alert_category.error,
        "user_agent": "korvane-test-seeder",
    }
    session = lt.session(settings)
    announced = set()
    handles = {}
    for t in state["torrents"].values():
        params = lt.add_torrent_params()
        params.ti = lt.torrent_info(t["torrent"])
        params.save_path = os.path.join(base, "seed")
        params.trackers = [state["tracker"]]
        params.flags = lt.torrent_flags.seed_mode
        handles[t["infohash"]] = session.add_torrent(params)

    running = [True]
    signal.signal(signal.SIGTERM, lambda *_: running.__setitem__(0, False))
    stats_path = os.path.join(base, "seeder-stats.json")
    away_path = os.path.join(base, "seeder-away")
    last_announce = 0
    while running[0]:
        away = os.path.exists(away_path)
        if away != session.is_paused():
            session.pause() if away else session.resume()
        for alert in session.pop_alerts():
            if isinstance(alert, lt.tracker_reply_alert):
                announced.add(str(alert.handle.info_hashes().v1))
        # A short announce interval so a test's leecher finds the seeder at once.
        if time.monotonic() - last_announce > 2 and len(announced) < len(handles):
            for h in handles.values():
                h.force_reannounce()
            last_announce = time.monotonic()
        stats = {}
        for infohash, handle in handles.items():
            status = handle.status()
            stats[infohash] = {"uploaded": status.total_payload_upload,
                               "seeding": status.is_seeding, "announced": infohash in announced,
                               "away": away}
        with open(stats_path + ".tmp", "w") as f:
            json.dump(stats, f)
        os.replace(stats_path + ".tmp", stats_path)
        session.wait_for_alert(200)


def stop(base):
    path = os.path.join(os.path.abspath(base), "swarm.json")
    try:
        with open(path) as f:
            pids = json.load(f).get("pids", {})
    except (OSError, ValueError):
        return
    for pid in pids.values():
        try:
            os.killpg(pid, signal.SIGTERM)
        except OSError:
            pass
    deadline = time.monotonic() + 10
    for pid in pids.values():
        while time.monotonic() < deadline:
            try:
                os.kill(pid, 0)
            except OSError:
                break
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass
            time.sleep(0.05)
        else:
            try:
                os.killpg(pid, signal.SIGKILL)
            except OSError:
                pass
    os.remove(path)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "start" and sys.argv[3] == "--big":
        start(sys.argv[2], big=True)
    elif len(sys.argv) == 3 and sys.argv[1] in ("start", "stop", "serve"):
        {"start": start, "stop": stop, "serve": serve}[sys.argv[1]](sys.argv[2])
    else:
        sys.exit(__doc__)
