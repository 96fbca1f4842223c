#!/usr/bin/env python3
"""Clipboard capture latency: MERU against CopyQ, in the same X session.

This script owns the CLIPBOARD selection itself (through Tk) and offers a new
text in each round. The clipboard manager under test is told of the change
(XFixes), asks this script for the text and keeps it; the figure is the time
from taking the selection to the manager's request for the text, as seen by
the owner (both ends on the same machine, monotonic clock). Afterwards the
script checks that the manager really holds the last text: MERU through
Ctrl+n and `xclip -o`, CopyQ through `copyq read 0`.

  clip_latency.py --build BUILD --out OUT [--rounds N]

Without a working X display it runs itself under tests/e2e/run-xsession
(Xvfb, openbox, trayer). Writes OUT/clip_latency.json and prints a summary.
"""
import argparse
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
E2E = os.path.join(ROOT, "tests", "e2e")
sys.path.insert(0, E2E)

TEXT_TARGETS = ("UTF8_STRING", "STRING", "TEXT", "text/plain", "text/plain;charset=utf-8")


class Owner:
    """Owns CLIPBOARD with one text at a time and notes when it is read."""

    def __init__(self):
        import tkinter
        self.tk = tkinter.Tk()
        self.tk.withdraw()
        self.text = ""
        self.first_read = None
        self.requests = []
        cmd = self.tk.register(self._handle)
        for t in TEXT_TARGETS:
            self.tk.tk.call("selection", "handle", "-selection", "CLIPBOARD", "-type", t,
                            ".", cmd)

    def _handle(self, offset, maxchars):
        if self.first_read is None:
            self.first_read = time.monotonic()
        offset, maxchars = int(offset), int(maxchars)
        return self.text[offset:offset + maxchars]

    def offer(self, text, timeout=3.0):
        """Takes the selection with `text`; returns seconds until the first
        read of the text, or None when nobody read it within timeout."""
        self.text = text
        self.tk.update()        # late reads of the previous text land before the reset
        self.first_read = None
        t0 = time.monotonic()
        self.tk.tk.call("selection", "own", "-selection", "CLIPBOARD", ".")
        self.tk.tk.call("update", "idletasks")
        deadline = t0 + timeout
        while self.first_read is None and time.monotonic() < deadline:
            self.tk.tk.dooneevent(2)     # TCL_DONT_WAIT: poll, with a short sleep between
            if self.first_read is None:
                time.sleep(0.0002)
        return None if self.first_read is None else self.first_read - t0

    def settle(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self.tk.update()
            time.sleep(0.005)

    def close(self):
        self.tk.destroy()


def read_clip():
    r = subprocess.run(["xclip", "-o", "-selection", "clipboard"], capture_output=True, timeout=10)
    return r.stdout if r.returncode == 0 else None


def summarise(samples):
    ok = [s * 1000.0 for s in samples if s is not None]
    missed = sum(1 for s in samples if s is None)
    if not ok:
        return {"rounds": len(samples), "missed": missed}
    ok.sort()
    return {
        "rounds": len(samples),
        "missed": missed,
        "median_ms": round(statistics.median(ok), 3),
        "p90_ms": round(ok[min(len(ok) - 1, int(0.9 * len(ok)))], 3),
        "min_ms": round(ok[0], 3),
        "max_ms": round(ok[-1], 3),
    }


def run_rounds(owner, label, rounds):
    samples, texts = [], []
    for i in range(rounds):
        texts.append(f"{label} round {i} {random.random():.9f}")
        samples.append(owner.offer(texts[-1]))
        owner.settle(0.15 + random.random() * 0.1)
    return samples, texts


def bench_meru(meru_bin, rounds, workdir):
    import xsession as xs
    owner = Owner()
    d = xs.Display()
    data = os.path.join(workdir, "meru.mer")
    m = xs.Meru(meru_bin, data, cwd=workdir)
    try:
        m.wait_main_window(d, timeout=30)
        owner.settle(0.5)
        samples, texts = run_rounds(owner, "meru", rounds)
        # MERU holds the texts in order: Ctrl+1 gives the first round's text,
        # Ctrl+n the n-th (the session started with an empty clipboard)
        held = True
        for n in range(1, min(5, rounds) + 1):
            xs.xdotool("key", f"ctrl+{n}")
            owner.settle(0.2)
            held = held and read_clip() == texts[n - 1].encode()
        return samples, held
    finally:
        xs.stop(m.proc)
        d.close()
        owner.close()


def bench_copyq(rounds):
    if not shutil.which("copyq"):
        return None, None
    owner = Owner()
    proc = subprocess.Popen(["copyq"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 30
        while True:
            r = subprocess.run(["copyq", "eval", "1"], capture_output=True, timeout=30)
            if r.returncode == 0:
                break
            if time.monotonic() > deadline:
                raise RuntimeError("copyq server did not answer")
            time.sleep(0.2)
        owner.settle(0.5)
        samples, texts = run_rounds(owner, "copyq", rounds)
        owner.settle(0.5)
        r = subprocess.run(["copyq", "read", "0"], capture_output=True, timeout=30)
        held = r.stdout == texts[-1].encode()
        return samples, held
    finally:
        subprocess.run(["copyq", "exit"], capture_output=True, timeout=30)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        owner.close()


def inner(args):
    meru_bin = os.path.join(args.build, "src", "app", "meru")
    results = {"rounds": args.rounds}
    work = tempfile.mkdtemp(prefix="clip-bench-")
    try:
        if os.access(meru_bin, os.X_OK):
            s, held = bench_meru(meru_bin, args.rounds, work)
            results["meru"] = summarise(s)
            results["meru"]["holds_last"] = held
        else:
            results["meru"] = {"error": f"{meru_bin} not built"}
        s, held = bench_copyq(args.rounds)
        if s is not None:
            results["copyq"] = summarise(s)
            results["copyq"]["holds_last"] = held
        else:
            results["copyq"] = {"error": "copyq not installed"}
    finally:
        shutil.rmtree(work, ignore_errors=True)
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "clip_latency.json"), "w") as f:
        json.dump(results, f, indent=2)
    for name in ("meru", "copyq"):
        r = results[name]
        if "median_ms" in r:
            print(f"clip_latency {name:6s}: median {r['median_ms']:.2f} ms, p90 {r['p90_ms']:.2f} ms, "
                  f"min {r['min_ms']:.2f}, max {r['max_ms']:.2f}, missed {r['missed']}/{r['rounds']}, "
                  f"holds last text: {r.get('holds_last')}")
        else:
            print(f"clip_latency {name:6s}: {r}")
    ok = all("median_ms" in results[n] and results[n]["missed"] == 0 for n in ("meru",))
    return 0 if ok else 1


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--build", required=True)
    p.add_argument("--out", required=True)
    p.add_argument("--rounds", type=int, default=40)
    p.add_argument("--inner", action="store_true")
    args = p.parse_args()
    args.build = os.path.abspath(args.build)
    args.out = os.path.abspath(args.out)
    if args.inner:
        return inner(args)
    cmd = [os.path.join(E2E, "run-xsession"), "--own-display", sys.executable,
           os.path.abspath(__file__), "--inner", "--build", args.build, "--out", args.out,
           "--rounds", str(args.rounds)]
    return subprocess.call(cmd)


if __name__ == "__main__":
    sys.exit(main())
