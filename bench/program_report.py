#!/usr/bin/python3
"""Turns the program benchmark's measurements into its table, its chart and
the measured part of RESULTS.md.

    program_report.py RESULTS_JSONL MACHINE_JSON CHART_PNG RESULTS_MD

RESULTS_JSONL holds one measurement per line, as bench/program-bench.sh
writes them. In RESULTS_MD only the text between the two markers below is
replaced; what stands around it (the reading of the numbers) is kept.
Prints the table.
"""
import json
import os
import statistics
import sys

BEGIN = "<!-- measured: written by bench/program-bench.sh -->"
END = "<!-- end of measured -->"

DOWNLOAD_CLIENTS = [
    ("program", "this program under Wine (start pressed to \"下载完成！\")"),
    ("program-lt", "the same on libtorrent's memory-mapped disk back-end"),
    ("aria2c", "aria2c, native"),
    ("libtorrent", "python3-libtorrent, native, default settings"),
    ("floor", "floor: read, SHA-1, write (Python hashlib)"),
]
# Rows whose time is no pass over the game: no rate for them.
NO_RATE = {"program-state", "program-lt-state"}
RESTART_CLIENTS = [
    ("program-state", "this program, restarted over the complete game (state file kept)"),
    ("program-full", "this program, restarted without its state file (every piece checked)"),
    ("program-lt-state", "the same on libtorrent's disk back-end, state file kept"),
    ("program-lt-full", "the same on libtorrent's disk back-end, every piece checked"),
    ("floor", "floor: read and SHA-1 (Python hashlib)"),
]


def load(path):
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def fmt(value, digits=1):
    return "-" if value is None else "%.*f" % (digits, value)


def of(records, what, client=None):
    return [r for r in records if r["what"] == what and (client is None or r.get("client") == client)]


def timing_rows(records, what, clients, size):
    rows = []
    for key, label in clients:
        runs = of(records, what, key)
        if not runs:
            continue
        good = [r for r in runs if r.get("ok")]
        seconds = median([r["seconds"] for r in good])
        rows.append({
            "key": key, "label": label,
            "runs": " / ".join(fmt(r["seconds"]) if r.get("ok") else "failed" for r in runs),
            "seconds": seconds,
            "values": [r["seconds"] for r in good],
            "rate": size / seconds / 1e6 if seconds and key not in NO_RATE else None,
            "cpu": median([r.get("cpu") for r in good]),
            "server": median([r.get("wineserver_cpu") for r in good]),
            "errors": [r.get("error", "") for r in runs if not r.get("ok")],
        })
    return rows


def timing_table(rows):
    lines = ["| client | runs (s) | median s | MB/s | CPU s | wineserver CPU s |",
             "|---|---|---:|---:|---:|---:|"]
    for row in rows:
        lines.append("| %s | %s | %s | %s | %s | %s |" % (
            row["label"], row["runs"], fmt(row["seconds"]), fmt(row["rate"]), fmt(row["cpu"]), fmt(row["server"])))
    for row in rows:
        for error in row["errors"]:
            lines.append("")
            lines.append("%s failed: %s" % (row["key"], error))
    return lines


def memory_table(records):
    lines = []
    for client, label in (("program", "program"), ("program-lt", "program on libtorrent's disk back-end")):
        runs = [r for r in of(records, "download", client) if r.get("ok")]
        if not runs:
            continue
        lines += ["" if lines else None,
                  "| %s while downloading (median of %d runs) | MiB |" % (label, len(runs)), "|---|---:|",
                  "| peak resident set of the program's process (VmHWM) | %s |"
                  % fmt(median([r.get("hwm_mb") for r in runs])),
                  "| peak of its anonymous memory (RssAnon; the rest is mapped game files) | %s |"
                  % fmt(median([r.get("anon_peak_mb") for r in runs])),
                  "| peak resident set of its wineserver (VmHWM) | %s |"
                  % fmt(median([r.get("wineserver_hwm_mb") for r in runs]))]
    return [line for line in lines if line is not None]


def startup_table(records):
    runs = [r for r in records if r.get("ok") and r.get("window") is not None]
    if not runs:
        return []
    return ["| from the launch to the window shown | median s | fastest | slowest |", "|---|---:|---:|---:|",
            "| every start of the program (%d) | %s | %s | %s |" % (
                len(runs), fmt(median([r["window"] for r in runs]), 2), fmt(min(r["window"] for r in runs), 2),
                fmt(max(r["window"] for r in runs), 2))]


def idle_table(records):
    runs = of(records, "idle")
    if not runs:
        return []
    lines = ["| ready state, nothing pressed | seconds | CPU s program | CPU s wineserver | % of one core |",
             "|---|---:|---:|---:|---:|"]
    for r in runs:
        if not r.get("ok"):
            lines.append("| run %d | failed: %s | | | |" % (r["run"], r.get("error", "")))
            continue
        share = 100.0 * (r["cpu"] + r["wineserver_cpu"]) / r["seconds"]
        lines.append("| run %d | %s | %s | %s | %s |" % (r["run"], fmt(r["seconds"], 0), fmt(r["cpu"], 2),
                                                          fmt(r["wineserver_cpu"], 2), fmt(share, 2)))
    return lines


def machine_lines(machine):
    return ["- date: %s" % machine.get("date", "?"),
            "- machine: %s cores (%s), %s memory" % (machine.get("cores"), machine.get("cpu"), machine.get("memory")),
            "- system: Debian %s, kernel %s" % (machine.get("debian"), machine.get("kernel")),
            "- Wine: %s" % machine.get("wine"),
            "- libtorrent: %s in our kernel, %s in python3-libtorrent" % (machine.get("libtorrent_ours"),
                                                                           machine.get("libtorrent_python")),
            "- aria2: %s" % machine.get("aria2"),
            "- load (uptime) at the start: %s; at the end: %s" % (machine.get("load_start"), machine.get("load_end")),
            "- game: %s bytes in %s files, pieces of %s bytes; %s run(s) of each client"
            % (machine.get("size"), machine.get("files"), machine.get("piece"), machine.get("runs"))]


def chart(download, restart, path):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return False
    figure, axes = plt.subplots(1, 2, figsize=(11, 4.2), gridspec_kw={"width_ratios": [4, 3]})
    for axis, rows, title in ((axes[0], download, "download of the game"),
                              (axes[1], restart, "restart over the complete game")):
        rows = [r for r in rows if r["seconds"] is not None]
        names = [r["key"] for r in rows]
        values = [r["seconds"] for r in rows]
        colours = ["#c0392b" if n.startswith("program") else "#7f8c8d" if n == "floor" else "#2980b9" for n in names]
        bars = axis.bar(names, values, color=colours)
        for index, row in enumerate(rows):
            axis.plot([index] * len(row["values"]), row["values"], "k.", markersize=5)
        for bar, value in zip(bars, values):
            axis.annotate("%.1f s" % value, (bar.get_x() + bar.get_width() / 2, value), ha="center", va="bottom",
                          fontsize=9)
        axis.set_title(title)
        axis.set_ylabel("seconds: bar the median, dots the runs")
        axis.tick_params(axis="x", labelrotation=15)
    figure.tight_layout()
    figure.savefig(path, dpi=100)
    return True


def update_results(path, measured):
    block = BEGIN + "\n" + measured + "\n" + END
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        if BEGIN in text and END in text:
            text = text[:text.index(BEGIN)] + block + text[text.index(END) + len(END):]
        else:
            text = text.rstrip("\n") + "\n\n" + block + "\n"
    else:
        text = "# Program benchmark\n\n" + block + "\n"
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__)
    records = load(argv[1])
    with open(argv[2], encoding="utf-8") as f:
        machine = json.load(f)
    size = int(machine["size"])
    download = timing_rows(records, "download", DOWNLOAD_CLIENTS, size)
    restart = timing_rows(records, "restart", RESTART_CLIENTS, size)
    sections = [
        ("Download", timing_table(download)),
        ("Restart over the complete game", timing_table(restart)),
        ("Memory", memory_table(records)),
        ("Start-up", startup_table(records)),
        ("Idle", idle_table(records)),
    ]
    table = "\n\n".join("### %s\n\n%s" % (title, "\n".join(lines)) for title, lines in sections if lines)
    print(table)
    drawn = chart(download, restart, argv[3])
    measured = "## Measured\n\n" + "\n".join(machine_lines(machine)) + "\n\n" + table
    if drawn:
        measured += "\n\n![chart](%s)" % os.path.basename(argv[3])
    update_results(argv[4], measured)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
