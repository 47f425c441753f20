#!/usr/bin/python3
"""What the wire trace costs: the same VIPER job with and without UPDATER_TRACE.

    bench/trace.py [--build DIR] [--repeat N]

Runs VIPER with a 64 KiB image against cardsim on the Linux build, paced at
the wire's rate and unpaced (where the host's own time is all there is),
N times each way (default 3), one run at a time, alternating without and
with the trace, and prints the medians: the line's span, the host's
turnaround, CPU time and wall time, and the trace's size. Takes about four
minutes. The figures go into docs/performance.md by hand.
"""
import argparse
import os
import pathlib
import shutil
import statistics
import sys
import tempfile

import performance

IMAGE = 64 * performance.KIB
NAME = "VIPER 64 KiB"
TRACE_FILE = "trace.txt"
COLUMNS = (("span_ms", "measured s", 1000), ("median_us", "turnaround median us", 1),
           ("p99_us", "p99 us", 1), ("cpu_s", "CPU s", 1), ("wall_s", "wall s", 1))


def one_run(build, root, paced, traced, n):
    if traced:
        os.environ["UPDATER_TRACE"] = TRACE_FILE
    else:
        os.environ.pop("UPDATER_TRACE", None)
    label = "%s %s %d" % (NAME, "traced" if traced else "plain", n)
    row = performance.run_one(build, root, None, label, "VIPER", IMAGE,
                              performance.viper_files(IMAGE), performance.viper_done, paced)
    work = root / ("linux-%s-%s" % ("paced" if paced else "unpaced", label.replace(" ", "-")))
    trace = work / TRACE_FILE
    row["trace_kib"] = trace.stat().st_size / 1024 if trace.exists() else 0
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=str(performance.HERE / "build"))
    parser.add_argument("--repeat", type=int, default=3)
    options = parser.parse_args()
    build = pathlib.Path(options.build).resolve()
    root = pathlib.Path(tempfile.mkdtemp(prefix="updater-bench-trace-"))
    print("| run | trace | " + " | ".join(c[1] for c in COLUMNS) + " | trace KiB |")
    print("|---|---|" + "---:|" * (len(COLUMNS) + 1))
    ok = True
    try:
        for paced in (True, False):
            rows = {False: [], True: []}
            for n in range(options.repeat):
                for traced in (False, True):
                    rows[traced].append(one_run(build, root, paced, traced, n))
            for traced in (False, True):
                ok = ok and all(r["ok"] for r in rows[traced])
                cells = ["%.3f" % statistics.median(r[key] / scale for r in rows[traced])
                         if scale != 1 else "%.2f" % statistics.median(r[key] for r in rows[traced])
                         for key, _, scale in COLUMNS]
                kib = statistics.median(r["trace_kib"] for r in rows[traced])
                print("| %s, %s | %s | %s | %.0f |" % (NAME, "paced" if paced else "unpaced",
                                                      "on" if traced else "off", " | ".join(cells), kib),
                      flush=True)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
