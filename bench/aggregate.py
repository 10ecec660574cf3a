#!/usr/bin/python3
"""Turns the raw samples of bench/run_all.sh into results.csv, results.md and
the data file of the request-latency plot; with README, puts the machine line,
the plot, the request-latency table and the targets in its section between
the bench-results markers.

usage: aggregate.py RAW.csv MACHINE.txt OUTDIR [README]
"""
import csv
import statistics
import sys
from collections import defaultdict
from pathlib import Path

raw_path, machine_path, out_dir = sys.argv[1], Path(sys.argv[2]), Path(sys.argv[3])
readme_path = Path(sys.argv[4]) if len(sys.argv) > 4 else None
out_dir.mkdir(parents=True, exist_ok=True)

STORES = ["vcard-folder", "vcard-file", "eds"]
STORE_NAMES = {
    "vcard-folder": "vCard folder (one file per contact)",
    "vcard-file": "one large .vcf file",
    "eds": "address-book service (EDS)",
}
SIZES = [100, 5000, 32766]
BIG = 32766

samples = defaultdict(list)  # (store, size, metric) -> [values]
first_run = defaultdict(list)  # the same, from run 1 only (breakdowns)
series = defaultdict(list)  # (store, size, metric) -> [(index, value)]
with open(raw_path, newline="") as raw:
    for row in csv.reader(raw):
        if len(row) == 5:
            store, size, run, metric, value = row
            samples[(store, int(size), metric)].append(float(value))
            if run == "1":
                first_run[(store, int(size), metric)].append(float(value))
        elif len(row) == 6:
            store, size, run, metric, index, value = row
            series[(store, int(size), metric)].append((int(index), float(value)))


def stats(values):
    if not values:
        return None
    return statistics.median(values), min(values), max(values), len(values)


def get(store, size, metric):
    return stats(samples.get((store, size, metric), []))


def fmt(value):
    if value is None:
        return "–"
    if abs(value) >= 100:
        return f"{value:,.0f}"
    if abs(value) >= 10:
        return f"{value:.1f}"
    return f"{value:.2f}"


def cell(s, scale=1.0):
    if s is None:
        return "–"
    median, low, high, n = s
    if n == 1:
        return fmt(median * scale)
    return f"{fmt(median * scale)} ({fmt(low * scale)}–{fmt(high * scale)})"


def mib(s):
    return cell(s, 1 / 1024)


def slope(points):
    """Least-squares slope of value over index."""
    if len(points) < 2:
        return None
    n = len(points)
    mean_x = sum(p[0] for p in points) / n
    mean_y = sum(p[1] for p in points) / n
    sxx = sum((p[0] - mean_x) ** 2 for p in points)
    sxy = sum((p[0] - mean_x) * (p[1] - mean_y) for p in points)
    return sxy / sxx if sxx else None


rows = []  # results.csv


def record(section, store, size, metric, s, unit):
    if s is None:
        return
    median, low, high, n = s
    rows.append([section, store, size, metric, n, f"{median:.3f}", f"{low:.3f}", f"{high:.3f}", unit])


for (store, size, metric), values in sorted(samples.items()):
    unit = "KiB" if metric.endswith("_kib") else ("ms" if metric.endswith("_ms") else "count")
    record("samples", store, size, metric, stats(values), unit)

machine = machine_path.read_text().strip().splitlines()
md = []
md.append("All figures: median of repeated runs, (min–max) beside it; n runs per row are in results.csv.")
md.append("")
md.append("Machine: " + "; ".join(line for line in machine if line.strip()) + ".")
md.append("")
machine_line = md[-2]

# --- Request latency ---
latency_start = len(md)
md.append("**Request latency**: the fax server's connect → the connection taken with the contact list filled "
          "(ms). *Cold*: the first request after start-up (a new process each run; files in the page cache, "
          "the address-book service already running). *Warm*: the requests after it. *Painted*: until the "
          "list's first paint.")
md.append("")
md.append("| Store | Contacts | Cold | Warm | Cold, painted | Warm, painted | Cold, CPU time |")
md.append("|---|---:|---:|---:|---:|---:|---:|")
plot_lines = []
for store in STORES:
    for size in SIZES:
        cold, warm = get(store, size, "cold_ms"), get(store, size, "warm_ms")
        if cold is None:
            continue
        md.append(f"| {STORE_NAMES[store]} | {size:,} | {cell(cold)} | {cell(warm)} | "
                  f"{cell(get(store, size, 'cold_painted_ms'))} | {cell(get(store, size, 'warm_painted_ms'))} | "
                  f"{cell(get(store, size, 'cold_cpu_ms'))} |")
md.append("")
latency_end = len(md)

with open(out_dir / "request-latency.dat", "w") as dat:
    for store in STORES:
        dat.write(f"# {store}\n")
        for size in SIZES:
            cold, warm = get(store, size, "cold_ms"), get(store, size, "warm_ms")
            if cold and warm:
                dat.write(f"{size} {cold[0]:.3f} {cold[1]:.3f} {cold[2]:.3f} {warm[0]:.3f} {warm[1]:.3f} {warm[2]:.3f}\n")
        dat.write("\n\n")

# --- Against the floor and khard ---
md.append("**Cold listing against the vCard library alone and against khard** (ms). *Floor*: libebook-contacts "
          "parsing the same cards (`e_vcard_new_from_string` and a walk over N/ORG/TEL), one thread, files read "
          "included. *khard*: `khard list` over the same folder, a new process each run. Ratios are of wall "
          "times; the CPU-time ratio counts our process only (in the EDS rows, not the service's CPU time).")
md.append("")
md.append("| Store | Contacts | Ours, cold | Floor | Ours ÷ floor | khard list | khard ÷ ours | "
          "khard ÷ ours, CPU time |")
md.append("|---|---:|---:|---:|---:|---:|---:|---:|")
ratios = {}
for store in STORES:
    for size in SIZES:
        cold = get(store, size, "cold_ms")
        floor_store = "vcard-file" if store == "vcard-file" else "vcard-folder"
        floor = get(floor_store, size, "floor_evcard_ms")
        khard = get("vcard-folder", size, "khard_ms")
        if cold is None:
            continue
        over_floor = cold[0] / floor[0] if floor else None
        khard_ratio = khard[0] / cold[0] if khard else None
        khard_cpu, cold_cpu = get("vcard-folder", size, "khard_cpu_ms"), get(store, size, "cold_cpu_ms")
        cpu_ratio = khard_cpu[0] / cold_cpu[0] if khard_cpu and cold_cpu else None
        ratios[(store, size)] = (over_floor, khard_ratio)
        md.append(f"| {STORE_NAMES[store]} | {size:,} | {cell(cold)} | {cell(floor)} | "
                  f"{fmt(over_floor)}× | {cell(khard)} | {fmt(khard_ratio)}× | {fmt(cpu_ratio)}× |")
        if over_floor:
            rows.append(["ratio", store, size, "cold_over_floor", 1, f"{over_floor:.3f}", "", "", "ratio"])
        if khard_ratio:
            rows.append(["ratio", store, size, "khard_over_cold", 1, f"{khard_ratio:.3f}", "", "", "ratio"])
md.append("")

# --- Selection and reply ---
md.append(f"**Selection and reply at {BIG:,} contacts** (ms). *Selection*: a click on a contact → its fax "
          "entries in the combo box. *Reply*: OK in the confirmation box → the peer holding all four lines "
          "and end-of-stream, and → the port listening again.")
md.append("")
md.append("| Store | Selection | Reply, to the peer's end-of-stream | Reply, to listening again |")
md.append("|---|---:|---:|---:|")
for store in STORES:
    if get(store, BIG, "select_ms") is None:
        continue
    md.append(f"| {STORE_NAMES[store]} | {cell(get(store, BIG, 'select_ms'))} | "
              f"{cell(get(store, BIG, 'reply_peer_ms'))} | {cell(get(store, BIG, 'reply_listen_ms'))} |")
md.append("")

# --- Start-up and memory ---
growth = {}
for key, points in series.items():
    steady = [p for p in points if p[0] >= 100]
    growth[key] = (slope(points), slope(steady), points)
rss_key = ("vcard-folder", 5000, "rss_series_kib")
heap_key = ("vcard-folder", 5000, "heap_series_kib")
md.append("**Start-up and memory.** Start-up: exec of the real program (offscreen) → port 5555 listening, "
          "polled with `ss -ltn`. Memory: resident set (VmRSS), MiB.")
md.append("")
md.append("| What | Figure |")
md.append("|---|---:|")
for store in ["vcard-folder", "eds"]:
    s = get(store, BIG, "startup_ms")
    if s:
        md.append(f"| Start-up to listening, {STORE_NAMES[store]} (ms) | {cell(s)} |")
for store in ["vcard-folder", "eds"]:
    s = get(store, BIG, "program_rss_idle_kib")
    if s:
        md.append(f"| Idle RSS of the program after start-up, {STORE_NAMES[store]} | {mib(s)} |")
for store in STORES:
    s = get(store, BIG, "rss_after_session_kib")
    if s:
        md.append(f"| RSS after a {BIG:,}-contact session, {STORE_NAMES[store]} | {mib(s)} |")
for store in STORES:
    anon, used = get(store, BIG, "rssanon_after_session_kib"), get(store, BIG, "heapused_after_session_kib")
    files = get(store, BIG, "rssfile_after_session_kib")
    if anon and used and files:
        md.append(f"| … of which anonymous memory (all heaps) / heap in use / mapped files, {STORE_NAMES[store]} | "
                  f"{fmt(anon[0] / 1024)} / {fmt(used[0] / 1024)} / {fmt(files[0] / 1024)} |")
for store in STORES:
    s = get(store, BIG, "rss_end_trimmed_kib")
    if s:
        md.append(f"| RSS after those sessions once the heap is trimmed (`malloc_trim`), {STORE_NAMES[store]} "
                  f"| {mib(s)} |")
if rss_key in growth:
    whole, steady, points = growth[rss_key]
    first = statistics.mean(v for i, v in points if i < 100)
    last = statistics.mean(v for i, v in points if i >= len(points) - 100)
    heap_whole, heap_steady, _ = growth.get(heap_key, (None, None, None))
    md.append(f"| 1,000 sessions in a row (5,000 contacts, each with a click and a reply): RSS slope, "
              f"sessions 100–999 (KiB/session) | {fmt(steady)} |")
    md.append(f"| … RSS slope over all 1,000 / heap-in-use slope 100–999 (KiB/session) | "
              f"{fmt(whole)} / {fmt(heap_steady)} |")
    md.append(f"| … mean RSS of the first / last 100 sessions | {fmt(first / 1024)} / {fmt(last / 1024)} |")
    rows.append(["growth", "vcard-folder", 5000, "rss_slope_kib_per_session_100_999", len(points),
                 f"{steady:.4f}", "", "", "KiB/session"])
    rows.append(["growth", "vcard-folder", 5000, "rss_slope_kib_per_session_all", len(points),
                 f"{whole:.4f}", "", "", "KiB/session"])
    if heap_steady is not None:
        rows.append(["growth", "vcard-folder", 5000, "heap_slope_kib_per_session_100_999", len(points),
                     f"{heap_steady:.4f}", "", "", "KiB/session"])
md.append("")

# --- Where the time goes ---
steps = [("count", "Count(): reading and parsing (cold) / looking for changes (warm)"),
         ("items", "Item() for every position"),
         ("text", "list texts (`DisplayText`)"),
         ("sort", "sorting (`SortForDisplay`, ICU sort keys)"),
         ("fill", "filling the QListWidget item by item, as the window does"),
         ("clear", "clearing the list (`ResetDialog`)")]
if any(first_run.get((store, BIG, "breakdown_warm_fill_ms")) for store in STORES):
    md.append(f"**Where the listing's time goes at {BIG:,} contacts** (ms; the window's steps redone one by one "
              "on a second handle to the same address book; warm: median of 3 passes).")
    md.append("")
    md.append("| Step | " + " | ".join(f"{STORE_NAMES[s]}, cold | warm" for s in STORES) + " |")
    md.append("|---|" + "---:|---:|" * len(STORES))
    for step, name in steps:
        cells = []
        for store in STORES:
            cold = stats(first_run.get((store, BIG, f"breakdown_cold_{step}_ms"), []))
            warm = stats(first_run.get((store, BIG, f"breakdown_warm_{step}_ms"), []))
            cells.append(f"{fmt(cold[0]) if cold else '–'} | {fmt(warm[0]) if warm else '–'}")
        md.append(f"| {name} | " + " | ".join(cells) + " |")
    md.append("")
    heap_cells = []
    for store in STORES:
        kept = stats(first_run.get((store, BIG, "breakdown_store_heap_kib"), []))
        items = stats(first_run.get((store, BIG, "breakdown_list_items_heap_kib"), []))
        heap_cells.append((fmt(kept[0] / 1024) if kept else "–", fmt(items[0] / 1024) if items else "–"))
    md.append("Heap the store keeps after its first listing / heap the list's items take while shown (MiB): "
              + "; ".join(f"{STORE_NAMES[s]} {k} / {i}" for s, (k, i) in zip(STORES, heap_cells)) + ".")
    md.append("")
    variants = [("as_window", "`new QListWidgetItem(text)`, `setData`, then `addItem` (as the window does), list shown"),
                ("into_list", "`new QListWidgetItem(text, list)`, then `setData`: each row inserted on creation"),
                ("additems_then_setdata", "`addItems(QStringList)`, then `setData` per row"),
                ("stringlistmodel", "a `QListView` on a `QStringListModel` (`setStringList`)"),
                ("visible_clear", "clearing the list as the window fills it"),
                ("stringlistmodel_clear", "clearing the `QStringListModel`")]
    md.append(f"Filling the same {BIG:,} sorted entries into a shown list, other ways (ms, median of 3, "
              "vCard folder run):")
    md.append("")
    md.append("| Way | Time |")
    md.append("|---|---:|")
    for key, name in variants:
        s = stats(first_run.get(("vcard-folder", BIG, f"breakdown_variant_{key}_ms"), []))
        md.append(f"| {name} | {cell(s)} |")
    md.append("")

# --- The service's listing ---
listing_ways = [("uids_only", "every UID only (`e_book_client_get_contacts_uids_sync`)"),
                ("by_uid_queries", "every UID, then the contacts 500 UIDs a query"),
                ("all_at_once", "every full contact in one `e_book_client_get_contacts_sync`"),
                ("cursor", "an `EBookClientCursor` sorted by family and given name, 500 a step"),
                ("fields_of_interest_view", "an `EBookClientView` with fields of interest UID, N parts, ORG, list flag (as the store follows the book)"),
                ("summary_fields_view", "the same view without ORG (summary fields only)")]
if get("eds", BIG, "eds_listing_by_uid_queries_ms"):
    service = get("eds", BIG, "service_cpu_per_request_ms")
    md.append(f"**The address-book service at {BIG:,} contacts.** Per request, the service's process spent "
              f"{cell(service)} ms of CPU time (our process: cold request {cell(get('eds', BIG, 'cold_cpu_ms'))} ms). "
              "Reading what the list shows of every contact, other ways, from a bare client without the window "
              "(ms; each way reads the family name, given name, organisation, UID and list flag of every contact):")
    md.append("")
    md.append("| Way | Time |")
    md.append("|---|---:|")
    for key, name in listing_ways:
        md.append(f"| {name} | {cell(get('eds', BIG, f'eds_listing_{key}_ms'))} |")
    md.append("")

# --- Targets ---
def verdict(ok):
    return "met" if ok else "**missed**"


targets = []
for store in STORES:
    warm = get(store, BIG, "warm_ms")
    if warm:
        targets.append((f"Warm request ≤ 150 ms at {BIG:,}, {STORE_NAMES[store]}", f"{fmt(warm[0])} ms",
                        warm[0] <= 150))
for store in STORES:
    if (store, BIG) in ratios and ratios[(store, BIG)][0]:
        over = ratios[(store, BIG)][0]
        targets.append((f"Cold ≤ 1.5× the library floor at {BIG:,}, {STORE_NAMES[store]}", f"{fmt(over)}×",
                        over <= 1.5))
for store in STORES:
    s = get(store, BIG, "select_ms")
    if s:
        targets.append((f"Selection < 10 ms, {STORE_NAMES[store]}", f"{fmt(s[0])} ms (max {fmt(s[2])})", s[0] < 10))
for store in STORES:
    peer, listen = get(store, BIG, "reply_peer_ms"), get(store, BIG, "reply_listen_ms")
    if peer and listen:
        targets.append((f"Reply turnaround < 10 ms, {STORE_NAMES[store]}",
                        f"{fmt(peer[0])} ms to the peer, {fmt(listen[0])} ms to listening", max(peer[0], listen[0]) < 10))
for store in ["vcard-folder", "eds"]:
    s = get(store, BIG, "program_rss_idle_kib")
    if s:
        targets.append((f"Idle RSS < 40 MB, {STORE_NAMES[store]}", f"{fmt(s[0] / 1024)} MiB", s[0] / 1024 < 40))
if rss_key in growth:
    steady = growth[rss_key][1]
    targets.append(("No memory growth over 1,000 sessions (RSS slope < 1 KiB/session)",
                    f"{fmt(steady)} KiB/session", steady < 1.0))
for store in STORES:
    s = get(store, BIG, "rss_after_session_kib")
    if s:
        targets.append((f"RSS after a {BIG:,}-contact session < 60 MB, {STORE_NAMES[store]}",
                        f"{fmt(s[0] / 1024)} MiB", s[0] / 1024 < 60))
for store in STORES:
    for size in SIZES:
        if (store, size) in ratios and ratios[(store, size)][1]:
            k = ratios[(store, size)][1]
            targets.append((f"≥ 50× faster than khard, cold, {size:,} contacts, {STORE_NAMES[store]}", f"{fmt(k)}×",
                            k >= 50))

targets_start = len(md)
md.append("**Targets**")
md.append("")
md.append("| Target | Figure | |")
md.append("|---|---:|---|")
for name, figure, ok in targets:
    md.append(f"| {name} | {figure} | {verdict(ok)} |")
    rows.append(["target", "", "", name, "", figure, "", "", "met" if ok else "missed"])
md.append("")

(out_dir / "results.md").write_text("\n".join(md) + "\n")
if readme_path:
    begin, end = "<!-- bench-results:begin -->", "<!-- bench-results:end -->"
    readme = readme_path.read_text()
    head, rest = readme.split(begin)
    tail = rest.split(end)[1]
    excerpt = [machine_line, "", "![Request latency against address-book size](bench/results/request-latency.png)",
               ""] + md[latency_start:latency_end] + md[targets_start:]
    readme_path.write_text(head + begin + "\n" + "\n".join(excerpt) + end + tail)
with open(out_dir / "results.csv", "w", newline="") as out:
    writer = csv.writer(out)
    writer.writerow(["section", "store", "contacts", "metric", "n", "median", "min", "max", "unit"])
    writer.writerows(rows)
print((out_dir / "results.md").read_text())
