"""Converter against the NumPy way of doing the same job.

The NumPy way: vectorised thresholding (`np.nonzero` over the batch, or
`np.flatnonzero` per row), the float32 product and floor, then the dicts
(and the pseudo texts) built in Python:

    rows, cols = np.nonzero((reps > 0.0001) | (reps < -0.0001))
    vals = np.floor(reps[rows, cols] * np.float32(q)).astype(np.int32)
    {str(c): v for c, v in zip(cols_of_row.tolist(), vals_of_row.tolist()) if v > 0}
    " ".join(" ".join([k] * v) for k, v in rep.items())

Workloads, seeded: batches of 128 x 30,522 (a BERT-sized vocabulary),
float32 and float16:

- sparse: 100-300 weights in (0, 3] per row, exact zeros elsewhere;
- dense: every weight random and non-zero, in (0, 0.03] so that the
  frequencies stay small (0 to 2) and the pseudo texts fit in memory.

For each, in one interleaved schedule: the JSON and pseudo-text methods,
both NumPy ways, and `reps.sum()` on the same array (a floor: one pass over
the matrix, no Python objects). Ratios are NumPy-way time / our time, or
our time / `reps.sum()` time for the floor.

Run:  .venv/bin/python bench/bench_converter.py [--quick]
  or  PYTHONPATH=build-dir python3 bench/bench_converter.py [--quick]
"""

from __future__ import annotations

import argparse
import statistics
import sys
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))

from _common import fmt_s, interleaved, load_quarnel, load_summary, machine_note, progress, ratio_line  # noqa: E402

VOCAB = 30522
THRESHOLD = np.float32(0.0001)


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


# ------------------------------------------------------------ the NumPy way

def _keep(reps: np.ndarray) -> np.ndarray:
    if reps.dtype == np.float16:
        return reps > 0  # every positive half, subnormals included; never NaN
    return reps > THRESHOLD


def _floored(values: np.ndarray, q: int) -> np.ndarray:
    return np.floor(values.astype(np.float32) * np.float32(q)).astype(np.int32)


def numpy_json_batch(reps: np.ndarray, q: int = 100) -> list:
    """np.nonzero over the whole batch, then one dict per row."""
    rows, cols = np.nonzero(_keep(reps))
    vals = _floored(reps[rows, cols], q)
    bounds = np.searchsorted(rows, np.arange(len(reps) + 1)).tolist()
    cols, vals = cols.tolist(), vals.tolist()
    out = []
    for r in range(len(reps)):
        a, b = bounds[r], bounds[r + 1]
        d = {str(c): v for c, v in zip(cols[a:b], vals[a:b]) if v > 0}
        out.append(d or {"-1": 1})
    return out


def numpy_json_rows(reps: np.ndarray, q: int = 100) -> list:
    """np.flatnonzero per row."""
    out = []
    for row in reps:
        cols = np.flatnonzero(_keep(row))
        d = {str(c): v for c, v in zip(cols.tolist(), _floored(row[cols], q).tolist()) if v > 0}
        out.append(d or {"-1": 1})
    return out


def pseudo_text(rep: dict) -> str:
    return " ".join(" ".join([k] * v) for k, v in rep.items() if v > 0)


def numpy_text_batch(reps: np.ndarray, q: int = 100) -> list:
    return [pseudo_text(d) for d in numpy_json_batch(reps, q)]


def numpy_text_rows(reps: np.ndarray, q: int = 100) -> list:
    return [pseudo_text(d) for d in numpy_json_rows(reps, q)]


def same_words(a: str, b: str) -> bool:
    return sorted(a.split(" ")) == sorted(b.split(" "))


# ------------------------------------------------------------ benchmark

def bench_workload(name: str, reps: np.ndarray, conv, opts) -> dict:
    half = reps.dtype == np.float16
    json = conv.convert_sparse_reps_to_json_f16 if half else conv.convert_sparse_reps_to_json_f32
    text = conv.convert_sparse_reps_to_pseudo_text_f16 if half else conv.convert_sparse_reps_to_pseudo_text_f32

    progress(f"{name}: checking that the NumPy way gives our results")
    ours = json(reps)
    assert ours == numpy_json_batch(reps) == numpy_json_rows(reps), "JSON reps differ"
    texts = text(reps)
    sample = range(0, len(reps), max(1, len(reps) // 16))
    assert all(same_words(texts[i], pseudo_text(ours[i])) for i in sample), "pseudo texts differ"
    entries = sum(map(len, ours))
    chars = sum(map(len, texts))
    del ours, texts

    progress(f"{name}: timing")
    r, p = opts.repeat, opts.np_repeat
    t = interleaved([
        ("json", lambda: json(reps), r),
        ("text", lambda: text(reps), r),
        ("sum", lambda: reps.sum(), r),
        ("numpy json (nonzero)", lambda: numpy_json_batch(reps), p),
        ("numpy json (flatnonzero)", lambda: numpy_json_rows(reps), p),
        ("numpy text (nonzero)", lambda: numpy_text_batch(reps), p),
        ("numpy text (flatnonzero)", lambda: numpy_text_rows(reps), p),
    ], verbose=opts.verbose)
    return {"name": name, "rows": len(reps), "entries": entries, "chars": chars, "t": t}


def report(res: dict) -> None:
    t = res["t"]
    med = {k: statistics.median(v[1]) for k, v in t.items()}
    best = {k: v.best for k, v in t.items()}
    np_json = min(best["numpy json (nonzero)"], best["numpy json (flatnonzero)"])
    np_text = min(best["numpy text (nonzero)"], best["numpy text (flatnonzero)"])
    np_json_med = min(med["numpy json (nonzero)"], med["numpy json (flatnonzero)"])
    np_text_med = min(med["numpy text (nonzero)"], med["numpy text (flatnonzero)"])
    print(f"\n{res['name']}: {res['rows']} rows, {res['entries']:,} entries, pseudo texts {res['chars'] / 1e6:.1f} M chars")
    for k in t:
        print(f"  {k:<28} best {fmt_s(best[k]):>10}   median {fmt_s(med[k]):>10}   "
              f"per row {fmt_s(best[k] / res['rows']):>10}")
    print("  " + ratio_line("JSON vs the NumPy way (best)", best["json"], np_json, 2.5))
    print("  " + ratio_line("JSON vs the NumPy way (median)", med["json"], np_json_med, 2.5))
    floor = best["json"] / best["sum"]
    print(f"  {'JSON time / reps.sum() time (best)':<58} {floor:8.2f}x   "
          f"(target <= 3x: {'met' if floor <= 3 else 'NOT met'})")
    print(f"  {'JSON time / reps.sum() time (median)':<58} {med['json'] / med['sum']:8.2f}x")
    print("  " + ratio_line("pseudo text vs the NumPy way (best)", best["text"], np_text, 3))
    print("  " + ratio_line("pseudo text vs the NumPy way (median)", med["text"], np_text_med, 3))


def main(argv=None) -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="small batches and few repeats (smoke run)")
    ap.add_argument("--rows", type=int, help="rows per batch (default 128, quick 16)")
    ap.add_argument("--repeat", type=int, help="repeats of our calls and reps.sum() (default 15, quick 3)")
    ap.add_argument("--np-repeat", type=int, help="repeats of the NumPy ways (default 5, quick 1)")
    ap.add_argument("--seed", type=int, default=20240611)
    ap.add_argument("--verbose", action="store_true", help="print every timed run")
    opts = ap.parse_args(argv)
    q = opts.quick
    opts.rows = opts.rows or (16 if q else 128)
    opts.repeat = opts.repeat or (3 if q else 15)
    opts.np_repeat = opts.np_repeat or (1 if q else 5)

    quarnel = load_quarnel()
    conv = quarnel.Converter()
    progress(f"generating {opts.rows} x {VOCAB} batches")
    sparse = sparse_batch(opts.rows, VOCAB, opts.seed)
    dense = dense_batch(opts.rows, VOCAB, opts.seed + 1)
    workloads = [("sparse float32", sparse), ("sparse float16", sparse.astype(np.float16)),
                 ("dense float32", dense), ("dense float16", dense.astype(np.float16))]
    results = [bench_workload(name, reps, conv, opts) for name, reps in workloads]

    print()
    print(f"Converter benchmark ({'quick' if q else 'full'}): quarnel from {Path(quarnel.__file__).parent}")
    print(f"machine: {machine_note()}")
    print(f"best and median of {opts.repeat} (ours, reps.sum()) / {opts.np_repeat} (NumPy ways) interleaved runs, "
          "garbage collector off while timing; the NumPy way is the faster of its two variants")
    print(load_summary())
    for res in results:
        report(res)
    by_name = {res["name"]: res for res in results}
    print()
    for kind in ("sparse", "dense"):
        f32, f16 = by_name[f"{kind} float32"]["t"], by_name[f"{kind} float16"]["t"]
        for method in ("json", "text"):
            ratio = f16[method].best / f32[method].best
            print(f"{kind} {method}: float16 time / float32 time per row {ratio:6.2f}   "
                  f"(target <= 1: {'met' if ratio <= 1 else 'NOT met'})")


if __name__ == "__main__":
    main()
