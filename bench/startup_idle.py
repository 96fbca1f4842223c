#!/usr/bin/env python3
"""Start-up time, resident memory and idle CPU of MERU against two others.

In one private X session (Xvfb + openbox + trayer, through
tests/e2e/run-xsession) it measures, for
  meru   - the organiser on a data file that does not exist yet (first start),
  floor  - bench/floor/floor_window, a Qt Widgets program with one window,
  copyq  - CopyQ, a Qt clipboard manager living in the tray (if installed),
  start-up : time from spawn to the main window being viewable, median of
             --repeats runs; seen through X events (CreateNotify/MapNotify,
             resolution well under 1 ms), not `xdotool search --sync`; with
             the CPU time the program used until then (/proc/<pid>/schedstat),
             which tells computing from waiting;
  memory   : sum of VmRSS (and Pss) over the program's process tree, read
             from /proc after it has settled for --settle seconds;
  idle CPU : utime+stime of the process tree over --idle seconds (clock-tick
             resolution, 10 ms), meru and CopyQ hidden in the tray, the floor's
             window shown; the X server's CPU over the same window is given too.
Prints a table with ratios against the floor and CopyQ, and the goals
(start-up and RSS within 1.5x of the floor, idle CPU at most the floor's plus
0.1% of one core), and writes <out>/startup_idle.json.

usage: startup_idle.py --build DIR --out DIR [--quick] [--idle S] [--repeats N]
"""

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
E2E = os.path.join(os.path.dirname(HERE), "tests", "e2e")
sys.path.insert(0, E2E)
import xsession as xs  # noqa: E402

CLK_TCK = os.sysconf("SC_CLK_TCK")


# --------------------------------------------------------------------------
# /proc readings

def tree_cpu_ticks(pid):
    total = 0
    for p in xs.process_tree(pid):
        try:
            with open(f"/proc/{p}/stat", "rb") as f:
                st = f.read()
        except OSError:
            continue
        fields = st[st.rindex(b")") + 2:].split()
        total += int(fields[11]) + int(fields[12])     # utime, stime
    return total


def tree_memory_kb(pid):
    """(VmRSS sum, Pss sum, number of processes) over pid's tree, in kB."""
    rss = pss = n = 0
    for p in xs.process_tree(pid):
        try:
            with open(f"/proc/{p}/status") as f:
                m = re.search(r"^VmRSS:\s+(\d+) kB", f.read(), re.M)
            rss += int(m.group(1)) if m else 0
            with open(f"/proc/{p}/smaps_rollup") as f:
                m = re.search(r"^Pss:\s+(\d+) kB", f.read(), re.M)
            pss += int(m.group(1)) if m else 0
            n += 1
        except OSError:
            continue
    return rss, pss, n


def tree_cpu_ns(pid):
    """CPU time of pid's tree in ns from /proc/<pid>/schedstat (exact, unlike
    the clock ticks of /proc/<pid>/stat)."""
    total = 0
    for p in xs.process_tree(pid):
        try:
            with open(f"/proc/{p}/schedstat") as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            continue
    return total


def proc_cpu_ticks(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            st = f.read()
    except OSError:
        return 0
    fields = st[st.rindex(b")") + 2:].split()
    return int(fields[11]) + int(fields[12])


def pid_alive(pid):
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            st = f.read()
        return st[st.rindex(b")") + 2:st.rindex(b")") + 3] != b"Z"
    except OSError:
        return False


# --------------------------------------------------------------------------
# The three programs

class Program:
    name = ""
    title = ""
    hide_for_idle = False

    def __init__(self, binary, workdir):
        self.binary = binary
        self.workdir = workdir
        self.proc = None
        self.pid = 0            # the program's main process (owner of the window)
        self.window = 0

    def argv(self):
        raise NotImplementedError

    def env(self):
        return dict(os.environ)

    def start(self):
        self.proc = subprocess.Popen(self.argv(), env=self.env(), cwd=self.workdir,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)

    def alive(self):
        return self.proc.poll() is None

    def started(self, display, window):
        self.window = window
        self.pid = display.window_pid(window) or self.proc.pid

    def stop(self):
        if self.pid and self.pid != self.proc.pid and pid_alive(self.pid):
            os.kill(self.pid, 15)
            xs.wait_for(lambda: not pid_alive(self.pid), timeout=10, what=f"{self.name} ends")
        xs.stop(self.proc)


class Meru(Program):
    name = "meru"
    hide_for_idle = True

    def __init__(self, binary, workdir):
        super().__init__(binary, workdir)
        self.data = os.path.join(workdir, "bench.mer")
        self.title = xs.main_title_rx(self.data)

    def argv(self):
        if os.path.exists(self.data):
            os.unlink(self.data)        # every run is a first start
        return [self.binary, self.data]


class Floor(Program):
    name = "floor"
    title = "^MERU floor window$"

    def argv(self):
        return [self.binary, "MERU floor window"]


class CopyQ(Program):
    name = "copyq"
    title = "^CopyQ$"
    hide_for_idle = True

    def env(self):
        # a fresh configuration for every run: no history, default settings
        cfg = tempfile.mkdtemp(prefix="copyq-", dir=self.workdir)
        env = dict(os.environ)
        env.update(XDG_CONFIG_HOME=os.path.join(cfg, "config"),
                   XDG_DATA_HOME=os.path.join(cfg, "data"),
                   XDG_CACHE_HOME=os.path.join(cfg, "cache"))
        self._env = env
        return env

    def argv(self):
        # the server forks away from this process; the window's _NET_WM_PID
        # names it
        return [self.binary, "--start-server", "show"]

    def alive(self):
        return True     # the launcher ends by design once the server runs

    def stop(self):
        if self.pid and pid_alive(self.pid):
            subprocess.run([self.binary, "exit"], env=self._env, timeout=20,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                xs.wait_for(lambda: not pid_alive(self.pid), timeout=10, what="copyq ends")
            except TimeoutError:
                os.kill(self.pid, 9)
        xs.stop(self.proc)


# --------------------------------------------------------------------------

def one_start(display, prog, settle, measure_memory=True):
    """Start prog, return start-up seconds and (after settling) its memory."""
    watcher = xs.MapWatcher(display)
    try:
        t0 = time.monotonic()
        prog.start()
        t_map, win = watcher.wait(prog.title, timeout=30, alive=prog.alive)
        cpu_ns = tree_cpu_ns(prog.proc.pid)     # the launcher's tree, read at once
    finally:
        watcher.close()
    prog.started(display, win)
    if prog.pid != prog.proc.pid:               # a server that left the launcher
        cpu_ns = tree_cpu_ns(prog.pid) + tree_cpu_ns(prog.proc.pid)
    result = {"startup_s": t_map - t0, "startup_cpu_s": cpu_ns / 1e9}
    if measure_memory:
        time.sleep(settle)      # a measuring interval: let the program settle
        rss, pss, n = tree_memory_kb(prog.pid)
        result.update(rss_kb=rss, pss_kb=pss, processes=n)
    return result


def idle_cpu(display, prog, seconds, server_pid):
    if prog.hide_for_idle:
        display.close_window(prog.window)
        display.wait_gone(prog.window, timeout=10)
    time.sleep(1.0)             # let the hide's repaint and bookkeeping pass
    c0, s0, t0 = tree_cpu_ticks(prog.pid), proc_cpu_ticks(server_pid), time.monotonic()
    time.sleep(seconds)
    c1, s1, t1 = tree_cpu_ticks(prog.pid), proc_cpu_ticks(server_pid), time.monotonic()
    if not pid_alive(prog.pid):
        raise RuntimeError(f"{prog.name} ended while idle")
    wall = t1 - t0
    return {"idle_s": wall,
            "idle_cpu_s": (c1 - c0) / CLK_TCK,
            "idle_cpu_pct": 100.0 * (c1 - c0) / CLK_TCK / wall,
            "server_cpu_s": (s1 - s0) / CLK_TCK if server_pid else None,
            "hidden_in_tray": prog.hide_for_idle}


def measure(args):
    build = os.path.abspath(args.build)
    meru_bin = os.path.join(build, "src", "app", "meru")
    floor_bin = os.path.join(build, "bench", "floor_window")
    copyq_bin = shutil.which("copyq")
    for path, what in ((meru_bin, "meru"), (floor_bin, "floor_window")):
        if not os.access(path, os.X_OK):
            print(f"startup_idle: {what} not built at {path}", file=sys.stderr)
            return 1
    workdir = tempfile.mkdtemp(prefix="meru-bench-")
    server_pid = int(os.environ.get("RUN_XSESSION_SERVER_PID", "0"))
    display = xs.Display()
    progs = [Meru(meru_bin, workdir), Floor(floor_bin, workdir)]
    if copyq_bin:
        progs.append(CopyQ(copyq_bin, workdir))
    else:
        print("startup_idle: copyq is not installed; measuring without it", file=sys.stderr)

    results = {p.name: {"runs": []} for p in progs}
    try:
        # start-ups interleaved, so a slow moment of the machine hits all alike;
        # the last run of each program stays up for the idle measurement
        for i in range(args.repeats):
            for p in progs:
                r = one_start(display, p, args.settle)
                results[p.name]["runs"].append(r)
                if i == args.repeats - 1:
                    results[p.name].update(idle_cpu(display, p, args.idle, server_pid))
                p.stop()
    finally:
        for p in progs:
            if p.proc is not None:
                try:
                    p.stop()
                except Exception as e:       # keep tearing the others down
                    print(f"startup_idle: stopping {p.name}: {e}", file=sys.stderr)
        display.close()
        shutil.rmtree(workdir, ignore_errors=True)

    for name, r in results.items():
        runs = r["runs"]
        r["startup_ms_median"] = 1000 * statistics.median(x["startup_s"] for x in runs)
        r["startup_ms_min"] = 1000 * min(x["startup_s"] for x in runs)
        r["startup_ms_max"] = 1000 * max(x["startup_s"] for x in runs)
        r["startup_cpu_ms_median"] = 1000 * statistics.median(x["startup_cpu_s"] for x in runs)
        r["rss_mb_median"] = statistics.median(x["rss_kb"] for x in runs) / 1024
        r["pss_mb_median"] = statistics.median(x["pss_kb"] for x in runs) / 1024
        r["processes"] = runs[-1]["processes"]

    report(results, args)
    return 0


def ratio(a, b):
    return a / b if b else float("inf")


def report(results, args):
    m, f, c = results["meru"], results["floor"], results.get("copyq")
    print(f"\nstart-up (spawn -> main window viewable, median of {args.repeats}), memory "
          f"after {args.settle:g} s, idle CPU over {args.idle:g} s")
    print(f"{'program':<8} {'start-up ms':>12} {'(min-max)':>15} {'CPU ms':>7} {'RSS MB':>8} "
          f"{'PSS MB':>8} {'procs':>5} {'idle CPU s':>10} {'% core':>8} {'X srv s':>8}")
    for name, r in results.items():
        srv = "-" if r["server_cpu_s"] is None else f"{r['server_cpu_s']:.2f}"
        print(f"{name:<8} {r['startup_ms_median']:>12.1f} "
              f"{'(%.0f-%.0f)' % (r['startup_ms_min'], r['startup_ms_max']):>15} "
              f"{r['startup_cpu_ms_median']:>7.1f} {r['rss_mb_median']:>8.1f} {r['pss_mb_median']:>8.1f} {r['processes']:>5} "
              f"{r['idle_cpu_s']:>10.2f} {r['idle_cpu_pct']:>8.3f} {srv:>8}")
    ratios = {"startup_vs_floor": ratio(m["startup_ms_median"], f["startup_ms_median"]),
              "rss_vs_floor": ratio(m["rss_mb_median"], f["rss_mb_median"]),
              "idle_pct_minus_floor": m["idle_cpu_pct"] - f["idle_cpu_pct"]}
    if c:
        ratios.update(startup_vs_copyq=ratio(m["startup_ms_median"], c["startup_ms_median"]),
                      rss_vs_copyq=ratio(m["rss_mb_median"], c["rss_mb_median"]))
    print(f"\nmeru / floor: start-up x{ratios['startup_vs_floor']:.2f}, "
          f"RSS x{ratios['rss_vs_floor']:.2f}, idle CPU "
          f"{ratios['idle_pct_minus_floor']:+.3f} points of one core")
    if c:
        print(f"meru / copyq: start-up x{ratios['startup_vs_copyq']:.2f}, "
              f"RSS x{ratios['rss_vs_copyq']:.2f}")
    goals = {
        "startup_within_1.5x_floor": ratios["startup_vs_floor"] <= 1.5,
        "rss_within_1.5x_floor": ratios["rss_vs_floor"] <= 1.5,
        "idle_cpu_within_floor_plus_0.1pct": ratios["idle_pct_minus_floor"] <= 0.1,
    }
    for g, ok in goals.items():
        print(f"goal {g}: {'met' if ok else 'NOT met'}")
    os.makedirs(args.out, exist_ok=True)
    out = os.path.join(args.out, "startup_idle.json")
    with open(out, "w") as fobj:
        json.dump({"settings": {"repeats": args.repeats, "idle_s": args.idle,
                                "settle_s": args.settle, "clk_tck": CLK_TCK,
                                "startup_detection": "X CreateNotify/MapNotify events, "
                                                     "window viewable; sub-ms resolution"},
                   "programs": results, "ratios": ratios, "goals": goals}, fobj, indent=2)
    print(f"written {out}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True, help="build folder (src/app/meru, bench/floor_window)")
    ap.add_argument("--out", required=True, help="folder for startup_idle.json")
    ap.add_argument("--quick", action="store_true", help="idle for 10 s instead of 60 s")
    ap.add_argument("--idle", type=float, default=None, help="idle seconds (default 60)")
    ap.add_argument("--repeats", type=int, default=5, help="start-ups per program (median)")
    ap.add_argument("--settle", type=float, default=3.0, help="seconds before reading memory")
    args = ap.parse_args()
    if args.idle is None:
        args.idle = 10.0 if args.quick else 60.0
    args.out = os.path.abspath(args.out)
    if os.environ.get("RUN_XSESSION") != "1":
        # our own X session, so the figures do not depend on the caller's desktop
        runner = os.path.join(E2E, "run-xsession")
        return subprocess.call([runner, "--own-display", sys.executable, os.path.abspath(__file__),
                                *sys.argv[1:]])
    return measure(args)


if __name__ == "__main__":
    sys.exit(main())
