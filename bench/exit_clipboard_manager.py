#!/usr/bin/env python3
"""Exit time while MERU owns the clipboard, against the same Exit with no
clipboard manager running (the floor, measured in the same run).

In one private X session (tests/e2e/run-xsession) MERU takes the clipboard
(a history entry chosen with `meru --select 1`) and is told `meru --exit`;
the figure is the time from the command to the end of the process, median
of --repeats runs, for
  none    - no clipboard manager: the floor;
  answer  - a manager that fetches the clipboard's text when asked to save it
            (tests/e2e/clipboard_manager.py), with a small and a large text;
  never   - a manager that owns CLIPBOARD_MANAGER and never answers.
Prints ratios against the floor with the load average, and writes
<out>/exit_clipboard_manager.json.

  exit_clipboard_manager.py --build BUILD --out OUT [--repeats N]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
E2E = os.path.join(os.path.dirname(HERE), "tests", "e2e")
sys.path.insert(0, E2E)
MANAGER = os.path.join(E2E, "clipboard_manager.py")


def command(meru, *args):
    return subprocess.run([meru, *args], capture_output=True, text=True, timeout=60,
                          stdin=subprocess.DEVNULL)


def one_exit(xs, meru, mode, size):
    """Seconds from `meru --exit` to the end of a MERU that owns `size` bytes
    of clipboard, with a manager of `mode` running."""
    work = xs.temp_dir()
    manager = None
    try:
        if mode != "none":
            args = [sys.executable, MANAGER, mode] + (
                [os.path.join(work, "saved")] if mode == "answer" else [])
            manager = subprocess.Popen(args, stdout=subprocess.PIPE)
            assert manager.stdout.readline().strip() == b"ready"
        d = xs.Display()
        m = xs.Meru(meru, os.path.join(work, "b.mer"), cwd=work)
        try:
            m.wait_main_window(d)
            xs.wait_for(lambda: command(meru, "--show", "main").returncode == 0, timeout=15,
                        interval=0.1, what="the command channel")
            text = (b"x" * 99 + b"\n") * max(1, size // 100)
            p = subprocess.Popen(["xclip", "-selection", "clipboard", "-i", "-loops", "1",
                                  "-quiet"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
            p.communicate(text, timeout=30)

            def owned():
                command(meru, "--select", "1")
                r = subprocess.run(["xclip", "-o", "-selection", "clipboard"],
                                   capture_output=True, timeout=30)
                return r.stdout == text
            xs.wait_for(owned, timeout=30, interval=0.1, what="MERU owning the clipboard")
            t0 = time.monotonic()
            command(meru, "--exit")
            m.wait_exit(timeout=60)
            return time.monotonic() - t0
        finally:
            xs.stop(m.proc)
            d.close()
    finally:
        if manager:
            manager.stdout.close()
            xs.stop(manager)
        xs.remove_tree(work)


def inner(args):
    import xsession as xs
    meru = os.path.join(args.build, "src", "app", "meru")
    cases = [("none", 1000), ("answer", 1000), ("answer", 2_000_000), ("never", 1000)]
    results = {}
    for mode, size in cases:
        runs = [one_exit(xs, meru, mode, size) for _ in range(args.repeats)]
        results[f"{mode}/{size}"] = {"median_s": statistics.median(runs), "runs_s": runs}
    floor = results["none/1000"]["median_s"]
    load = os.getloadavg()
    print(f"exit_clipboard_manager: load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f} "
          "(shared machine)")
    for name, r in results.items():
        r["ratio_to_floor"] = r["median_s"] / floor if floor else None
        print(f"  {name:16s} median {r['median_s'] * 1000:7.0f} ms  "
              f"x{r['ratio_to_floor']:.1f} of no manager")
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "exit_clipboard_manager.json"), "w") as f:
        json.dump({"load_average": load, "results": results}, f, indent=1)
    return 0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--repeats", type=int, default=5)
    p.add_argument("--inner", action="store_true")
    args = p.parse_args()
    args.build = os.path.abspath(args.build)
    args.out = os.path.abspath(args.out)
    if args.inner:
        return inner(args)
    return subprocess.call([os.path.join(E2E, "run-xsession"), "--own-display", sys.executable,
                            os.path.abspath(__file__), "--inner", "--build", args.build,
                            "--out", args.out, "--repeats", str(args.repeats)])


if __name__ == "__main__":
    sys.exit(main())
