#!/bin/bash
# aria2c as a leecher on the benchmark's swarm, on 127.0.0.1 only and
# without DHT, peer exchange or local discovery; prints "done SECONDS BYTES"
# like the other benchmark clients.
#
#   bench/aria2-leecher.sh FOLDER TORRENT [aria2c arguments and web seed URL...]
#
# A URL beside the torrent serves the same file as the swarm (a web seed).
set -euo pipefail
folder="$1"
torrent="$2"
shift 2
start=$(date +%s.%N)
aria2c --dir="$folder" --interface=127.0.0.1 --disable-ipv6=true --enable-dht=false --enable-dht6=false \
    --enable-peer-exchange=false --bt-enable-lpd=false --seed-time=0 --file-allocation=none \
    --listen-port=29600-29610 --summary-interval=0 --console-log-level=warn --quiet=true -T "$torrent" "$@"
end=$(date +%s.%N)
bytes=$(du -sb "$folder" | cut -f1)
echo "done $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }') $bytes"
