#!/usr/bin/python3
"""Appends one measurement of the program benchmark to its results, one JSON
object per line, keys in the order given.

    record.py RESULTS_JSONL KEY=TEXT... KEY:=JSON...

KEY=TEXT stores a string; KEY:=JSON a value written as JSON (a number,
true, false or null), kept as written.
"""
import json
import sys


def field(argument):
    key, value = argument.split("=", 1)
    if key.endswith(":"):
        json.loads(value)  # refuses what is no JSON
        return json.dumps(key[:-1]) + ":" + value
    return json.dumps(key) + ":" + json.dumps(value)

if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    line = "{" + ",".join(field(argument) for argument in sys.argv[2:]) + "}"
    with open(sys.argv[1], "a", encoding="utf-8") as results:
        results.write(line + "\n")
