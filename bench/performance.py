#!/usr/bin/python3
"""The updater against the virtual card, paced at the wire's rate and unpaced.

    bench/performance.py [--build DIR] [--only NAME,...] [--no-wine] [--no-doc]
    bench/performance.py --lines [--image-kib N] [--timing PROFILE] [--rack-sizes N,...]
                         [--build DIR] [--no-doc]

Runs each job of RUNS against cardsim, once with wire pacing (every byte
takes its 10 bits at the line's rate, both ways) and once without, for the
Linux build and for the Windows build under Wine, and prints one table row
per run. Writes the tables and a plot of VIPER's time against image size
into docs/performance.md and docs/performance-viper.png (between the bench
markers: text outside them is kept).

Columns: payload bytes (the job's own data), wire bytes (both ways),
wire-limit (wire time plus the fixed pauses the card saw plus the card's
answer time), measured (the line's span: host's first byte to the last byte
either way), card late (how late the simulated card's answers left, summed:
the simulation's own share of measured), the ratio of measured less card late
to wire-limit, the host's turnaround median and 99th percentile
(card's last byte to the host's next command) and their sum over the run
(most of what separates measured from wire-limit), the updater's CPU time and
peak memory (under Wine: the Wine process of the updater, not wineserver),
and its wall time from start to exit.

Paced runs overlap (they wait on the wire, not on the CPU); unpaced runs
two at a time. The whole takes about 10 minutes on two cores.

With --lines it measures real lines instead (Linux build, paced VIPER of a
512 KiB image): through a USB adapter of 16 ms and of 1 ms latency timer,
with the updater's standard error (the slow-line advice); and N = 1, 2, 4,
8, 16 updates at once (or --rack-sizes), each with its own cardsim and port,
with the worst and median ratio, the updaters' summed CPU time and the peak
memory per updater. --timing gives every card of these runs cardsim's timing
profile (`real`: the devices' own times, counted in the wire-limit as the
card's). It writes its own section of docs/performance.md (between the
bench-lines markers) and docs/performance-rack.png. About 15 minutes.
"""
import argparse
import concurrent.futures
import datetime
import os
import pathlib
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading

HERE = pathlib.Path(__file__).resolve().parent.parent
KIB = 1024
PACED_WORKERS = 4
UNPACED_WORKERS = 2
KILL_AFTER_S = 1500
WINE_PORTS = PACED_WORKERS  # COM1..COMn, one per concurrent Wine run

# Goals: measured/wire-limit for the jobs under the standard profile,
# turnaround median and p99, CPU share of the wall time, peak memory.
RATIO_GOAL = 1.02
RATIO_JOBS = ("VIPER", "VERIFY", "FPGA", "MICRO")
MEDIAN_GOAL_US = 200
P99_GOAL_US = 2000
CPU_SHARE_GOAL = 0.10
PEAK_GOAL_KIB = 16 * KIB
# Lines: adapter latency timers, rack sizes, and the rack's goals.
ADAPTER_LATENCIES_MS = (16, 1)
RACK_SIZES = (1, 2, 4, 8, 16)
RACK_RATIO_GOAL = 1.03
RACK_RATIO_GOAL_AT = 16
RACK_CPU_SHARE_GOAL = 0.02


def random_file(path, size):
    with open(path, "wb") as f:
        f.write(os.urandom(size))


def srec(path, address):
    subprocess.run(["objcopy", "-I", "binary", "-O", "srec", "--srec-forceS3",
                    "--srec-len=16", "--change-addresses", hex(address),
                    path, path + ".srec"], check=True)
    return pathlib.Path(path + ".srec").read_text()


def viper_files(size):
    def make(work):
        random_file(work / "Device5.bin", size)
        random_file(work / "FDriver.bin", 4 * KIB)
        return ["VIPER", "Device5.bin"], []
    return make


def viper_done(work, out):
    return (work / "state" / "flash-device5.bin").read_bytes() == (work / "Device5.bin").read_bytes()


def verify_files(work):
    random_file(work / "Device5.bin", 2048 * KIB)
    return ["VERIFY", "Device5.bin"], ["--flash", "5=Device5.bin"]


def verify_done(work, out):
    return "Mismatch Total 0 " in out


MICRO_BODY = 256 * KIB
MICRO_BODY_ADDRESS = 0x800


def micro_files(work):
    for name, size in (("head.bin", 1024), ("body.bin", MICRO_BODY)):
        random_file(work / name, size)
    (work / "stop.bin").write_bytes(bytes(4))
    text = (srec(str(work / "head.bin"), 0) + srec(str(work / "body.bin"), MICRO_BODY_ADDRESS)
            + srec(str(work / "stop.bin"), 0xFFFF0000))
    (work / "appMain.mot").write_text(text)
    for kernel in ("uGen7144.cde", "Genm7144.cde", "Genw7144.cde"):
        random_file(work / kernel, 2000)
    return ["MICRO"], []


def micro_done(work, out):
    flash = (work / "state" / "micro-flash.bin").read_bytes()
    body = flash[MICRO_BODY_ADDRESS:MICRO_BODY_ADDRESS + MICRO_BODY]
    return "END...REBOOT THE DEVICE!" in out and body == (work / "body.bin").read_bytes()


# An XSVF stream of about 1 MB: XSDRSIZE, then XSDR instructions of 1000
# bytes each, then XCOMPLETE.
XSDR_BYTES = 1000
FPGA_STREAM = 1000 * KIB


def fpga_files(work):
    stream = bytearray([0x08]) + (XSDR_BYTES * 8).to_bytes(4, "big")
    while len(stream) + 1 + XSDR_BYTES + 1 <= FPGA_STREAM:
        stream += bytes([0x03]) + os.urandom(XSDR_BYTES)
    stream += bytes([0x00])
    (work / "fpga.xsvf").write_bytes(stream)
    return ["FPGA", "fpga.xsvf"], []


def fpga_done(work, out):
    return "Success" in out


def gamma_files(work):
    lines = ["%d,%d,%d" % (i, 1023 - i, i // 2) for i in range(1024)]
    (work / "gamma.csv").write_text("\n".join(lines) + "\n")
    return ["GAMMA", "gamma.csv"], []


def gamma_done(work, out):
    return "Press any key" not in out and "rror" not in out


def edid_files(work):
    random_file(work / "EDID.bin", 256)
    return ["EDID", "EDID.bin"], []


def edid_done(work, out):
    return "Sucess" in out


# name, job word, payload bytes, files and arguments, success test
RUNS = [
    ("VIPER 64 KiB", "VIPER", 64 * KIB, viper_files(64 * KIB), viper_done),
    ("VIPER 512 KiB", "VIPER", 512 * KIB, viper_files(512 * KIB), viper_done),
    ("VIPER 2 MiB", "VIPER", 2048 * KIB, viper_files(2048 * KIB), viper_done),
    ("VERIFY 2 MiB", "VERIFY", 2048 * KIB, verify_files, verify_done),
    ("FPGA 1 MB", "FPGA", FPGA_STREAM, fpga_files, fpga_done),
    ("MICRO 256 KiB", "MICRO", MICRO_BODY, micro_files, micro_done),
    ("GAMMA", "GAMMA", 3 * 1024 * 2, gamma_files, gamma_done),
    ("EDID 256", "EDID", 256, edid_files, edid_done),
]
UNAVAILABLE = "job is not available in this build"


def read_pairs(path, separator="="):
    pairs = {}
    for line in pathlib.Path(path).read_text().splitlines():
        key, sep, value = line.partition(separator)
        if sep:
            pairs[key.strip()] = value.strip()
    return pairs


class WinePorts:
    """A Wine prefix whose COM1..COMn are fixed links that cardsim makes."""

    def __init__(self, root):
        self.prefix = root / "wineprefix"
        self.links = [root / ("wine-com%d" % (n + 1)) for n in range(WINE_PORTS)]
        self.free = list(range(WINE_PORTS))
        self.lock = threading.Lock()
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        subprocess.run([str(HERE / "tests" / "wine-prefix.sh"), str(self.prefix), str(self.links[0])],
                       check=True)
        for n in range(1, WINE_PORTS):
            subprocess.run(["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM%d" % (n + 1),
                            "/t", "REG_SZ", "/d", str(self.links[n]), "/f"],
                           env=self.env, check=True, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=self.env, check=True)
        # One wineserver for all runs, kept alive between them.
        self.server = subprocess.Popen(["wineserver", "-f", "-p"], env=self.env)

    def take(self):
        with self.lock:
            return self.free.pop()

    def give(self, n):
        with self.lock:
            self.free.append(n)

    def close(self):
        subprocess.run(["wineserver", "-k"], env=self.env)
        self.server.wait()


def with_card(prepare, options):
    """`prepare` with more cardsim options."""
    def make(work):
        args, card = prepare(work)
        return args, card + options
    return make


def run_one(build, root, wine, name, job, payload, prepare, done, paced):
    system = "wine" if wine else "linux"
    work = root / ("%s-%s-%s" % (system, "paced" if paced else "unpaced", name.replace(" ", "-")))
    work.mkdir(parents=True)
    args, card = prepare(work)
    port = "COM1"
    env = dict(os.environ)
    slot = None
    cardsim = [str(build / "cardsim"), "--state", "state", "--kill-after", str(KILL_AFTER_S)]
    if paced:
        cardsim.append("--pace")
    if wine:
        slot = wine.take()
        port = "COM%d" % (slot + 1)
        cardsim += ["--port", port, "--link", str(wine.links[slot])]
        env = wine.env
        updater = ["wine", str(build / "windows" / "updater.exe")]
    else:
        updater = [str(build / "updater")]
    timing = ["/usr/bin/time", "-o", "time.txt", "-f",
              "wall=%e\nuser=%U\nsystem=%S\npeak_kib=%M"]
    try:
        with open(work / "out.txt", "wb") as out, open(work / "err.txt", "wb") as err:
            status = subprocess.run(cardsim + card + ["--"] + timing + updater + [port] + args,
                                    cwd=work, env=env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=err).returncode
    finally:
        if slot is not None:
            wine.give(slot)
    text = (work / "out.txt").read_text(errors="replace").replace("\r", "\n")
    row = {"name": name, "job": job, "payload": payload, "paced": paced, "system": system,
           "err": (work / "err.txt").read_text(errors="replace")}
    if UNAVAILABLE in text:
        row["missing"] = True
        return row
    row["ok"] = status == 0 and done(work, text)
    measure = read_pairs(work / "state" / "measure.txt")
    timed = read_pairs(work / "time.txt")
    row.update({
        "wire_bytes": int(measure["host_bytes"]) + int(measure["card_bytes"]),
        "limit_ms": float(measure["wire_limit_ms"]),
        "pause_ms": float(measure["pause_ms"]),
        "span_ms": float(measure["line_span_ms"]),
        "late_ms": float(measure["card_late_ms"]),
        "median_us": float(measure["turnaround_median_us"]),
        "p99_us": float(measure["turnaround_p99_us"]),
        "max_us": float(measure["turnaround_max_us"]),
        "turnaround_s": float(measure["turnaround_total_ms"]) / 1000,
        "overrun_max_ms": float(measure["pause_overrun_max_ms"]),
        "exchanges": int(measure["exchanges"]),
        "wall_s": float(timed["wall"]),
        "cpu_s": float(timed["user"]) + float(timed["system"]),
        "peak_kib": int(timed["peak_kib"]),
    })
    # The simulated card's own lateness is no part of the updater's time.
    row["ratio"] = (row["span_ms"] - row["late_ms"]) / row["limit_ms"] if row["limit_ms"] else 0
    if not row["ok"]:
        print("%s %s: the run failed (status %d), see %s" % (system, name, status, work), file=sys.stderr)
    return row


HEADER = ("| run | payload B | wire B | wire-limit s | measured s | card late s | ratio "
          "| turnaround median us | p99 us | all turnarounds s | CPU s | peak KiB | wall s |")
RULE = "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"


def table_line(row):
    if row.get("missing"):
        return "| %s | %d | job not in this build | | | | | | | | | | |" % (row["name"], row["payload"])
    flag = "" if row["ok"] else " (FAILED)"
    return "| %s%s | %d | %d | %.2f | %.2f | %.2f | %.3f | %.0f | %.0f | %.2f | %.2f | %d | %.1f |" % (
        row["name"], flag, row["payload"], row["wire_bytes"], row["limit_ms"] / 1000,
        row["span_ms"] / 1000, row["late_ms"] / 1000, row["ratio"], row["median_us"], row["p99_us"], row["turnaround_s"],
        row["cpu_s"], row["peak_kib"], row["wall_s"])


def goal_misses(rows):
    misses = []
    for row in rows:
        if row.get("missing") or not row["ok"]:
            continue
        where = "%s %s %s" % (row["system"], "paced" if row["paced"] else "unpaced", row["name"])
        if row["paced"] and row["job"] in RATIO_JOBS and row["ratio"] > RATIO_GOAL:
            misses.append("%s: ratio %.3f above %.2f" % (where, row["ratio"], RATIO_GOAL))
        if row["median_us"] >= MEDIAN_GOAL_US:
            misses.append("%s: turnaround median %.0f us" % (where, row["median_us"]))
        if row["p99_us"] >= P99_GOAL_US:
            misses.append("%s: turnaround p99 %.0f us" % (where, row["p99_us"]))
        if row["cpu_s"] >= CPU_SHARE_GOAL * row["wall_s"]:
            misses.append("%s: CPU %.2f s of %.1f s wall" % (where, row["cpu_s"], row["wall_s"]))
        if row["peak_kib"] >= PEAK_GOAL_KIB:
            misses.append("%s: peak memory %d KiB" % (where, row["peak_kib"]))
    return misses


def new_plot():
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    return plt.subplots(figsize=(7, 4.5))


def save_plot(figure, axes, xlabel, ylabel, title, path):
    axes.set_xlabel(xlabel)
    axes.set_ylabel(ylabel)
    axes.set_title(title)
    axes.grid(True, alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(path, dpi=100)


def plot(rows, path):
    figure, axes = new_plot()
    series = [("linux", True, "Linux, paced", "o-"), ("wine", True, "Wine, paced", "s-"),
              ("linux", False, "Linux, unpaced", "o--"), ("wine", False, "Wine, unpaced", "s--")]
    viper = [r for r in rows if r["job"] == "VIPER" and not r.get("missing") and r["ok"]]
    for system, paced, label, style in series:
        points = sorted((r["payload"] / KIB, r["span_ms"] / 1000) for r in viper
                        if r["system"] == system and r["paced"] == paced)
        if points:
            axes.plot(*zip(*points), style, label=label)
    limit = sorted({(r["payload"] / KIB, r["limit_ms"] / 1000) for r in viper if r["paced"]})
    if limit:
        axes.plot(*zip(*limit), "k:", label="wire limit (115200 bit/s)")
    save_plot(figure, axes, "device-5 image size (KiB)", "measured time (s)", "VIPER: time against image size",
              path)


BEGIN = "<!-- bench:begin -->"
END = "<!-- bench:end -->"


def write_doc(rows, seconds, wine_version):
    docs = HERE / "docs"
    docs.mkdir(exist_ok=True)
    plot(rows, docs / "performance-viper.png")
    load = os.getloadavg()
    lines = [BEGIN, "",
             "Generated by `bench/performance.py` on %s (%s, %d cores, load average at the end %.1f), "
             "in %.0f s." % (datetime.date.today().isoformat(), platform.machine(), os.cpu_count(),
                              load[0], seconds), ""]
    for system, title in (("linux", "Linux build"), ("wine", "Windows build under %s" % wine_version)):
        for paced in (True, False):
            chosen = [r for r in rows if r["system"] == system and r["paced"] == paced]
            if not chosen:
                continue
            lines += ["### %s, %s" % (title, "paced at 115200 bit/s" if paced else "unpaced"), "",
                      HEADER, RULE] + [table_line(r) for r in chosen] + [""]
    lines += ["![VIPER time against image size](performance-viper.png)", ""]
    misses = goal_misses(rows)
    lines += ["Goals not met in this run:" if misses else "Every goal was met in this run.", ""]
    lines += ["- " + m for m in misses] + ([""] if misses else [])
    lines.append(END)
    replace_section(docs / "performance.md", BEGIN, END, lines[1:-1])


def run_lines(build, root, options):
    """The adapter rows and the rack rows (Linux build, paced VIPER)."""
    size = options.image_kib * KIB
    name = "VIPER %d KiB" % options.image_kib
    card = with_card(viper_files(size), ["--timing", options.timing])
    adapters = []
    with concurrent.futures.ThreadPoolExecutor(len(ADAPTER_LATENCIES_MS)) as pool:
        futures = [pool.submit(run_one, build, root, None, "%s adapter %d ms" % (name, ms), "VIPER", size,
                               with_card(card, ["--adapter-latency", str(ms)]),
                               viper_done, True)
                   for ms in ADAPTER_LATENCIES_MS]
        for ms, future in zip(ADAPTER_LATENCIES_MS, futures):
            adapters.append(dict(future.result(), latency_ms=ms))
            print(table_line(adapters[-1]), flush=True)
    racks = []
    for n in options.rack_sizes:
        with concurrent.futures.ThreadPoolExecutor(n) as pool:
            futures = [pool.submit(run_one, build, root, None, "%s rack %d #%d" % (name, n, k + 1), "VIPER",
                                   size, card, viper_done, True) for k in range(n)]
            rows = [f.result() for f in futures]
        racks.append(rack_summary(n, rows))
        print(rack_line(racks[-1]), flush=True)
    return adapters, racks


def rack_summary(n, rows):
    ratios = [r["ratio"] for r in rows]
    return {"n": n, "ok": sum(r["ok"] for r in rows), "worst": max(ratios), "median": statistics.median(ratios),
            "cpu_s": sum(r["cpu_s"] for r in rows), "wall_s": max(r["wall_s"] for r in rows),
            "cpu_share": max(r["cpu_s"] / r["wall_s"] for r in rows),
            "peak_kib": max(r["peak_kib"] for r in rows)}


ADAPTER_HEADER = ("| latency timer | wire-limit s | measured s | ratio | turnaround median us "
                  "| CPU s | wall s | standard error |")
ADAPTER_RULE = "|---:|---:|---:|---:|---:|---:|---:|---|"
RACK_HEADER = ("| updates at once | done | worst ratio | median ratio | summed CPU s "
               "| worst CPU share | peak KiB per updater | longest wall s |")
RACK_RULE = "|---:|---:|---:|---:|---:|---:|---:|---:|"


def adapter_line(row):
    said = " ".join(row["err"].split()).replace("|", "\\|") or "(nothing)"
    return "| %d ms%s | %.2f | %.2f | %.3f | %.0f | %.2f | %.1f | %s |" % (
        row["latency_ms"], "" if row["ok"] else " (FAILED)", row["limit_ms"] / 1000, row["span_ms"] / 1000,
        row["ratio"], row["median_us"], row["cpu_s"], row["wall_s"], said)


def rack_line(rack):
    return "| %d | %d | %.3f | %.3f | %.2f | %.2f%% | %d | %.1f |" % (
        rack["n"], rack["ok"], rack["worst"], rack["median"], rack["cpu_s"], 100 * rack["cpu_share"],
        rack["peak_kib"], rack["wall_s"])


def rack_misses(racks):
    misses = []
    for rack in racks:
        if rack["n"] == RACK_RATIO_GOAL_AT and rack["worst"] > RACK_RATIO_GOAL:
            misses.append("%d at once: worst ratio %.3f above %.2f" % (rack["n"], rack["worst"], RACK_RATIO_GOAL))
        if rack["cpu_share"] >= RACK_CPU_SHARE_GOAL:
            misses.append("%d at once: CPU %.2f%% of an update's wall time" % (rack["n"], 100 * rack["cpu_share"]))
        if rack["ok"] != rack["n"]:
            misses.append("%d at once: %d of the updates failed" % (rack["n"], rack["n"] - rack["ok"]))
    return misses


def plot_rack(racks, path):
    figure, axes = new_plot()
    sizes = [r["n"] for r in racks]
    axes.plot(sizes, [r["worst"] for r in racks], "o-", label="worst ratio")
    axes.plot(sizes, [r["median"] for r in racks], "s--", label="median ratio")
    axes.axhline(RACK_RATIO_GOAL, color="k", linestyle=":", label="goal at %d (%.2f)" % (RACK_RATIO_GOAL_AT, RACK_RATIO_GOAL))
    axes.set_xscale("log", base=2)
    axes.set_xticks(sizes)
    axes.set_xticklabels([str(n) for n in sizes])
    save_plot(figure, axes, "paced VIPER updates at once, each with its own card and port",
              "measured / wire-limit", "A rack of cards on one 2-core PC", path)


LINES_BEGIN = "<!-- bench-lines:begin -->"
LINES_END = "<!-- bench-lines:end -->"


def replace_section(doc, begin, end, lines):
    old = doc.read_text() if doc.exists() else "# Performance\n"
    if begin not in old:
        old += "\n%s\n%s\n" % (begin, end)
    head, _, rest = old.partition(begin)
    _, _, tail = rest.partition(end)
    doc.write_text(head + "\n".join([begin] + lines + [end]) + tail)


def write_lines_doc(adapters, racks, seconds, options, load_before):
    docs = HERE / "docs"
    plot_rack(racks, docs / "performance-rack.png")
    load = os.getloadavg()
    lines = ["", "Generated by `bench/performance.py --lines` on %s (%s, %d cores; load average "
             "%.2f before, %.2f at the end), in %.0f s. Linux build, VIPER of a %d KiB image "
             "paced at 115200 bit/s, cards with `--timing %s`." % (
                 datetime.date.today().isoformat(), platform.machine(), os.cpu_count(), load_before, load[0],
                 seconds, options.image_kib, options.timing), "",
             "### Through a USB adapter", "", ADAPTER_HEADER, ADAPTER_RULE]
    lines += [adapter_line(r) for r in adapters]
    lines += ["", "### Updates at once", "", RACK_HEADER, RACK_RULE] + [rack_line(r) for r in racks]
    lines += ["", "![Ratio against updates at once](performance-rack.png)", ""]
    misses = rack_misses(racks)
    lines += ["Goals not met in this run:" if misses else "Every goal was met in this run.", ""]
    lines += ["- " + m for m in misses] + ([""] if misses else [])
    replace_section(docs / "performance.md", LINES_BEGIN, LINES_END, lines)


def ensure_built(build, wine):
    needed = [build / "cardsim", build / "updater"] + ([build / "windows" / "updater.exe"] if wine else [])
    if not all(p.exists() for p in needed):
        subprocess.run(["cmake", "-S", str(HERE), "-B", str(build)], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", str(build), "-j2"], check=True, stdout=subprocess.DEVNULL)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=str(HERE / "build"))
    parser.add_argument("--only", help="comma-separated job words, e.g. VIPER,MICRO")
    parser.add_argument("--no-wine", action="store_true")
    parser.add_argument("--no-doc", action="store_true", help="print the table only")
    parser.add_argument("--keep", action="store_true", help="keep the run directories")
    parser.add_argument("--lines", action="store_true", help="adapters and updates at once")
    parser.add_argument("--image-kib", type=int, default=512, help="image size of --lines")
    parser.add_argument("--timing", default="instant", help="cardsim's timing profile for --lines")
    parser.add_argument("--rack-sizes", type=lambda text: [int(n) for n in text.split(",")],
                        default=list(RACK_SIZES), help="updates at once for --lines, e.g. 1,4,16")
    options = parser.parse_args()
    build = pathlib.Path(options.build).resolve()
    ensure_built(build, wine=not options.lines and not options.no_wine)
    if options.lines:
        return main_lines(build, options)
    runs = [r for r in RUNS if not options.only or r[1] in options.only.split(",")]
    root = pathlib.Path(tempfile.mkdtemp(prefix="updater-bench-"))
    started = datetime.datetime.now()
    wine = None if options.no_wine else WinePorts(root)
    wine_version = "" if not wine else subprocess.run(
        ["wine", "--version"], capture_output=True, text=True).stdout.strip()
    systems = [None] + ([wine] if wine else [])
    rows = []
    try:
        for paced, workers in ((True, PACED_WORKERS), (False, UNPACED_WORKERS)):
            # Longest first, so the pool ends together.
            jobs = [(system, run) for run in reversed(sorted(runs, key=lambda r: r[2]))
                    for system in systems]
            with concurrent.futures.ThreadPoolExecutor(workers) as pool:
                futures = [pool.submit(run_one, build, root, system, *run, paced) for system, run in jobs]
                for future in futures:
                    row = future.result()
                    rows.append(row)
                    print(("%-5s %-8s " % (row["system"], "paced" if paced else "unpaced")) + table_line(row),
                          flush=True)
    finally:
        if wine:
            wine.close()
        if not options.keep:
            shutil.rmtree(root, ignore_errors=True)
        else:
            print("run directories kept in", root)
    order = {r[0]: i for i, r in enumerate(RUNS)}
    rows.sort(key=lambda r: (r["system"], not r["paced"], order[r["name"]]))
    seconds = (datetime.datetime.now() - started).total_seconds()
    print()
    print(HEADER)
    print(RULE)
    for row in rows:
        print(table_line(row).replace("| ", "| %s %s " % (row["system"], "paced" if row["paced"] else "unpaced"), 1))
    for miss in goal_misses(rows):
        print("goal not met:", miss)
    print("took %.0f s" % seconds)
    if not options.no_doc:
        write_doc(rows, seconds, wine_version)
    return 0 if all(r.get("missing") or r["ok"] for r in rows) else 1


def main_lines(build, options):
    root = pathlib.Path(tempfile.mkdtemp(prefix="updater-bench-lines-"))
    load_before = os.getloadavg()[0]
    started = datetime.datetime.now()
    try:
        adapters, racks = run_lines(build, root, options)
    finally:
        if not options.keep:
            shutil.rmtree(root, ignore_errors=True)
        else:
            print("run directories kept in", root)
    seconds = (datetime.datetime.now() - started).total_seconds()
    for miss in rack_misses(racks):
        print("goal not met:", miss)
    print("took %.0f s" % seconds)
    if not options.no_doc:
        write_lines_doc(adapters, racks, seconds, options, load_before)
    return 0 if all(r["ok"] for r in adapters) and all(r["ok"] == r["n"] for r in racks) else 1


if __name__ == "__main__":
    sys.exit(main())
