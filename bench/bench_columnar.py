"""quarnel.columnar against the list API, the pure-Python way and Polars,
in one run (ratios in the same run; see bench/README.md):

- tokenize: a large_utf8 column of the 20,000-passage English workload
  against batch_tokenize of the same texts as str, the pure-Python way
  (regex + unicodedata + str.lower) and Polars' expression on the same
  column (columnar in and out);
- pre_tokenize of the 8-language mix against ICUWordPreTokenizer.batch_tokenize;
- a QAAnnotator built from Parquet columns (docids, token lists) against one
  built from the equivalent dict, the dict's conversion from Arrow counted;
- Converter: a sparse float32 batch to a map<utf8, int32> column against
  convert_sparse_reps_to_json;
- end to end: a Parquet corpus of passages to a Parquet file of tokens,
  pyarrow's reading and writing included, against batch_tokenize with
  to_pylist / from_pylist, each in batches of rows (the same pipeline of 3
  threads for both: the next batch read and the last one written while
  this one is tokenized), with tokens per second
  and the peak memory of each path (each in a fresh process);
- where the time of a columnar call goes: reading the input, the tokenizer
  (the native benchmark bench_tokenize on the same texts), building the
  output.

    .venv/bin/python bench/bench_columnar.py [--quick]
"""
from __future__ import annotations

import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
os.environ.setdefault("POLARS_MAX_THREADS", "2")

import numpy as np  # noqa: E402

from _common import (  # noqa: E402
    fmt_s, interleaved, load_quarnel, load_summary, machine_note, native_binary, progress, py_tokenize,
    ratio_line, run_native)

TARGETS = {"batch": 3.0, "python": 20.0, "polars": 4.0, "icu": 1.8, "annotator": 3.0, "maps": 4.0, "e2e": 3.0}
POLARS_PATTERN = r"[\p{L}\p{N}\p{M}]+|[^\p{Z}\p{C}]"


def tokenize_section(opts, quarnel, columnar, pa, pl, exe):
    from bench_regex_tokenizer import english_passages

    passages = english_passages(opts.passages, opts.seed)
    tok = quarnel.RegexTokenizer()
    column = pa.array(passages, type=pa.large_string())
    series = pl.Series(passages, dtype=pl.String)
    progress("tokenize: checking every row against batch_tokenize and Polars on a sample")
    ours = pa.array(columnar.tokenize(tok, column)).to_pylist()
    if ours != tok.batch_tokenize(passages):
        sys.exit("columnar.tokenize differs from batch_tokenize")
    polars_way = lambda: series.str.normalize("NFD").str.to_lowercase().str.extract_all(POLARS_PATTERN)  # noqa: E731
    sample = polars_way().to_list()
    if any(sample[i] != ours[i] for i in range(0, len(passages), max(1, len(passages) // 200))):
        sys.exit("Polars' expression gives other tokens on the sample")
    tokens = sum(map(len, ours))
    del ours, sample
    progress(f"tokenize: {len(passages):,} passages, {tokens:,} tokens (interleaved runs)")
    t = interleaved([
        ("columnar.tokenize", lambda: columnar.tokenize(tok, column), opts.repeat),
        ("columnar.tokenize string_view", lambda: columnar.tokenize(tok, column, string_view=True), opts.repeat),
        ("batch_tokenize", lambda: tok.batch_tokenize(passages), opts.repeat),
        ("pure Python", lambda: [py_tokenize(p) for p in passages], opts.py_repeat),
        ("Polars expression", polars_way, opts.py_repeat),
    ])
    result = columnar.tokenize(tok, column)
    views = columnar.tokenize(tok, column, string_view=True)
    consumers = interleaved([
        ("pyarrow.array(result)", lambda: pa.array(result), opts.repeat),
        ("polars.Series(result)", lambda: pl.Series(result), opts.repeat),
        ("polars.Series(string_view result)", lambda: pl.Series(views), opts.repeat),
    ], verbose=False)
    native = None
    if exe is not None:
        with tempfile.TemporaryDirectory(prefix="quarnel-bench-") as tmp:
            path = Path(tmp) / "texts.txt"
            path.write_text("".join(p + "\n" for p in passages), encoding="utf-8")
            native = run_native(exe, [path, "--mode", "batch", "--repeat", opts.repeat], None)
    return {"t": t, "consumers": consumers, "tokens": tokens, "bytes": sum(len(p.encode()) for p in passages),
            "native": native, "nbytes": result.nbytes, "view_nbytes": views.nbytes}


def icu_section(opts, quarnel, columnar, pa):
    from bench_icu_word_pre_tokenizer import MIX_8, multilingual_passages

    passages = [p for _, p in multilingual_passages(int(opts.mb * 1e6), opts.seed, MIX_8)]
    pre = quarnel.ICUWordPreTokenizer()
    column = pa.array(passages, type=pa.large_string())
    if pa.array(columnar.pre_tokenize(pre, column)).to_pylist() != pre.batch_tokenize(passages):
        sys.exit("columnar.pre_tokenize differs from batch_tokenize")
    progress(f"pre_tokenize: {len(passages):,} passages of 8 languages (interleaved runs)")
    return interleaved([
        ("columnar.pre_tokenize", lambda: columnar.pre_tokenize(pre, column), opts.repeat),
        ("batch_tokenize", lambda: pre.batch_tokenize(passages), opts.repeat),
    ])


def annotator_section(opts, quarnel, columnar, pa, pq, tmp):
    from bench_qa_annotator import make_corpus

    corpus, _, _ = make_corpus(opts.docs, opts.seed)
    path = Path(tmp) / "corpus_tokens.parquet"
    pq.write_table(pa.table({"docid": list(corpus), "tokens": list(corpus.values())}), path)
    del corpus
    table = pq.read_table(path)

    def from_columns():
        t = pq.read_table(path)
        return columnar.annotator(t["docid"], t["tokens"])

    def from_dict(t=None):
        t = t or pq.read_table(path)
        return quarnel.QAAnnotator(dict(zip(t["docid"].to_pylist(), t["tokens"].to_pylist())))

    progress(f"annotator: a corpus of {opts.docs:,} documents from Parquet (interleaved runs)")
    return interleaved([
        ("from Parquet columns", from_columns, opts.py_repeat),
        ("from a dict (to_pylist)", from_dict, opts.py_repeat),
        ("reading the Parquet file", lambda: pq.read_table(path), opts.py_repeat),
        ("columns in memory", lambda: columnar.annotator(table["docid"], table["tokens"]), opts.py_repeat),
        ("dict from the table in memory", lambda: from_dict(table), opts.py_repeat),
    ])


def maps_section(opts, quarnel, columnar, pa):
    from bench_converter import sparse_batch, vocabulary

    reps = sparse_batch(opts.rows, 30522, opts.seed)
    conv = quarnel.Converter(vocabulary(30522, opts.seed))
    for keys in (False, True):
        got = [dict(m) for m in pa.array(columnar.sparse_to_maps(conv, reps, convert_id_to_token=keys)).to_pylist()]
        if got != conv.convert_sparse_reps_to_json(reps, convert_id_to_token=keys):
            sys.exit("columnar.sparse_to_maps differs from convert_sparse_reps_to_json")
    progress(f"sparse: {opts.rows} x 30,522 float32 (interleaved runs)")
    return interleaved([
        ("reps.sum() (reading the matrix once)", lambda: reps.sum(), opts.repeat * 4),
        ("sparse_to_maps", lambda: columnar.sparse_to_maps(conv, reps), opts.repeat * 4),
        ("convert_sparse_reps_to_json", lambda: conv.convert_sparse_reps_to_json(reps), opts.repeat * 4),
        ("sparse_to_maps (vocabulary keys)", lambda: columnar.sparse_to_maps(conv, reps, convert_id_to_token=True),
         opts.repeat * 4),
        ("convert_sparse_reps_to_json (vocabulary keys)",
         lambda: conv.convert_sparse_reps_to_json(reps, convert_id_to_token=True), opts.repeat * 4),
        ("sparse_to_pseudo_text", lambda: columnar.sparse_to_pseudo_text(conv, reps), opts.repeat * 4),
        ("convert_sparse_reps_to_pseudo_text", lambda: conv.convert_sparse_reps_to_pseudo_text(reps),
         opts.repeat * 4),
    ])


# ------------------------------------------------------------ end to end

def end_to_end_child(way: str, source: str, target: str, batch_rows: int) -> None:
    """One path, in a fresh process: prints seconds, then each step's busy
    time, the tokens and the peak resident memory.

    Both paths run the same pipeline, as a job over a corpus would: one
    thread reads the next batch and another writes the previous one while
    the main thread tokenizes this one. pyarrow releases the interpreter
    lock while it reads and writes, and so does columnar.tokenize from end
    to end; to_pylist, batch_tokenize's lists and from_pylist hold it, so
    the list path overlaps less."""
    import queue
    import threading

    import pyarrow as pa
    import pyarrow.parquet as pq

    import quarnel
    from quarnel import columnar

    tok = quarnel.RegexTokenizer()
    schema = pa.schema([("id", pa.int64()), ("tokens", pa.large_list(pa.string()))])
    busy = {"read": 0.0, "work": 0.0, "write": 0.0}
    failed: list[BaseException] = []
    to_work: queue.Queue = queue.Queue(maxsize=1)
    to_write: queue.Queue = queue.Queue(maxsize=1)

    def step(name, thread_body):
        def run():
            try:
                thread_body()
            except BaseException as e:  # noqa: B036 - reported by the main thread
                failed.append(e)
                # (unblock the main thread, whichever queue it waits on)
                for q in (to_work, to_write):
                    try:
                        q.put_nowait(None)
                    except queue.Full:
                        pass
        return threading.Thread(target=run, name=name, daemon=True)

    def read():
        batches = pq.ParquetFile(source).iter_batches(batch_size=batch_rows)
        while True:
            t0 = time.perf_counter()
            batch = next(batches, None)
            busy["read"] += time.perf_counter() - t0
            to_work.put(batch)
            if batch is None:
                return

    def write():
        with pq.ParquetWriter(target, schema) as writer:
            while (batch := to_write.get()) is not None:
                t0 = time.perf_counter()
                writer.write_batch(batch)
                busy["write"] += time.perf_counter() - t0

    tokens = 0
    start = time.perf_counter()
    threads = [step("read", read), step("write", write)]
    for t in threads:
        t.start()
    while not failed and (batch := to_work.get()) is not None:
        t0 = time.perf_counter()
        if way == "columnar":
            lists = pa.array(columnar.tokenize(tok, batch["text"]))
        else:
            lists = pa.array(tok.batch_tokenize(batch["text"].to_pylist()), type=pa.large_list(pa.string()))
        tokens += len(lists.values)
        busy["work"] += time.perf_counter() - t0
        to_write.put(pa.record_batch([batch["id"], lists], schema=schema))
    to_write.put(None)
    for t in threads:
        t.join()
    if failed:
        raise failed[0]
    total = time.perf_counter() - start
    # VmHWM: this process's own peak (ru_maxrss starts from the parent's at
    # the fork and survives the exec).
    with open("/proc/self/status") as f:
        peak = next(int(line.split()[1]) * 1024 for line in f if line.startswith("VmHWM:"))
    print(total, busy["read"], busy["work"], busy["write"], tokens, peak)


def end_to_end_section(opts, pa, pq, tmp):
    from bench_regex_tokenizer import english_passages

    source = Path(tmp) / "corpus.parquet"
    pool = english_passages(min(opts.e2e_passages, 50_000), opts.seed + 1)
    progress(f"end to end: writing a Parquet corpus of {opts.e2e_passages:,} passages")
    with pq.ParquetWriter(source, pa.schema([("id", pa.int64()), ("text", pa.large_string())]),
                          use_dictionary=False) as w:
        step = 50_000
        for begin in range(0, opts.e2e_passages, step):
            ids = list(range(begin, min(begin + step, opts.e2e_passages)))
            w.write_table(pa.table({"id": ids, "text": [pool[i % len(pool)] for i in ids]},
                                   schema=w.schema))
    out = {}
    for way in ("columnar", "lists"):
        progress(f"end to end: {way} (a fresh process)")
        done = subprocess.run([sys.executable, __file__, "--e2e-child", way, str(source),
                               str(Path(tmp) / f"tokens-{way}.parquet"), str(opts.batch_rows)],
                              capture_output=True, text=True, check=True)
        total, read, work, write, tokens, peak = map(float, done.stdout.split())
        out[way] = {"total": total, "read": read, "work": work, "write": write, "tokens": tokens, "peak": peak}
    a = pq.read_table(Path(tmp) / "tokens-columnar.parquet")
    b = pq.read_table(Path(tmp) / "tokens-lists.parquet")
    if not a.equals(b):
        sys.exit("end to end: the two paths wrote different tokens")
    out["source_mb"] = source.stat().st_size / 1e6
    return out


# ------------------------------------------------------------ report

def report(opts, res) -> None:
    print(f"# quarnel.columnar ({machine_note()})")
    print(load_summary())
    tk = res["tokenize"]
    t = tk["t"]
    col = t["columnar.tokenize"].best
    print(f"\n## tokenize: {opts.passages:,} English passages ({tk['bytes'] / 1e6:.1f} MB, {tk['tokens']:,} tokens), "
          "a large_utf8 column in")
    for name, timed in t.items():
        print(f"  {name:<34} {fmt_s(timed.best):>10}  {timed.note()}")
    print(ratio_line("columnar vs batch_tokenize (list of str)", col, t["batch_tokenize"].best, TARGETS["batch"]))
    print(ratio_line("columnar vs the pure-Python way", col, t["pure Python"].best, TARGETS["python"]))
    print(ratio_line("columnar vs Polars' expression (columnar in and out)", col, t["Polars expression"].best,
                     TARGETS["polars"]))
    print(ratio_line("string_view output vs Polars' expression", t["columnar.tokenize string_view"].best,
                     t["Polars expression"].best))
    print(f"  tokens per second (columnar): {tk['tokens'] / col / 1e6:.1f} M; result {tk['nbytes'] / 1e6:.1f} MB "
          f"(string_view: {tk['view_nbytes'] / 1e6:.1f} MB)")
    if tk["native"]:
        native = tk["native"]["best_s"]
        rest = (f"{fmt_s(col - native)} ({(col - native) / col:.0%} of the call)" if col > native
                else "within the noise of the two measurements")
        print(f"  where the time goes: the tokenizer alone (bench_tokenize, same texts, same workers, its own "
              f"process) {fmt_s(native)}; reading the input, checking its UTF-8 and building the output: {rest}")
    print("  consumers of the result:")
    for name, timed in tk["consumers"].items():
        print(f"    {name:<36} {fmt_s(timed.best):>10}")
    ic = res["icu"]
    print(f"\n## pre_tokenize: {opts.mb:g} MB of 8 languages")
    for name, timed in ic.items():
        print(f"  {name:<34} {fmt_s(timed.best):>10}  {timed.note()}")
    print(ratio_line("columnar vs batch_tokenize", ic["columnar.pre_tokenize"].best, ic["batch_tokenize"].best,
                     TARGETS["icu"]))
    an = res["annotator"]
    print(f"\n## QAAnnotator from {opts.docs:,} documents in Parquet (reading included)")
    for name, timed in an.items():
        print(f"  {name:<34} {fmt_s(timed.best):>10}  {timed.note()}")
    print(ratio_line("from columns vs from a dict, both from the table in memory", an["columns in memory"].best,
                     an["dict from the table in memory"].best, TARGETS["annotator"]))
    print(ratio_line("the same, both reading the Parquet file", an["from Parquet columns"].best,
                     an["from a dict (to_pylist)"].best))
    mp = res["maps"]
    print(f"\n## Converter: {opts.rows} x 30,522 sparse float32")
    for name, timed in mp.items():
        print(f"  {name:<48} {fmt_s(timed.best):>10}")
    print(ratio_line("map column vs convert_sparse_reps_to_json", mp["sparse_to_maps"].best,
                     mp["convert_sparse_reps_to_json"].best, TARGETS["maps"]))
    floor = mp["reps.sum() (reading the matrix once)"].best
    print(f"  (reading the matrix once, reps.sum(), takes {fmt_s(floor)}: the JSON call is "
          f"{mp['convert_sparse_reps_to_json'].best / floor:.2f}x that floor, so no call reading it can be more than "
          f"that much faster)")
    print(ratio_line("map column vs JSON (vocabulary keys)", mp["sparse_to_maps (vocabulary keys)"].best,
                     mp["convert_sparse_reps_to_json (vocabulary keys)"].best))
    print(ratio_line("pseudo-text column vs convert_sparse_reps_to_pseudo_text", mp["sparse_to_pseudo_text"].best,
                     mp["convert_sparse_reps_to_pseudo_text"].best))
    e = res.get("e2e")
    if e:
        print(f"\n## end to end: {opts.e2e_passages:,} passages, Parquet ({e['source_mb']:.0f} MB) to Parquet, "
              f"batches of {opts.batch_rows:,} rows; reading, tokenizing and writing on 3 threads, overlapping "
              f"(the steps' times are each one's own busy time)")
        for way in ("columnar", "lists"):
            r = e[way]
            print(f"  {way:<9} {fmt_s(r['total']):>10}: read {fmt_s(r['read'])}, tokenize {fmt_s(r['work'])}, "
                  f"write {fmt_s(r['write'])}; {r['tokens'] / r['total'] / 1e6:.1f} M tokens/s; "
                  f"peak memory {r['peak'] / 2**20:.0f} MiB")
        print(ratio_line("columnar vs batch_tokenize with to_pylist/from_pylist", e["columnar"]["total"],
                         e["lists"]["total"], TARGETS["e2e"]))


def main(argv=None) -> None:
    if argv is None and len(sys.argv) > 1 and sys.argv[1] == "--e2e-child":
        end_to_end_child(*sys.argv[2:5], int(sys.argv[5]))
        return
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--quick", action="store_true", help="small workloads and few repeats (smoke run)")
    ap.add_argument("--passages", type=int, help="English passages (default 20,000, quick 2,000)")
    ap.add_argument("--mb", type=float, help="multilingual text in MB (default 3.5, quick 0.3)")
    ap.add_argument("--docs", type=int, help="corpus documents for the annotator (default 200,000, quick 5,000)")
    ap.add_argument("--rows", type=int, help="rows of the sparse batch (default 128, quick 16)")
    ap.add_argument("--e2e-passages", type=int, help="passages end to end (default 1,000,000, quick 20,000)")
    ap.add_argument("--batch-rows", type=int, default=50_000, help="rows per batch end to end (default 50,000)")
    ap.add_argument("--repeat", type=int, help="repeats of the fast calls (default 7, quick 2)")
    ap.add_argument("--py-repeat", type=int, help="repeats of the slow ways (default 3, quick 1)")
    ap.add_argument("--skip-e2e", action="store_true", help="skip the end-to-end Parquet run")
    ap.add_argument("--skip-native", action="store_true", help="skip the native benchmark (where the time goes)")
    ap.add_argument("--seed", type=int, default=20261209)
    opts = ap.parse_args(argv)
    q = opts.quick
    opts.passages = opts.passages or (2_000 if q else 20_000)
    opts.mb = opts.mb or (0.3 if q else 3.5)
    opts.docs = opts.docs or (5_000 if q else 200_000)
    opts.rows = opts.rows or (16 if q else 128)
    opts.e2e_passages = opts.e2e_passages or (20_000 if q else 1_000_000)
    opts.repeat = opts.repeat or (2 if q else 7)
    opts.py_repeat = opts.py_repeat or (1 if q else 3)

    quarnel = load_quarnel()
    try:
        import polars as pl
        import pyarrow as pa
        import pyarrow.parquet as pq
    except ImportError as e:
        sys.exit(f"this benchmark needs pyarrow and Polars ({e}): pip install -r requirements-dev.txt")
    from quarnel import columnar

    exe = None if opts.skip_native else native_binary("bench_tokenize")
    res = {"tokenize": tokenize_section(opts, quarnel, columnar, pa, pl, exe),
           "icu": icu_section(opts, quarnel, columnar, pa)}
    with tempfile.TemporaryDirectory(prefix="quarnel-bench-") as tmp:
        res["annotator"] = annotator_section(opts, quarnel, columnar, pa, pq, tmp)
        res["maps"] = maps_section(opts, quarnel, columnar, pa)
        if not opts.skip_e2e:
            res["e2e"] = end_to_end_section(opts, pa, pq, tmp)
    report(opts, res)


if __name__ == "__main__":
    main()
