#!/usr/bin/env python3
"""Times the script runner against CPython on the same three programs
(recursive Fib(25), 100000 string appends, a dictionary of 100000 keys).

For each program it prints the compute time of both, that is the CPU time
spent inside the process on the program itself with interpreter start-up
excluded (the runner's --time; for Python, the same measured around running
the file), the ratio of the two, and each process's peak memory (VmHWM). Each
program runs N times in a process of its own; the best run counts. CPU time
inside the process is what a busy machine disturbs least.

usage: bench/vbscript_compare.py [path/to/tarvelo-vbs] [runs]
The Python side is the interpreter running this script (not a launcher shim).
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAMS = ["fib", "append", "dict"]
# Runs a Python file the way the interpreter runs a script, timed from inside.
PY_TIMER = ("import runpy, sys, time\n"
            "t = time.process_time()\n"
            "runpy.run_path(sys.argv[1], run_name='__main__')\n"
            "sys.stderr.write('time: %.6f\\n' % (time.process_time() - t))\n"
            "hwm = [l for l in open('/proc/self/status') if l.startswith('VmHWM:')]\n"
            "sys.stderr.write('peak: %.1f\\n' % (int(hwm[0].split()[1]) / 1024.0 if hwm else 0))\n")


def run(argv):
    """(compute seconds, peak MiB) of one run, as the process reports them."""
    proc = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=False)
    err = proc.stderr.decode(errors="replace")
    if proc.returncode != 0:
        raise SystemExit("failed: " + " ".join(argv) + "\n" + err)
    value = {l.split(": ")[0]: float(l.split(": ")[1]) for l in err.splitlines() if l.startswith(("time: ", "peak: "))}
    return value["time"], value["peak"]


def best(argv, runs):
    results = [run(argv) for _ in range(runs)]
    return min(r[0] for r in results), max(r[1] for r in results)


def main():
    runner = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "bin", "tarvelo-vbs")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    print(f"CPython {sys.version.split()[0]}, best of {runs}; compute = CPU time in the process, start-up excluded")
    print(f"{'program':<8} {'vbs s':>8} {'py s':>8} {'time x':>7} {'vbs MiB':>8} {'py MiB':>8} {'mem x':>6}")
    for name in PROGRAMS:
        vt, vm = best([runner, "--time", os.path.join(HERE, "vbscript", name + ".vbs")], runs)
        pt, pm = best([sys.executable, "-c", PY_TIMER, os.path.join(HERE, "vbscript", name + ".py")], runs)
        print(f"{name:<8} {vt:8.4f} {pt:8.4f} {vt / pt:7.2f} {vm:8.1f} {pm:8.1f} {vm / pm:6.2f}")


if __name__ == "__main__":
    main()
