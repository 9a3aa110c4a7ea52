"""Per-text tokenize() from 2 Python threads against 1, on a free-threaded
CPython and on a GIL build, in the same run.

Each thread calls tokenize() once per passage (English-like passages of
500-550 characters, bench_regex_tokenizer.py's generator), all threads on
one shared instance, each thread on its own copy of the passages. One
thread tokenizes N passages; two threads N each, at once. The throughput
ratio is 2 x (1-thread time) / (2-thread time): 2x when the threads run
fully in parallel, 1x when they take turns. The lock-free part of a call
(the native tokenization) overlaps on a GIL build too; converting the text
and building the result do not.

Goals: on the free-threaded build at least 1.7x for RegexTokenizer.tokenize
and ICUWordPreTokenizer.tokenize, on 2 cores; the GIL build stays near 1x.

Beside the times: each thread's CPU time per call (when the threads slow
each other down, through shared cache lines or a lock, it grows with 2
threads) and how often a thread gave up the CPU to wait (for the GIL, on a
GIL build) per 1000 calls. On a machine that other processes keep busy the
times say little (2 threads need 2 free cores); these two still do.

The script runs the measurement itself in a child process of each
interpreter (--measure), the free-threaded one first:
  --free-threaded PY  (default: .venv-3.13t/bin/python, which
                       `bash scripts/test.sh` makes, or this interpreter
                       when it is free-threaded)
  --gil PY            (default: .venv/bin/python, or this interpreter)
Both need quarnel installed (scripts/setup.sh, scripts/test_python.sh 3.13t).

Run:  .venv/bin/python bench/bench_free_threading.py [--quick]
"""

from __future__ import annotations

import argparse
import json
import os
import resource
import subprocess
import sys
import sysconfig
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from _common import ROOT, Load, load_summary, machine_note, progress  # noqa: E402

CLASSES = ("RegexTokenizer", "ICUWordPreTokenizer")
TARGET_FT = 1.7


def measure(n: int, rounds: int) -> dict:
    """In this interpreter: the best 1-thread and 2-thread times of each
    class's per-text loop, the two alternating round after round."""
    import quarnel
    from bench_regex_tokenizer import english_passages

    passages = english_passages(n, seed=11)
    # Each thread its own str objects (no reference counts shared between
    # the threads but the instance's).
    copies = [[p.encode().decode() for p in passages] for _ in range(2)]
    instances = {"RegexTokenizer": quarnel.RegexTokenizer(), "ICUWordPreTokenizer": quarnel.ICUWordPreTokenizer()}
    for name, inst in instances.items():
        assert inst.tokenize(copies[0][0]) == inst.tokenize(copies[1][0]), name

    def timed(inst, threads: int) -> tuple:
        start = threading.Barrier(threads + 1)
        cpu, waits = [0.0] * threads, [0] * threads

        def loop(k):
            texts, tokenize = copies[k], inst.tokenize
            start.wait()
            c0, w0 = time.thread_time(), resource.getrusage(resource.RUSAGE_THREAD).ru_nvcsw
            for t in texts:
                tokenize(t)
            cpu[k] = time.thread_time() - c0
            waits[k] = resource.getrusage(resource.RUSAGE_THREAD).ru_nvcsw - w0

        workers = [threading.Thread(target=loop, args=(k,)) for k in range(threads)]
        for w in workers:
            w.start()
        with Load() as load:
            start.wait()
            t0 = time.perf_counter()
            for w in workers:
                w.join()
            t1 = time.perf_counter()
        # CPU per call (threads slowing each other down show here) and the
        # times a thread gave up the CPU waiting (for the GIL, say) per 1000 calls.
        return t1 - t0, load.others, 1e6 * sum(cpu) / (threads * n), 1000 * sum(waits) / (threads * n)

    out = {}
    for name, inst in instances.items():
        timed(inst, 2)  # warm up: thread-local state, caches
        best = {1: (float("inf"),), 2: (float("inf"),)}
        for r in range(rounds):
            for threads in (1, 2):
                seconds, others, cpu_us, waits = timed(inst, threads)
                bg = "" if others is None else f"  (others used {others:.2f} CPUs)"
                progress(f"  {name}, {threads} thread(s), round {r + 1}: {seconds:.3f} s, {cpu_us:.1f} us CPU "
                         f"a call, {waits:.0f} waits per 1000 calls{bg}")
                if seconds < best[threads][0]:
                    best[threads] = (seconds, others, cpu_us, waits)
        out[name] = {"one_s": best[1][0], "two_s": best[2][0], "ratio": 2 * best[1][0] / best[2][0],
                     "others": [best[1][1], best[2][1]], "cpu_us": [best[1][2], best[2][2]],
                     "waits": [best[1][3], best[2][3]]}
    return {"python": sys.version.split()[0], "executable": sys.executable,
            "free_threaded": bool(sysconfig.get_config_var("Py_GIL_DISABLED")),
            "gil_enabled": sys._is_gil_enabled() if hasattr(sys, "_is_gil_enabled") else True,
            "passages": n, "load": load_summary(), "results": out}


def default_interpreters() -> tuple:
    this_ft = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))
    ft = sys.executable if this_ft else next(
        (str(p) for p in sorted(ROOT.glob(".venv-3.*t/bin/python"), reverse=True)), None)
    gil = str(ROOT / ".venv" / "bin" / "python") if this_ft else sys.executable
    return ft, gil


def run_child(python: str, n: int, rounds: int) -> dict:
    progress(f"measuring in {python}")
    # Without PYTHON_GIL: the child must keep the GIL off by itself.
    env = {k: v for k, v in os.environ.items() if k != "PYTHON_GIL"}
    r = subprocess.run([python, __file__, "--measure", "-n", str(n), "--rounds", str(rounds)], env=env,
                       stdout=subprocess.PIPE, text=True)
    if r.returncode != 0:
        sys.exit(f"{python}: the measurement failed ({r.returncode})")
    return json.loads(r.stdout.strip().splitlines()[-1])


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ft_default, gil_default = default_interpreters()
    ap.add_argument("--free-threaded", default=ft_default, help="a free-threaded interpreter with quarnel")
    ap.add_argument("--gil", default=gil_default, help="a GIL interpreter with quarnel")
    ap.add_argument("-n", type=int, default=20000, help="passages per thread (default 20000)")
    ap.add_argument("--rounds", type=int, default=5, help="alternating 1- and 2-thread runs (default 5)")
    ap.add_argument("--quick", action="store_true", help="a small smoke run")
    ap.add_argument("--measure", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.quick:
        args.n, args.rounds = 300, 2
    if args.measure:
        print(json.dumps(measure(args.n, args.rounds)))
        return
    if not args.free_threaded or not Path(args.free_threaded).exists():
        sys.exit("no free-threaded interpreter with quarnel: run `bash scripts/test.sh` (its python3.13t "
                 "stage makes .venv-3.13t) or pass --free-threaded")
    reports = {"free-threaded": run_child(args.free_threaded, args.n, args.rounds),
               "GIL": run_child(args.gil, args.n, args.rounds)}

    print(f"# per-text tokenize(), 2 Python threads vs 1 ({machine_note()})")
    print(f"# {args.n} passages of 500-550 characters per thread, best of {args.rounds} alternating runs")
    failed = False
    for kind, rep in reports.items():
        print(f"\n{kind}: Python {rep['python']} ({rep['executable']}), GIL enabled: {rep['gil_enabled']}")
        if kind == "free-threaded" and (not rep["free_threaded"] or rep["gil_enabled"]):
            print("  NOT a free-threaded run: the GIL is on")
            failed = True
        for name in CLASSES:
            res = rep["results"][name]
            line = (f"  {name + '.tokenize':<34} 1 thread {res['one_s']:.3f} s, 2 threads {res['two_s']:.3f} s:"
                    f" {res['ratio']:.2f}x")
            details = (f"      CPU a call {res['cpu_us'][0]:.1f} us with 1 thread, {res['cpu_us'][1]:.1f} us with 2; "
                       f"waits per 1000 calls {res['waits'][0]:.0f} and {res['waits'][1]:.0f}")
            if kind == "free-threaded":
                met = res["ratio"] >= TARGET_FT
                failed |= not met
                line += f"   (target >= {TARGET_FT}x: {'met' if met else 'NOT met'})"
            print(line)
            print(details)
        print(f"  {rep['load']}")
    print("\n2-thread throughput ratios, free-threaded vs GIL:")
    for name in CLASSES:
        print(f"  {name + '.tokenize':<34} {reports['free-threaded']['results'][name]['ratio']:.2f}x vs "
              f"{reports['GIL']['results'][name]['ratio']:.2f}x")
    if failed:
        print("\n(a goal was not met; on a busy machine compare the background load above)")


if __name__ == "__main__":
    main()
