#!/usr/bin/python3
"""Summarises the benchmark programs' sample lines: for each case and way the median and the
spread (min-max) of its runs, the throughput where the bytes are known, the peak working set
where it was measured, and time ratios between ways measured in the same rounds. Optionally
writes the figures as CSV and plots throughput against size.

A sample line is "<case> <way> <seconds> <bytes|-> <peak working set bytes|->" (see
bench/BenchCommon.h); any other line is a note and is printed as it is.

  bench-figures.py SAMPLES [--ratio A/B ...] [--csv FILE] [--plot PNG --title TEXT]
"""
import argparse
import csv
import statistics

MB = 1e6
MIB = 1024 * 1024


def read_samples(path):
    cases = {}  # case -> way -> [(seconds, bytes, peak)], in the order the file has them
    notes = []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            fields = line.split()
            try:
                case, way, seconds, size, peak = fields
                run = (float(seconds), None if size == "-" else int(size), None if peak == "-" else int(peak))
            except ValueError:
                if line.strip():
                    notes.append(line.rstrip())
                continue
            cases.setdefault(case, {}).setdefault(way, []).append(run)
    return cases, notes


def spread(values):
    return statistics.median(values), min(values), max(values)


def summarise(runs):
    """The figures of one way in one case, as a dict of what it has."""
    seconds = [r[0] for r in runs]
    row = {"runs": len(runs)}
    row["median"], row["min"], row["max"] = spread(seconds)
    sizes = [r[1] for r in runs if r[1] is not None]
    if len(sizes) == len(runs) and row["min"] > 0:
        row["bytes"] = statistics.median(sizes)
        row["MBps"] = spread([b / s / MB for b, s in zip(sizes, seconds)])
    peaks = [r[2] for r in runs if r[2] is not None]
    if peaks:
        row["peak"] = (statistics.median(peaks) / MB, max(peaks) / MB)
    return row


def ratios(ways, asked):
    """Per-round time ratios for each "A/B" asked for whose ways both ran: the i-th run of A
    against the i-th of B, which met the same state of the machine."""
    found = []
    for name in asked:
        a, b = name.split("/", 1)
        if a in ways and b in ways:
            pairs = [x[0] / y[0] for x, y in zip(ways[a], ways[b]) if y[0] > 0]
            if pairs:
                found.append((name, len(pairs)) + spread(pairs))
    return found


def fmt_range(low, high, digits):
    return f"{low:.{digits}f}-{high:.{digits}f}"


def print_case(case, ways, found):
    rows = {way: summarise(runs) for way, runs in ways.items()}
    rounds = max(row["runs"] for row in rows.values())
    # Throughput and memory columns only where some way has them.
    has_mbps = any("MBps" in row for row in rows.values())
    has_peak = any("peak" in row for row in rows.values())
    print(f"== {case}: {rounds} runs" + (" of each way, interleaved round by round" if len(rows) > 1 else ""))
    head = f"  {'way':<20} {'runs':>4} {'median ms':>10} {'min-max ms':>20}"
    if has_mbps:
        head += f" {'MB/s':>8} {'min-max MB/s':>14}"
    if has_peak:
        head += f" {'peak WS MB (max)':>17}"
    print(head)
    for way, row in rows.items():
        line = f"  {way:<20} {row['runs']:>4} {row['median'] * 1e3:>10.2f} {fmt_range(row['min'] * 1e3, row['max'] * 1e3, 2):>20}"
        mbps, peak = row.get("MBps"), row.get("peak")
        if has_mbps:
            line += f" {f'{mbps[0]:.1f}' if mbps else '-':>8} {fmt_range(mbps[1], mbps[2], 1) if mbps else '-':>14}"
        if has_peak:
            line += f" {f'{peak[0]:.1f} ({peak[1]:.1f})' if peak else '-':>17}"
        print(line)
    for name, n, median, low, high in found:
        print(f"  time ratio {name}: {median:.2f} (median of {n} rounds; {fmt_range(low, high, 2)})")


def write_csv(path, cases, asked):
    with open(path, "w", newline="") as f:
        out = csv.writer(f)
        out.writerow(["case", "kind", "name", "runs", "median", "min", "max", "bytes",
                      "MBps_median", "MBps_min", "MBps_max", "peak_MB_median", "peak_MB_max"])
        for case, ways in cases.items():
            for way, runs in ways.items():
                row = summarise(runs)
                mbps = row.get("MBps", ("", "", ""))
                peak = row.get("peak", ("", ""))
                out.writerow([case, "seconds", way, row["runs"], f"{row['median']:.6f}", f"{row['min']:.6f}",
                              f"{row['max']:.6f}", row.get("bytes", "")]
                             + [f"{v:.2f}" if v != "" else "" for v in mbps + peak])
            for name, n, median, low, high in ratios(ways, asked):
                out.writerow([case, "time ratio", name, n, f"{median:.4f}", f"{low:.4f}", f"{high:.4f}"] + [""] * 6)


def plot(path, cases, title):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import matplotlib.ticker

    lines = {}  # way -> [(MiB, median, min, max)]
    for ways in cases.values():
        for way, runs in ways.items():
            row = summarise(runs)
            if "MBps" in row:
                lines.setdefault(way, []).append((row["bytes"] / MIB,) + row["MBps"])
    fig, ax = plt.subplots(figsize=(8, 5), dpi=120)
    sizes = sorted({p[0] for points in lines.values() for p in points})
    for i, (way, points) in enumerate(lines.items()):
        points.sort()
        # Each way a little aside from the others, so that their bars do not hide each other.
        shift = 2 ** (0.05 * (i - (len(lines) - 1) / 2))
        x = [p[0] * shift for p in points]
        y = [p[1] for p in points]
        err = [[p[1] - p[2] for p in points], [p[3] - p[1] for p in points]]
        ax.errorbar(x, y, yerr=err, marker="o", capsize=4, label=way)
    ax.set_xscale("log", base=2)
    ax.set_xticks(sizes)
    ax.set_xticklabels([f"{s:g}" for s in sizes])
    # curl runs several times faster than the rest: on a log scale each way's distance from
    # another is their ratio, wherever they lie.
    ax.set_yscale("log")
    ax.yaxis.set_major_formatter(matplotlib.ticker.FuncFormatter(lambda v, _: f"{v:g}"))
    ax.yaxis.set_minor_formatter(matplotlib.ticker.FuncFormatter(lambda v, _: f"{v:g}" if str(v)[0] in "25" else ""))
    ax.set_xlabel("file size (MiB)")
    ax.set_ylabel("throughput, MB/s (10^6 bytes per second; log scale)")
    ax.set_title(title, fontsize=10)
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()
    fig.tight_layout()
    fig.savefig(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("samples")
    parser.add_argument("--ratio", action="append", default=[], help="A/B: the time of way A over way B")
    parser.add_argument("--csv")
    parser.add_argument("--plot")
    parser.add_argument("--title", default="")
    args = parser.parse_args()

    cases, notes = read_samples(args.samples)
    for case, ways in cases.items():
        print_case(case, ways, ratios(ways, args.ratio))
    for note in notes:
        print(note)
    if args.csv:
        write_csv(args.csv, cases, args.ratio)
    if args.plot:
        plot(args.plot, cases, args.title)


if __name__ == "__main__":
    main()
