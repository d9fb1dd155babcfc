#!/usr/bin/python3
"""A plain libtorrent leecher, Debian's python3-libtorrent with its default
settings, as a player could run it natively instead of our kernel.

    native_leecher.py TORRENT FOLDER [--tracker URL] [--webseed URL] [--timeout S]

Listens on 127.0.0.1 only, without DHT, local discovery or port mapping.
Prints "done SECONDS BYTES" and exits 0 once complete, or "failed ..." and 2.
"""
import argparse
import signal
import sys
import time

import libtorrent as lt


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("torrent")
    parser.add_argument("folder")
    parser.add_argument("--tracker")
    parser.add_argument("--webseed")
    parser.add_argument("--timeout", type=float, default=600)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    session = lt.session({"listen_interfaces": "127.0.0.1:0", "enable_dht": False, "enable_lsd": False,
                          "enable_upnp": False, "enable_natpmp": False})
    params = lt.add_torrent_params()
    params.ti = lt.torrent_info(args.torrent)
    params.save_path = args.folder
    if args.tracker:
        params.trackers = [args.tracker]
    if args.webseed:
        params.url_seeds = [args.webseed]
    handle = session.add_torrent(params)

    start = time.monotonic()
    status = handle.status()
    while time.monotonic() - start < args.timeout:
        status = handle.status()
        if status.is_seeding or status.errc.value():
            break
        time.sleep(0.02)
    seconds = time.monotonic() - start
    done = status.is_seeding
    print("%s %.3f %d" % ("done" if done else "failed", seconds, status.total_wanted_done), flush=True)
    session.pause()
    return 0 if done else 2


if __name__ == "__main__":
    sys.exit(main())
