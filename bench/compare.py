#!/usr/bin/env python3
"""Turns bench/compare.sh's raw samples into a before/after table.

usage: compare.py RAW.csv OUT.md LABEL_BEFORE LABEL_AFTER MACHINE-LINE
RAW rows: tree,store,size,run,load1,metric,value (tree is before or after).
"""
import csv
import statistics
import sys
from collections import defaultdict

STORES = [
    ("vcard-folder", "vCard folder (one file per contact)"),
    ("vcard-file", "one large .vcf file"),
    ("eds", "address-book service (EDS)"),
]
METRICS = [
    ("cold_ms", "cold"),
    ("warm_ms", "warm"),
    ("cold_painted_ms", "cold, painted"),
    ("warm_painted_ms", "warm, painted"),
    ("cold_cpu_ms", "cold, CPU time"),
]


def fmt(value):
    if value >= 100:
        return f"{value:,.0f}"
    if value >= 10:
        return f"{value:.1f}"
    return f"{value:.2f}"


def cell(samples):
    if not samples:
        return "–"
    return f"{fmt(statistics.median(samples))} ({fmt(min(samples))}–{fmt(max(samples))})"


def main():
    raw, out, label_before, label_after, machine = sys.argv[1:6]
    samples = defaultdict(list)
    loads = []
    with open(raw, newline="") as f:
        for tree, store, size, _run, load1, metric, value in csv.reader(f):
            samples[(tree, store, int(size), metric)].append(float(value))
            loads.append(float(load1))
    sizes = sorted({key[2] for key in samples})

    lines = [
        f"Request latency of {label_before} (*before*) and {label_after} (*after*), "
        "measured in one sitting by `bench/compare.sh`: the same address books, the same "
        "session bus and address-book service, runs alternating between the two builds.",
        "",
        f"Machine: {machine}; 1-minute load average at each run "
        f"{min(loads):.2f}–{max(loads):.2f}." if loads else f"Machine: {machine}.",
        "",
        "The fax server's connect → the connection taken with the contact list filled (ms): "
        "median (min–max). *Cold*: the first request of a new process, one per run; "
        "*warm*: the ten requests after it in each run. After ÷ before is the ratio of medians; "
        "n is the count of samples per build.",
        "",
        "| Store | Contacts | Request | n | Before | After | After ÷ before |",
        "|---|---:|---|---:|---:|---:|---:|",
    ]
    for store, store_name in STORES:
        for size in sizes:
            for metric, metric_name in METRICS:
                b = samples.get(("before", store, size, metric), [])
                a = samples.get(("after", store, size, metric), [])
                if not a and not b:
                    continue
                ratio = f"{statistics.median(a) / statistics.median(b):.2f}×" if a and b else "–"
                lines.append(
                    f"| {store_name} | {size:,} | {metric_name} | {min(len(a), len(b))} | "
                    f"{cell(b)} | {cell(a)} | {ratio} |"
                )
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
