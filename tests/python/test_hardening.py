"""Threads, leaks, very large inputs and interrupts, for every class in the
tables of entry_points.py."""
import gc
import json
import os
import subprocess
import sys
import sysconfig
import textwrap
import tracemalloc

import pytest

import entry_points as ep
from conftest import UNDER_ASAN, UNDER_TSAN

HERE = os.path.dirname(os.path.abspath(__file__))


def run_child(source, timeout, env=None):
    """Runs `source` in a fresh interpreter that imports this directory's
    modules; returns the JSON object printed on its last line."""
    out = subprocess.run([sys.executable, "-c", source], capture_output=True, text=True, timeout=timeout,
                         cwd=HERE, env={**os.environ, **(env or {})})
    assert out.returncode == 0, out.stderr[-4000:]
    return json.loads(out.stdout.strip().splitlines()[-1])


# ---------------------------------------------------------------- stress

STRESS_CHILD = textwrap.dedent("""
    import json, random, sys, threading, time
    import entry_points as ep

    THREADS, ROUNDS = int(sys.argv[1]), int(sys.argv[2])

    def outcome(job, inst):
        try:
            return ("ok", job.run(inst))
        except BaseException as e:
            return (type(e).__name__, str(e) if job.exact else "")

    jobs = []
    for name, make in ep.STRESS.items():
        inst, class_jobs = make()
        jobs += [(job, inst) for job in class_jobs]
    expected = [outcome(job, inst) for job, inst in jobs]
    for (job, _), (kind, _) in zip(jobs, expected):
        assert kind == ("ok" if job.raises is None else job.raises.__name__), (job.label, kind)

    mismatches, calls = [], [0]
    lock = threading.Lock()
    start = threading.Barrier(THREADS)

    def worker(seed):
        order = list(range(len(jobs))) * ROUNDS
        random.Random(seed).shuffle(order)
        start.wait()
        for k in order:
            got = outcome(*jobs[k])
            with lock:
                calls[0] += 1
                if got != expected[k]:
                    mismatches.append((jobs[k][0].label, repr(got)[:200]))

    t0 = time.monotonic()
    threads = [threading.Thread(target=worker, args=(i,)) for i in range(THREADS)]
    for t in threads: t.start()
    for t in threads: t.join()
    print(json.dumps({"threads": THREADS, "jobs": len(jobs), "calls": calls[0],
                      "failing_calls": sum(THREADS * ROUNDS for _, (kind, _) in zip(jobs, expected) if kind != "ok"),
                      "seconds": round(time.monotonic() - t0, 2), "mismatches": mismatches[:10]}))
""")


@pytest.mark.parametrize("workers", [None, "1"])
def test_threads_share_every_class(workers):
    """20 Python threads run every class's calls (succeeding and failing ones,
    several batches on the pool at once, annotate's nested stages among them)
    on shared instances: the same outcomes as one thread, and no deadlock
    (the child has a time limit)."""
    env = {} if workers is None else {"RAYON_NUM_THREADS": workers}
    # A ThreadSanitizer build of a free-threaded interpreter runs its own
    # code instrumented too, and all 20 threads at once.
    rounds = "3" if UNDER_ASAN or (UNDER_TSAN and sysconfig.get_config_var("Py_GIL_DISABLED")) else "20"
    report = run_child(STRESS_CHILD.replace("sys.argv[1]", "'20'").replace("sys.argv[2]", repr(rounds)),
                       timeout=900, env=env)
    print(workers, report)
    assert report["mismatches"] == []
    assert report["calls"] == 20 * int(rounds) * report["jobs"]


# ---------------------------------------------------------------- leaks

def _rss_kb():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


def _burst(case, n):
    for _ in range(n):
        try:
            case.run(*case.args)
        except BaseException as e:  # noqa: B036 - PanicException derives from BaseException
            if case.raises is None or not isinstance(e, case.raises):
                raise
            del e
        else:
            assert case.raises is None, f"{case.label}: no {case.raises.__name__}"


def leak_cases():
    for name, make in ep.LEAK.items():
        for case in make():
            yield pytest.param(name, case, id=f"{name}-{case.label}")


@pytest.mark.parametrize("cls_name, case", list(leak_cases()))
def test_repeated_calls_leak_nothing(cls_name, case):
    """Each call, succeeding or failing, repeated: the arguments' reference
    counts stay the same, no Python memory stays allocated, and resident
    memory stays flat (native leaks of any size are LeakSanitizer's job in
    scripts/sanitize.sh, which runs this test too)."""
    n = max(3, int((50 if UNDER_ASAN else 400) * case.scale))
    _burst(case, n)
    gc.collect()
    refs = [sys.getrefcount(a) for a in case.args]
    if UNDER_ASAN:  # (conftest.TRACEMALLOC_UNDER_ASAN)
        _burst(case, n)
    else:
        tracemalloc.start()
        try:
            _burst(case, n)
            gc.collect()
            # A leak grows on every burst. On a free-threaded build memory can
            # stay allocated for a while after its last reference went (freed
            # once every thread has passed a safe point, or held by another
            # thread for a moment); that shows in some bursts, not in every one.
            grown = []
            for _ in range(3):
                before = tracemalloc.get_traced_memory()[0]
                _burst(case, n)
                gc.collect()
                grown.append(tracemalloc.get_traced_memory()[0] - before)
            grown = min(grown)
        finally:
            tracemalloc.stop()
        assert grown < 16 * 1024, f"{grown} bytes of Python objects kept by {n} calls"
    assert refs == [sys.getrefcount(a) for a in case.args]
    if not UNDER_ASAN:
        start = _rss_kb()
        _burst(case, 5 * n)
        assert _rss_kb() - start < 2048


# ---------------------------------------------------------------- sizes

HUGE_CHILD = textwrap.dedent("""
    import json, resource
    import numpy as np
    import quarnel
    import entry_points as ep

    def peak_kb():
        with open("/proc/self/status") as f:
            return next(int(l.split()[1]) for l in f if l.startswith("VmHWM"))

    case = next(c for c in ep.HUGE[CLASS] if c.label == LABEL)
    scope = {"np": np, "quarnel": quarnel}
    exec(case.setup, scope)
    data = scope["data"]
    size = data.nbytes if hasattr(data, "nbytes") else (
        len(data.encode()) if isinstance(data, str) else
        sum(len(k) + sum(map(len, v)) for k, v in data.items()) if isinstance(data, dict) else
        sum(map(len, data)))
    base = peak_kb()
    try:
        summary = eval(case.run, scope)
        outcome = "ok" if case.expect(summary) else "wrong: " + repr(summary)[:200]
    except MemoryError:
        outcome = "MemoryError"
    print(json.dumps({"input_bytes": size, "base_kb": base, "peak_kb": peak_kb(), "outcome": outcome}))
""")


def huge_cases():
    for name, cases in ep.HUGE.items():
        for case in cases:
            yield pytest.param(name, case.label, id=f"{name}-{case.label}", marks=pytest.mark.memory)


@pytest.mark.parametrize("cls_name, label", list(huge_cases()))
def test_very_large_inputs(cls_name, label):
    """Very long texts and tokens, a million documents, a 2 GB matrix: they
    work (or fail with MemoryError) in memory proportional to the input,
    which includes the Python results (about 60 bytes a token)."""
    source = HUGE_CHILD.replace("CLASS", repr(cls_name)).replace("LABEL", repr(label))
    report = run_child(source, timeout=600)
    print(label, report)
    assert report["outcome"] in ("ok", "MemoryError"), report
    extra = (report["peak_kb"] - report["base_kb"]) * 1024
    assert extra < 40 * report["input_bytes"] + (256 << 20), report


# ---------------------------------------------------------------- interrupts

INTERRUPT_CHILD = textwrap.dedent("""
    import json, os, signal, threading, time
    import numpy as np
    import quarnel
    import entry_points as ep

    # Python keeps SIGINT ignored when it starts with it ignored (as
    # commands started in the background by a script do).
    signal.signal(signal.SIGINT, signal.default_int_handler)

    def interrupted(call, how):
        # SIGINT arrives while the call runs without the interpreter lock;
        # the interpreter raises KeyboardInterrupt once it is back.
        started = threading.Event()
        def send():
            started.wait()
            time.sleep(0.05)
            if how == "raise_signal":
                signal.raise_signal(signal.SIGINT)
            else:
                os.kill(os.getpid(), signal.SIGINT)
        threading.Thread(target=send).start()
        try:
            started.set()
            call()
            time.sleep(5)  # the call beat the signal: it comes here
        except KeyboardInterrupt:
            return True
        return False

    class Interrupting:
        # A sequence whose reading is interrupted half way.
        def __len__(self):
            return 4
        def __getitem__(self, i):
            if i == 2:
                signal.raise_signal(signal.SIGINT)
            if i >= 4:
                raise IndexError(i)
            return "some text"

    report = {}
    for name, source in ep.INTERRUPT.items():
        jobs = ep.STRESS[name]()
        inst, cases = jobs
        ok = [c for c in cases if c.raises is None]
        before = [c.run(inst) for c in ok]
        # Compiled first: eval() of a source string would mark the
        # KeyboardInterrupt as unhandled and make the process exit with 130.
        code = compile(source, name, "eval")
        got = [interrupted(lambda: eval(code, {"quarnel": quarnel, "np": np}), how)
               for how in ("raise_signal", "kill")]
        for entry in ep.ENTRY_POINTS[name]:
            if entry.params and entry.params[0].kind == "texts":
                instance = getattr(quarnel, name)()
                try:
                    ep.invoke(entry, instance, (Interrupting(),), {})
                    got.append(False)
                except KeyboardInterrupt:
                    got.append(True)
        # Everything works as before afterwards, batches on the pool too.
        report[name] = {"interrupted": got, "same": [c.run(inst) for c in ok] == before}
    print(json.dumps(report))
""")


def test_interrupts_leave_the_process_usable():
    report = run_child(INTERRUPT_CHILD, timeout=600)
    assert report, "no class to test"
    for name, r in report.items():
        assert all(r["interrupted"]) and r["same"], (name, r)


# ---------------------------------------------------------------- fuzz bounds


def test_fuzz_targets_skip_calls_whose_pseudo_text_is_huge():
    # Valid calls, but their text runs to gigabytes: -inf with negatives
    # allowed saturates to 2**31 - 1 copies, whatever type the factor has.
    import numpy as np

    entries = {e.name: e for e in ep.ENTRY_POINTS["Converter"]}
    matrix, given = entries["convert_sparse_reps_to_pseudo_text_f32"], entries["convert_json_reps_to_pseudo_text"]
    reps = np.array([[-0.0049], [-np.inf]], np.float32)
    assert not matrix.feasible({"reps": reps, "allow_negative_values": True})
    assert not matrix.feasible({"reps": -reps, "quantization_factor": np.int64(3)})
    assert matrix.feasible({"reps": reps}) and matrix.feasible({"reps": reps, "allow_negative_values": np.False_})
    assert not given.feasible({"json_reps": [{"a": 2**31 - 1}]}) and given.feasible({"json_reps": ({"a": 9},)})
