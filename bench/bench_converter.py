"""Converter against the NumPy way of doing the same job.

The NumPy way: vectorised thresholding (`np.nonzero` over the batch, or
`np.flatnonzero` per row), the float32 product and floor, then the dicts
(and the pseudo texts) built in Python:

    rows, cols = np.nonzero((reps > 0.0001) | (reps < -0.0001))
    vals = np.floor(reps[rows, cols] * np.float32(q)).astype(np.int32)
    {str(c): v for c, v in zip(cols_of_row.tolist(), vals_of_row.tolist()) if v > 0}
    " ".join(" ".join([k] * v) for k, v in rep.items())

with vocabulary keys `vocab_dict[c]` in place of `str(c)` (the same dict
the Converter was given).

Workloads, seeded: batches of 128 x 30,522 (a BERT-sized vocabulary),
float32 and float16:

- sparse: 100-300 weights in (0, 3] per row, exact zeros elsewhere; also
  with vocabulary keys (a synthetic 30,522-token vocabulary, mostly ASCII
  words and '##' pieces, about 5% non-ASCII);
- dense: every weight random and non-zero, in (0, 0.03] so that the
  frequencies stay small (0 to 2) and the pseudo texts fit in memory.

For each, in one interleaved schedule: the JSON and pseudo-text methods,
both NumPy ways, and two floors on the same data: `reps.sum()` (one pass
over the matrix, no Python objects) and the dicts from ready keys (the
same dicts built with `dict(zip(keys, values))` from key str and int
objects that already exist: what building the result costs at the least).
Ratios are NumPy-way time / our time (and NumPy-way time / floor time for
the floor), or our time / `reps.sum()` time.

Thread scaling, in subprocesses with RAYON_NUM_THREADS=1 and 2, alternating:
the native part of a JSON call (bench/native/bench_convert: every row
converted on the pool, the interpreter not involved) and the whole JSON
call as Python sees it.

Run:  .venv/bin/python bench/bench_converter.py [--quick]
  or  PYTHONPATH=build-dir python3 bench/bench_converter.py [--quick]
"""

from __future__ import annotations

import argparse
import gc
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))

from _common import (  # noqa: E402
    ENGLISH_WORDS,
    QUIET,
    Load,
    fmt_s,
    interleaved,
    load_quarnel,
    load_summary,
    machine_note,
    native_binary,
    native_scaling,
    progress,
    ratio_line,
    rounds_text,
)

VOCAB = 30522
THRESHOLD = np.float32(0.0001)

# The goals, all on the sparse workload but the pseudo text.
GOAL_JSON = 2.8
GOAL_VOCAB = 2.5
GOAL_F16 = 3.0
GOAL_TEXT = 5.0
GOAL_SCALING = 1.6


def sparse_batch(rows: int, cols: int, seed: int) -> np.ndarray:
    rng = np.random.default_rng(seed)
    reps = np.zeros((rows, cols), np.float32)
    for r in range(rows):
        n = int(rng.integers(100, 301))
        where = rng.choice(cols, n, replace=False)
        reps[r, where] = np.float32(3) - (rng.random(n) * 3).astype(np.float32)  # (0, 3]
    return reps


def dense_batch(rows: int, cols: int, seed: int) -> np.ndarray:
    rng = np.random.default_rng(seed)
    return (np.float32(0.03) - (rng.random((rows, cols)) * 0.03).astype(np.float32)).astype(np.float32)


def vocabulary(size: int, seed: int) -> dict:
    """{id: token} for ids 0..size-1, tokens unique: English words, with
    '##' word pieces and suffixes, about 5% of them non-ASCII."""
    rng = np.random.default_rng(seed)
    extra = ["é", "ß", "ñ", "αβ", "жи", "日本", "한", "😀"]
    out, seen = {}, set()
    for i in range(size):
        while True:
            word = ENGLISH_WORDS[int(rng.integers(len(ENGLISH_WORDS)))]
            pick = rng.random()
            if pick < 0.05:
                word += extra[int(rng.integers(len(extra)))]
            if rng.random() < 0.3:
                word = "##" + word
            if word in seen:
                word += str(int(rng.integers(1000)))
            if word not in seen:
                break
        seen.add(word)
        out[i] = word
    return out


# ------------------------------------------------------------ the NumPy way

def _keep(reps: np.ndarray) -> np.ndarray:
    if reps.dtype == np.float16:
        return reps > 0  # every positive half, subnormals included; never NaN
    return reps > THRESHOLD


def _floored(values: np.ndarray, q: int) -> np.ndarray:
    return np.floor(values.astype(np.float32) * np.float32(q)).astype(np.int32)


def numpy_json_batch(reps: np.ndarray, q: int = 100, vocab: dict | None = None) -> list:
    """np.nonzero over the whole batch, then one dict per row."""
    rows, cols = np.nonzero(_keep(reps))
    vals = _floored(reps[rows, cols], q)
    bounds = np.searchsorted(rows, np.arange(len(reps) + 1)).tolist()
    cols, vals = cols.tolist(), vals.tolist()
    out = []
    for r in range(len(reps)):
        a, b = bounds[r], bounds[r + 1]
        if vocab is None:
            d = {str(c): v for c, v in zip(cols[a:b], vals[a:b]) if v > 0}
            out.append(d or {"-1": 1})
        else:
            d = {vocab[c]: v for c, v in zip(cols[a:b], vals[a:b]) if v > 0}
            out.append(d or {"[PAD]": 1})
    return out


def numpy_json_rows(reps: np.ndarray, q: int = 100, vocab: dict | None = None) -> list:
    """np.flatnonzero per row."""
    out = []
    for row in reps:
        cols = np.flatnonzero(_keep(row))
        vals = _floored(row[cols], q).tolist()
        if vocab is None:
            d = {str(c): v for c, v in zip(cols.tolist(), vals) if v > 0}
            out.append(d or {"-1": 1})
        else:
            d = {vocab[c]: v for c, v in zip(cols.tolist(), vals) if v > 0}
            out.append(d or {"[PAD]": 1})
    return out


def pseudo_text(rep: dict) -> str:
    return " ".join(" ".join([k] * v) for k, v in rep.items() if v > 0)


def numpy_text_batch(reps: np.ndarray, q: int = 100) -> list:
    return [pseudo_text(d) for d in numpy_json_batch(reps, q)]


def numpy_text_rows(reps: np.ndarray, q: int = 100) -> list:
    return [pseudo_text(d) for d in numpy_json_rows(reps, q)]


def ready_keys(reps: list) -> list:
    """Each dict's keys and values as lists of existing objects."""
    return [(list(d), list(d.values())) for d in reps]


def dicts_from_ready_keys(ready: list) -> list:
    """The floor of building the result: the same dicts, from key str and
    int objects that already exist (hashes cached)."""
    return [dict(zip(keys, values)) for keys, values in ready]


def same_words(a: str, b: str) -> bool:
    return sorted(a.split(" ")) == sorted(b.split(" "))


# ------------------------------------------------------------ benchmark

def bench_workload(name: str, reps: np.ndarray, conv, opts, vocab: dict | None = None, text: bool = True) -> dict:
    half = reps.dtype == np.float16
    tokens = vocab is not None
    json_m = conv.convert_sparse_reps_to_json_f16 if half else conv.convert_sparse_reps_to_json_f32
    text_m = conv.convert_sparse_reps_to_pseudo_text_f16 if half else conv.convert_sparse_reps_to_pseudo_text_f32

    progress(f"{name}: checking that the NumPy way gives our results")
    ours = json_m(reps, convert_id_to_token=tokens)
    want = numpy_json_batch(reps, vocab=vocab)
    assert ours == want == numpy_json_rows(reps, vocab=vocab), "JSON reps differ"
    assert all(list(a) == list(b) for a, b in zip(ours, want)), "JSON reps differ in insertion order"
    entries = sum(map(len, ours))
    chars = 0
    if text:
        texts = text_m(reps, convert_id_to_token=tokens)
        sample = range(0, len(reps), max(1, len(reps) // 16))
        assert all(same_words(texts[i], pseudo_text(ours[i])) for i in sample), "pseudo texts differ"
        chars = sum(map(len, texts))
        del texts
    ready = ready_keys(ours)
    assert dicts_from_ready_keys(ready) == ours
    del ours, want

    progress(f"{name}: timing")
    r, p = opts.repeat, opts.np_repeat
    cases = [
        ("json", lambda: json_m(reps, convert_id_to_token=tokens), r),
        ("sum", lambda: reps.sum(), r),
        ("dicts from ready keys", lambda: dicts_from_ready_keys(ready), r),
        ("numpy json (nonzero)", lambda: numpy_json_batch(reps, vocab=vocab), p),
        ("numpy json (flatnonzero)", lambda: numpy_json_rows(reps, vocab=vocab), p),
    ]
    if text:
        cases += [
            ("text", lambda: text_m(reps), r),
            ("numpy text (nonzero)", lambda: numpy_text_batch(reps), p),
            ("numpy text (flatnonzero)", lambda: numpy_text_rows(reps), p),
        ]
    t = interleaved(cases, verbose=opts.verbose)
    return {"name": name, "rows": len(reps), "entries": entries, "chars": chars, "t": t, "text": text}


def summarize(res: dict) -> dict:
    """Best and median of each case, the NumPy way as the faster variant."""
    t = res["t"]
    best = {k: v.best for k, v in t.items()}
    med = {k: statistics.median(v[1]) for k, v in t.items()}
    for way in ("json", "text"):
        if f"numpy {way} (nonzero)" in t:
            best[f"numpy {way}"] = min(best[f"numpy {way} (nonzero)"], best[f"numpy {way} (flatnonzero)"])
            med[f"numpy {way}"] = min(med[f"numpy {way} (nonzero)"], med[f"numpy {way} (flatnonzero)"])
    return {"best": best, "median": med}


def report(res: dict) -> None:
    t = res["t"]
    s = summarize(res)
    best, med = s["best"], s["median"]
    chars = f", pseudo texts {res['chars'] / 1e6:.1f} M chars" if res["text"] else ""
    print(f"\n{res['name']}: {res['rows']} rows, {res['entries']:,} entries{chars}")
    for k in t:
        print(f"  {k:<28} best {fmt_s(best[k]):>10}   median {fmt_s(med[k]):>10}   "
              f"per row {fmt_s(best[k] / res['rows']):>10}")
    for label, s_ in (("best", best), ("median", med)):
        print("  " + ratio_line(f"JSON vs the NumPy way ({label})", s_["json"], s_["numpy json"]))
        print("  " + ratio_line(f"  floor: dicts from ready keys vs the NumPy way ({label})",
                                s_["dicts from ready keys"], s_["numpy json"]))
    print(f"  {'JSON time / dicts-from-ready-keys time (best)':<58} {best['json'] / best['dicts from ready keys']:8.2f}x")
    print(f"  {'JSON time / reps.sum() time (best)':<58} {best['json'] / best['sum']:8.2f}x")
    if res["text"]:
        print("  " + ratio_line("pseudo text vs the NumPy way (best)", best["text"], best["numpy text"]))
        print("  " + ratio_line("pseudo text vs the NumPy way (median)", med["text"], med["numpy text"]))


# ------------------------------------------------------- thread scaling

def write_native_input(path: Path, reps: np.ndarray) -> None:
    """The matrix for bench_convert: a line "rows cols f32|f16", then the
    elements, row-major, little-endian."""
    kind = {np.dtype(np.float32): "f32", np.dtype(np.float16): "f16"}[reps.dtype]
    with open(path, "wb") as f:
        f.write(f"{reps.shape[0]} {reps.shape[1]} {kind}\n".encode())
        f.write(np.ascontiguousarray(reps, reps.dtype.newbyteorder("<")).tobytes())


def write_native_vocab(path: Path, vocab: dict) -> None:
    """One token per line, line i the token of id i (ids 0..n-1, no newlines)."""
    assert list(vocab) == list(range(len(vocab))) and not any("\n" in t for t in vocab.values())
    path.write_text("".join(t + "\n" for t in vocab.values()), encoding="utf-8")


def call_child(matrix: str, repeat: int) -> None:
    """--call-child: times the JSON call on the matrix file in this process
    (its pool size from the environment) and prints one JSON line."""
    quarnel = load_quarnel()
    with open(matrix, "rb") as f:
        rows, cols, kind = f.readline().split()
        dtype = np.dtype(np.float32 if kind == b"f32" else np.float16)
        reps = np.frombuffer(f.read(), dtype.newbyteorder("<")).astype(dtype).reshape(int(rows), int(cols))
    conv = quarnel.Converter()
    method = conv.convert_sparse_reps_to_json_f16 if dtype == np.float16 else conv.convert_sparse_reps_to_json_f32
    runs = []
    gc.disable()
    for _ in range(repeat):
        t0 = time.perf_counter()
        out = method(reps)
        runs.append(time.perf_counter() - t0)
        del out
    print(json.dumps({"best_s": min(runs), "runs_s": runs}))


def call_scaling(matrix: Path, repeat: int, rounds: int) -> dict:
    """The whole JSON call with 1 and 2 workers, in alternating subprocesses."""
    runs = {1: [], 2: []}
    per_round = []
    for r in range(rounds):
        best = {}
        quiet = True
        for threads in (1, 2):
            env = dict(os.environ, RAYON_NUM_THREADS=str(threads))
            args = [sys.executable, __file__, "--call-child", str(matrix), "--repeat", str(repeat)]
            with Load() as load:
                out = subprocess.run(args, env=env, capture_output=True, text=True, check=True).stdout
            report = json.loads(out.strip().splitlines()[-1])
            runs[threads] += report["runs_s"]
            best[threads] = report["best_s"]
            quiet = quiet and (load.others is None or load.others < QUIET)
            progress(f"  whole call, {threads} worker(s), round {r + 1}: best {report['best_s'] * 1e3:.2f} ms")
        per_round.append((best[1] / best[2], quiet))
    return {"best": {n: min(v) for n, v in runs.items()}, "median": {n: statistics.median(v) for n, v in runs.items()},
            "rounds": per_round}


def bench_scaling(reps: np.ndarray, vocab: dict, opts) -> dict:
    out = {}
    with tempfile.TemporaryDirectory(prefix="quarnel-bench-") as tmp:
        matrix = Path(tmp) / "reps.bin"
        vocab_path = Path(tmp) / "vocab.txt"
        write_native_input(matrix, reps)
        write_native_vocab(vocab_path, vocab)
        exe = None if opts.skip_native else native_binary("bench_convert", opts.build_dir, build=not opts.no_build)
        for label, extra in (("decimal keys", []), ("vocabulary keys", ["--vocab", vocab_path])):
            if exe is None:
                break
            progress(f"native part ({label}) with 1 and 2 workers ({opts.rounds} alternating rounds)")
            try:
                out[f"native {label}"] = native_scaling(exe, [matrix, "--repeat", opts.native_repeat, *extra],
                                                        opts.rounds)
            except Exception as e:  # noqa: BLE001 - report and go on without the native part
                progress(f"native benchmark failed, skipping its part: {e}")
                break
        progress(f"whole JSON call with 1 and 2 workers ({opts.rounds} alternating rounds)")
        out["call"] = call_scaling(matrix, opts.repeat * 4, opts.rounds)
    return out


def report_scaling(sc: dict) -> None:
    print("\nthread scaling, sparse float32 (subprocesses with RAYON_NUM_THREADS=1 and 2, alternating rounds):")
    any_native = False
    for label in ("decimal keys", "vocabulary keys"):
        got = sc.get(f"native {label}")
        if not got:
            continue
        any_native = True
        best, rounds = got
        one, two = best[1], best[2]
        print(f"  native part of a JSON call, {label} (bench_convert: the rows converted on the pool):")
        print(f"    1 worker {fmt_s(one['best_s']):>10}   2 workers {fmt_s(two['best_s']):>10}   "
              f"({one['entries']:,} entries)")
        print("    " + ratio_line("2 workers vs 1 (best vs best)", two["best_s"], one["best_s"], GOAL_SCALING))
        print("    " + ratio_line(f"2 workers vs 1 (median vs median of {one['all_runs']} runs each)",
                                  two["median_s"], one["median_s"]))
        print("    per round (busy = other processes used CPU meanwhile): " + rounds_text(rounds))
    if not any_native:
        print("  native part: skipped (no native benchmark executable; see the messages above)")
    call = sc["call"]
    print("  whole JSON call as Python sees it:")
    print(f"    1 worker {fmt_s(call['best'][1]):>10}   2 workers {fmt_s(call['best'][2]):>10}")
    print("    " + ratio_line("2 workers vs 1 (best vs best)", call["best"][2], call["best"][1]))
    print("    " + ratio_line("2 workers vs 1 (median vs median)", call["median"][2], call["median"][1]))
    print("    per round: " + rounds_text(call["rounds"]))


def goal_line(label: str, ours: float, theirs: float, goal: float, floor: str = "") -> str:
    r = theirs / ours
    return f"  {label:<44} {r:6.2f}x  (goal >= {goal:g}x: {'met' if r >= goal else 'NOT met'}){floor}"


def report_goals(by_name: dict, sc: dict | None) -> None:
    print("\ngoals (best runs, each ratio from one interleaved schedule):")
    for label, name, goal in (("JSON float32 vs the NumPy way", "sparse float32", GOAL_JSON),
                              ("JSON vocabulary keys vs the NumPy way", "sparse float32, vocabulary keys", GOAL_VOCAB),
                              ("JSON float16 vs the NumPy way", "sparse float16", GOAL_F16)):
        b = summarize(by_name[name])["best"]
        floor = (f"   floor {b['numpy json'] / b['dicts from ready keys']:.2f}x (dicts from ready keys); "
                 f"{b['json'] / b['sum']:.2f}x the time of reps.sum()")
        print(goal_line(label, b["json"], b["numpy json"], goal, floor))
    for name in ("sparse float32", "dense float32"):
        b = summarize(by_name[name])["best"]
        print(goal_line(f"pseudo text vs the NumPy way ({name})", b["text"], b["numpy text"], GOAL_TEXT))
    if sc and sc.get("native decimal keys"):
        best, _ = sc["native decimal keys"]
        print(goal_line("native part of a JSON call, 2 workers vs 1", best[2]["best_s"], best[1]["best_s"],
                        GOAL_SCALING))


def main(argv=None) -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="small batches and few repeats (smoke run)")
    ap.add_argument("--rows", type=int, help="rows per batch (default 128, quick 16)")
    ap.add_argument("--repeat", type=int, help="repeats of our calls and the floors (default 15, quick 3)")
    ap.add_argument("--np-repeat", type=int, help="repeats of the NumPy ways (default 5, quick 1)")
    ap.add_argument("--rounds", type=int, help="alternating rounds of the 1-/2-worker runs (default 5, quick 1)")
    ap.add_argument("--native-repeat", type=int, help="batches per native run (default 200, quick 5)")
    ap.add_argument("--seed", type=int, default=20240611)
    ap.add_argument("--skip-dense", action="store_true", help="skip the dense workloads")
    ap.add_argument("--skip-scaling", action="store_true", help="skip the thread-scaling part")
    ap.add_argument("--skip-native", action="store_true", help="skip the native benchmark in the scaling part")
    ap.add_argument("--build-dir", help="where the native benchmark is built (default build/bench)")
    ap.add_argument("--no-build", action="store_true", help="use an existing native benchmark, never build")
    ap.add_argument("--verbose", action="store_true", help="print every timed run")
    ap.add_argument("--call-child", help=argparse.SUPPRESS)
    opts = ap.parse_args(argv)
    q = opts.quick
    opts.rows = opts.rows or (16 if q else 128)
    opts.repeat = opts.repeat or (3 if q else 15)
    opts.np_repeat = opts.np_repeat or (1 if q else 5)
    opts.rounds = opts.rounds or (1 if q else 5)
    opts.native_repeat = opts.native_repeat or (5 if q else 200)
    if opts.call_child:
        call_child(opts.call_child, opts.repeat)
        return

    quarnel = load_quarnel()
    progress(f"generating {opts.rows} x {VOCAB} batches and a {VOCAB:,}-token vocabulary")
    vocab = vocabulary(VOCAB, opts.seed + 2)
    conv = quarnel.Converter(vocab)
    sparse = sparse_batch(opts.rows, VOCAB, opts.seed)
    workloads = [("sparse float32", sparse, None, True), ("sparse float16", sparse.astype(np.float16), None, True),
                 ("sparse float32, vocabulary keys", sparse, vocab, False)]
    if not opts.skip_dense:
        dense = dense_batch(opts.rows, VOCAB, opts.seed + 1)
        workloads += [("dense float32", dense, None, True), ("dense float16", dense.astype(np.float16), None, True)]
    results = [bench_workload(name, reps, conv, opts, vocab=v, text=text) for name, reps, v, text in workloads]
    sc = None if opts.skip_scaling else bench_scaling(sparse, vocab, opts)

    print()
    print(f"Converter benchmark ({'quick' if q else 'full'}): quarnel from {Path(quarnel.__file__).parent}")
    print(f"machine: {machine_note()}")
    print(f"best and median of {opts.repeat} (ours, floors) / {opts.np_repeat} (NumPy ways) interleaved runs, "
          "garbage collector off while timing; the NumPy way is the faster of its two variants")
    print(load_summary())
    for res in results:
        report(res)
    by_name = {res["name"]: res for res in results}
    print()
    for kind in ("sparse", "dense"):
        if f"{kind} float32" not in by_name:
            continue
        f32, f16 = by_name[f"{kind} float32"]["t"], by_name[f"{kind} float16"]["t"]
        for method in ("json", "text"):
            ratio = f16[method].best / f32[method].best
            print(f"{kind} {method}: float16 time / float32 time per row {ratio:6.2f}   "
                  f"(target <= 1: {'met' if ratio <= 1 else 'NOT met'})")
    if sc:
        report_scaling(sc)
    if "dense float32" in by_name:
        report_goals(by_name, sc)


if __name__ == "__main__":
    main()
