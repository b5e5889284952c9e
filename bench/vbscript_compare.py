#!/usr/bin/env python3
"""Times the script runner against python3 on the same three programs
(recursive Fib(25), 100000 string appends, a dictionary of 100000 keys) and
prints time, peak memory and the ratios. Each program runs in a process of
its own; the best of N runs counts.

usage: bench/vbscript_compare.py [path/to/tarvelo-vbs] [runs]
"""
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAMS = ["fib", "append", "dict"]


def run(argv):
    start = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, 1)
        os.execvp(argv[0], argv)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("failed: " + " ".join(argv))
    return elapsed, usage.ru_maxrss / 1024.0  # KiB -> MiB


def best(argv, runs):
    results = [run(argv) for _ in range(runs)]
    return min(r[0] for r in results), max(r[1] for r in results)


def main():
    runner = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build-lang", "bin", "tarvelo-vbs")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    print(f"{'program':<8} {'vbs s':>8} {'vbs MiB':>8} {'py s':>8} {'py MiB':>8} {'time x':>7} {'mem x':>6}")
    for name in PROGRAMS:
        vt, vm = best([runner, os.path.join(HERE, "vbscript", name + ".vbs")], runs)
        pt, pm = best(["python3", os.path.join(HERE, "vbscript", name + ".py")], runs)
        print(f"{name:<8} {vt:8.3f} {vm:8.1f} {pt:8.3f} {pm:8.1f} {vt / pt:7.2f} {vm / pm:6.2f}")


if __name__ == "__main__":
    main()
