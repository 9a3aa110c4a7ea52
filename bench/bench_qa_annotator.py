"""QAAnnotator against the pure-Python ways of labelling retrieved passages.

Workload (seeded): a corpus of Zipf-distributed lowercase words and
punctuation (100,000 passages of 100-130 tokens), 3,610 questions with 100
retrieved passages each, 1-5 short answers per question (1-3 words, some
capitalised or punctuated so that tokenization matters), answers planted in
a realistic share of the retrieved passages.

Pure-Python ways, answers tokenized with the `regex` module (same pattern,
NFD, lowercase per token):
  (a) the sliding window of list slices used by open-domain QA evaluation
      code, in one process and with multiprocessing.Pool(2) over questions
      (fork; pool start-up included in the time);
  (b) the fastest honest pure-Python variant found here (several are timed;
      the fastest is kept).
All must give the same qrels as QAAnnotator.annotate / annotate_non_optim.

Worst case for matching: one 1,000-token answer (999 "w" then "x") against
one 2,000,000-token document of "w" (every position starts a near match):
linear, under 50 ms; also the longest answer that the one-pass scan takes
(4 tokens) on the same document, and (b3) on both. The other pure-Python
ways are quadratic there (minutes) and are not run.

Also: native-work scaling with 2 workers vs 1 (bench/native/bench_annotate,
built here with -DQUARNEL_BENCH=ON if missing), construction speed, and the
native corpus memory per token on a large corpus (in a fresh subprocess).

Run:  .venv/bin/python bench/bench_qa_annotator.py [--quick]
  or  PYTHONPATH=build-dir python3 bench/bench_qa_annotator.py [--quick]
"""

from __future__ import annotations

import argparse
import gc
import itertools
import json
import multiprocessing
import random
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np

sys.path.insert(0, str(Path(__file__).resolve().parent))

from _common import (  # noqa: E402
    Load,
    background_note,
    ENGLISH_WORDS,
    best_of,
    interleaved,
    load_summary,
    default_pool_threads,
    fmt_s,
    load_quarnel,
    machine_note,
    malloc_trim,
    native_binary,
    native_scaling,
    progress,
    py_tokenize,
    ratio_line,
    rounds_text,
    rss_bytes,
    run_native,
)

# ------------------------------------------------------------ vocabulary

_CORPUS_SYLLABLES = ("ba be bi bo da de di do ka ke ki ko la le li lo ma me mi mo na ne ni no "
                     "pa pe pi po ra re ri ro sa se si so ta te ti to va ve vi vo an en in on "
                     "ar er ir or st tr pl gr ch sh th").split()
_NAME_SYLLABLES = "zh kw xa yor quen thal brix vund osk pell ryn jast ulm dov ezz".split()
_PUNCTUATION = [",", ".", "'", '"', "(", ")", "-", ":", ";", "?"]


def vocabulary(size: int, seed: int) -> list:
    """`size` distinct lowercase token types, most frequent first: common
    English words with punctuation among them, then made-up words."""
    rng = random.Random(seed)
    head = [w for w in ENGLISH_WORDS if w.isalpha()]
    out = head[:1] + [",", "."] + head[1:20] + _PUNCTUATION[2:] + head[20:]
    seen = set(out)
    while len(out) < size:
        w = "".join(rng.choice(_CORPUS_SYLLABLES) for _ in range(rng.randint(2, 4)))
        if w not in seen:
            seen.add(w)
            out.append(w)
    return out[:size]


def zipf_probabilities(n: int, s: float = 1.0, q: float = 2.7) -> np.ndarray:
    p = 1.0 / (np.arange(1, n + 1, dtype=np.float64) + q) ** s
    return p / p.sum()


def make_corpus(docs: int, seed: int, vocab_size: int = 50_000, lo: int = 100, hi: int = 130):
    """{docid: [token, ...]} with tokens drawn Zipf-like from a shared
    vocabulary (so equal tokens are the same str object), plus per-type
    counts of the draws (for the byte count)."""
    vocab = vocabulary(vocab_size, seed)
    rng = np.random.default_rng(seed)
    lengths = rng.integers(lo, hi + 1, size=docs)
    total = int(lengths.sum())
    ids = rng.choice(len(vocab), size=total, p=zipf_probabilities(len(vocab)))
    counts = np.bincount(ids, minlength=len(vocab))
    objects = np.array(vocab, dtype=object)[ids]
    del ids
    ends = np.cumsum(lengths).tolist()
    corpus = {}
    start = 0
    for i, end in enumerate(ends):
        corpus[str(i + 1)] = objects[start:end].tolist()
        start = end
    return corpus, vocab, counts


# --------------------------------------------------------------- answers

def _name(rng: random.Random) -> str:
    w = "".join(rng.choice(_NAME_SYLLABLES) for _ in range(rng.randint(2, 3)))
    return w[:1].upper() + w[1:]


def make_answer(rng: random.Random, vocab: list) -> str:
    """One short answer string of 1-3 words."""
    k = rng.random()
    if k < 0.25:
        return _name(rng)
    if k < 0.45:
        return f"{_name(rng)} {_name(rng)}"
    if k < 0.50:
        return f"{rng.choice(['St.', 'Dr.', 'Mt.'])} {_name(rng)}"
    if k < 0.55:
        return f"U.S. {_name(rng)}"
    if k < 0.60:
        return f"O'{_name(rng)}"
    if k < 0.64:
        return f"{_name(rng)}-{_name(rng)}"
    if k < 0.79:
        r = rng.random()
        if r < 0.3:
            return f"{rng.randint(1, 999)},{rng.randint(0, 999):03d}"
        if r < 0.5:
            return f"{rng.randint(0, 99)}.{rng.randint(0, 99):02d}"
        if r < 0.8:
            return str(rng.randint(1500, 2024))
        return f"{rng.randint(2, 99)} {rng.choice(['percent', 'miles', 'years'])}"
    if k < 0.84:
        return rng.choice([f"{_name(rng)}é", f"São {_name(rng)}", f"Zoë {_name(rng)}"])
    if k < 0.87:
        return _name(rng) + rng.choice(["!", "?", "."])
    # Ordinary corpus words: these also occur by chance.
    words = [vocab[int(300 + rng.paretovariate(0.8) * 50) % len(vocab)] for _ in range(rng.randint(1, 2))]
    text = " ".join(words)
    return text.title() if rng.random() < 0.5 else text


def make_workload(questions: int, docs: int, seed: int, per_question: int = 100):
    """Corpus, retrieval results and answers, with answers planted in the
    retrieved passages: about a third of the questions at rank 1, most of
    them somewhere in the top 100, and near misses (an answer's first
    token alone) in some passages."""
    corpus, vocab, counts = make_corpus(docs, seed)
    docids = list(corpus)
    nrng = np.random.default_rng(seed + 1)
    rng = random.Random(seed + 2)
    qid_to_docids, qid_to_answers = {}, {}
    for q in range(questions):
        qid = f"q{q}"
        retrieved = [docids[i] for i in nrng.choice(len(docids), size=per_question, replace=False)]
        n_answers = rng.choices([1, 2, 3, 4, 5], weights=[45, 25, 15, 10, 5])[0]
        answers = [make_answer(rng, vocab) for _ in range(n_answers)]
        qid_to_docids[qid] = retrieved
        qid_to_answers[qid] = answers
        tokenized = [t for t in (py_tokenize(a) for a in answers) if t]

        def plant(docid, tokens):
            doc = corpus[docid]
            pos = rng.randrange(0, len(doc) - len(tokens) + 1)
            doc[pos:pos + len(tokens)] = tokens

        if rng.random() < 0.85:  # answerable from the top 100
            if rng.random() < 0.33 / 0.85:
                plant(retrieved[0], rng.choice(tokenized))
            for _ in range(min(per_question, int(rng.expovariate(1 / 5.0)) + 1)):
                rank = int(per_question * rng.random() ** 2)
                if rank > 0:
                    plant(retrieved[rank], rng.choice(tokenized))
        multi = [t for t in tokenized if len(t) > 1]
        if multi:
            for docid in retrieved:
                if rng.random() < 0.08:
                    plant(docid, rng.choice(multi)[:1])
    return corpus, vocab, counts, qid_to_docids, qid_to_answers


# ------------------------------------------------------ pure-Python ways

def has_answer_window(doc: list, answers: list) -> bool:
    """(a) The sliding window of list slices."""
    for ans in answers:
        for i in range(len(doc) - len(ans) + 1):
            if ans == doc[i:i + len(ans)]:
                return True
    return False


def annotate_window(qid_to_docids: dict, qid_to_answers: dict, corpus: dict) -> dict:
    qrels = {}
    for qid, docids in qid_to_docids.items():
        answers = [py_tokenize(a) for a in qid_to_answers[qid]]
        qrels[qid] = {docid: int(has_answer_window(corpus[docid], answers)) for docid in docids}
    return qrels


# Inherited by the forked workers of annotate_window_pool.
_SHARED: dict = {}


def _window_chunk(qids: list) -> dict:
    retrieved = _SHARED["qid_to_docids"]
    return annotate_window({q: retrieved[q] for q in qids}, _SHARED["qid_to_answers"], _SHARED["corpus"])


def annotate_window_pool(qid_to_docids: dict, qid_to_answers: dict, corpus: dict, processes: int = 2,
                         chunk: int = 32, timings: dict | None = None) -> dict:
    """(a) in `processes` forked worker processes, questions split in chunks."""
    _SHARED.update(qid_to_docids=qid_to_docids, qid_to_answers=qid_to_answers, corpus=corpus)
    qids = list(qid_to_docids)
    chunks = [qids[i:i + chunk] for i in range(0, len(qids), chunk)]
    t0 = time.perf_counter()
    pool = multiprocessing.get_context("fork").Pool(processes)
    t1 = time.perf_counter()
    try:
        parts = pool.map(_window_chunk, chunks)
        t2 = time.perf_counter()
        pool.close()
        pool.join()
    except BaseException:
        pool.terminate()
        raise
    t3 = time.perf_counter()
    _SHARED.clear()
    qrels = {}
    for part in parts:
        qrels.update(part)
    if timings is not None:
        timings.update(start=t1 - t0, work=t2 - t1, stop=t3 - t2)
    return qrels


def annotate_index(qid_to_docids: dict, qid_to_answers: dict, corpus: dict) -> dict:
    """(b1) list.index finds the candidate starts, a slice compares."""
    qrels = {}
    for qid, docids in qid_to_docids.items():
        answers = [py_tokenize(a) for a in qid_to_answers[qid]]
        labels = {}
        for docid in docids:
            doc = corpus[docid]
            hit = 0
            for ans in answers:
                n = len(ans)
                if n == 0:
                    hit = 1
                    break
                stop = len(doc) - n + 1
                if stop <= 0:
                    continue
                first, i = ans[0], 0
                try:
                    while True:
                        i = doc.index(first, i, stop)
                        if n == 1 or doc[i:i + n] == ans:
                            hit = 1
                            break
                        i += 1
                except ValueError:
                    pass
                if hit:
                    break
            labels[docid] = hit
        qrels[qid] = labels
    return qrels


def annotate_in_index(qid_to_docids: dict, qid_to_answers: dict, corpus: dict) -> dict:
    """(b2) `first in doc` rules most passages out without an exception;
    list.index and a slice only where the first token occurs."""
    qrels = {}
    for qid, docids in qid_to_docids.items():
        answers = [py_tokenize(a) for a in qid_to_answers[qid]]
        labels = {}
        for docid in docids:
            doc = corpus[docid]
            hit = 0
            for ans in answers:
                n = len(ans)
                if n == 0:
                    hit = 1
                    break
                first = ans[0]
                if first not in doc or n > len(doc):
                    continue
                if n == 1:
                    hit = 1
                    break
                stop, i = len(doc) - n + 1, 0
                try:
                    while True:
                        i = doc.index(first, i, stop)
                        if doc[i:i + n] == ans:
                            hit = 1
                            break
                        i += 1
                except ValueError:
                    pass
                if hit:
                    break
            labels[docid] = hit
        qrels[qid] = labels
    return qrels


def annotate_joined(qid_to_docids: dict, qid_to_answers: dict, corpus: dict) -> dict:
    """(b3) Each passage joined into one string with NUL between tokens and
    at both ends; an answer occurs iff its NUL-delimited form is a
    substring. Exact for tokens without NUL, which the tokenizer never
    produces (NUL is a control character)."""
    join = "\0".join
    qrels = {}
    for qid, docids in qid_to_docids.items():
        answers = [py_tokenize(a) for a in qid_to_answers[qid]]
        if any(not a for a in answers):
            qrels[qid] = dict.fromkeys(docids, 1)
            continue
        needles = ["\0" + join(a) + "\0" for a in answers]
        labels = {}
        for docid in docids:
            text = "\0" + join(corpus[docid]) + "\0"
            hit = 0
            for needle in needles:
                if needle in text:
                    hit = 1
                    break
            labels[docid] = hit
        qrels[qid] = labels
    return qrels


FAST_VARIANTS = {
    "(b1) list.index + slice": annotate_index,
    "(b2) `in` guard, list.index + slice": annotate_in_index,
    "(b3) NUL-joined passage, substring search": annotate_joined,
}


# ----------------------------------------------------------- worst case

WORST_DOC_TOKENS = 2_000_000
WORST_BUDGET_S = 0.050


def worst_case(quarnel, repeat: int) -> list:
    """(label, ours, (b3)) for adversarial answers on one repetitive document."""
    doc = ["w"] * WORST_DOC_TOKENS
    qa = quarnel.QAAnnotator({"d": doc})
    corpus = {"d": doc}
    qid_to_docids = {"q": ["d"]}
    out = []
    for tokens in (1000, 4):
        answers = {"q": [" ".join(["w"] * (tokens - 1) + ["x"])]}
        label = f"{tokens:,}-token answer"
        progress(f"worst case: {label} against {WORST_DOC_TOKENS:,} tokens")
        t = interleaved([
            ("annotate_non_optim", lambda a=answers: qa.annotate_non_optim(qid_to_docids, a), repeat),
            ("(b3)", lambda a=answers: annotate_joined(qid_to_docids, a, corpus), repeat),
        ], verbose=False)
        ours, theirs = t["annotate_non_optim"], t["(b3)"]
        check_same(f"(b3) on the {label}", ours[2], theirs[2])
        out.append((label, ours.best, theirs.best))
    return out


# ------------------------------------------------------------- helpers

def qrels_summary(qrels: dict, qid_to_docids: dict) -> dict:
    n = len(qrels)
    top1 = sum(1 for q, docids in qid_to_docids.items() if qrels[q][docids[0]])
    anywhere = sum(1 for labels in qrels.values() if any(labels.values()))
    positives = sum(sum(labels.values()) for labels in qrels.values())
    return {"questions": n, "top1": top1 / n, "any": anywhere / n, "positives": positives,
            "pairs": sum(map(len, qrels.values()))}


def first_difference(a: dict, b: dict) -> str:
    for q in a.keys() | b.keys():
        if q not in a or q not in b:
            return f"question {q} missing on one side"
        for d in a[q].keys() | b[q].keys():
            if a[q].get(d) != b[q].get(d):
                return f"question {q}, document {d}: {a[q].get(d)} vs {b[q].get(d)}"
    return "none"


def check_same(name: str, ours: dict, theirs: dict) -> None:
    if ours != theirs:
        sys.exit(f"{name} gives different qrels than QAAnnotator: {first_difference(ours, theirs)}")


def write_native_input(path: Path, corpus: dict, qid_to_docids: dict, qid_to_answers: dict) -> None:
    """The workload in bench_annotate's line format (see bench_annotate.cpp)."""
    def plain(word: str) -> bool:  # non-empty, no whitespace: survives the space-separated fields
        return word.split() == [word]

    bad = [t for t in set().union(*corpus.values()) if not plain(t)]
    bad += [i for i in itertools.chain(corpus, qid_to_docids, *qid_to_docids.values()) if not plain(i)]
    if bad:
        raise ValueError(f"cannot be written in the line format (empty or with whitespace): {bad[:3]!r}")
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for docid, tokens in corpus.items():
            f.write(f"D\t{docid}\t{' '.join(tokens)}\n")
        for qid, docids in qid_to_docids.items():
            f.write(f"Q\t{qid}\t{' '.join(docids)}\n")
        for qid, answers in qid_to_answers.items():
            if any("\t" in a or "\n" in a for a in answers):
                raise ValueError(f"answer of {qid} cannot be written in the line format")
            f.write("A\t" + "\t".join([qid, *answers]) + "\n")


def memory_child(docs: int, seed: int) -> None:
    """Runs in a fresh process: resident memory before and after building
    an annotator over a large corpus of shared str objects."""
    from quarnel import QAAnnotator

    corpus, vocab, counts = make_corpus(docs, seed)
    tokens = int(counts.sum())
    token_bytes = int(sum(len(w.encode("utf-8")) * int(c) for w, c in zip(vocab, counts)))
    id_bytes = sum(len(d) for d in corpus)
    gc.collect()
    malloc_trim()
    before = rss_bytes()
    with Load() as load:
        t0 = time.perf_counter()
        qa = QAAnnotator(corpus)
        t1 = time.perf_counter()
    after = rss_bytes()
    malloc_trim()
    after_trim = rss_bytes()
    print(json.dumps({"docs": len(corpus), "tokens": tokens, "token_bytes": token_bytes, "id_bytes": id_bytes,
                      "before": before, "after": after, "after_trim": after_trim, "build_s": t1 - t0,
                      "others_cpus": load.others}))
    del qa


def run_memory_child(docs: int, seed: int) -> dict | None:
    progress(f"memory: building an annotator over {docs:,} passages in a fresh process")
    r = subprocess.run([sys.executable, __file__, "--memory-child", str(docs), "--seed", str(seed)],
                       capture_output=True, text=True)
    if r.returncode != 0:
        progress(f"memory measurement failed: {r.stderr.strip()[-2000:]}")
        return None
    return json.loads(r.stdout.strip().splitlines()[-1])


# ------------------------------------------------------------- benchmark

def main(argv=None) -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="small workloads and few repeats (smoke run)")
    ap.add_argument("--questions", type=int, help="questions (default 3610, quick 300)")
    ap.add_argument("--docs", type=int, help="corpus passages (default 100000, quick 10000)")
    ap.add_argument("--memory-docs", type=int,
                    help="passages of the memory measurement (default 500000, quick 50000)")
    ap.add_argument("--repeat", type=int, help="repeats of our calls; the best counts (default 5)")
    ap.add_argument("--py-repeat", type=int, help="repeats of the fast pure-Python variants (default 3)")
    ap.add_argument("--slow-repeat", type=int, help="repeats of the sliding window, (a) (default 2, quick 1)")
    ap.add_argument("--rounds", type=int, help="alternating rounds of the native 1-/2-worker runs (default 5)")
    ap.add_argument("--seed", type=int, default=1234)
    ap.add_argument("--build-dir", help="where the native benchmark is built (default build/bench)")
    ap.add_argument("--no-build", action="store_true", help="use an existing native benchmark, never build")
    ap.add_argument("--skip-native", action="store_true", help="skip the native (thread-scaling) part")
    ap.add_argument("--skip-memory", action="store_true", help="skip the memory measurement")
    ap.add_argument("--memory-child", type=int, help=argparse.SUPPRESS)
    opts = ap.parse_args(argv)
    if opts.memory_child:
        memory_child(opts.memory_child, opts.seed)
        return
    q = opts.quick
    opts.questions = opts.questions or (300 if q else 3610)
    opts.docs = opts.docs or (10_000 if q else 100_000)
    opts.memory_docs = opts.memory_docs or (50_000 if q else 500_000)
    opts.repeat = opts.repeat or (2 if q else 5)
    opts.py_repeat = opts.py_repeat or (1 if q else 3)
    opts.slow_repeat = opts.slow_repeat or (1 if q else 2)
    opts.rounds = opts.rounds or (1 if q else 5)

    quarnel = load_quarnel()
    exe = None
    if opts.skip_native:
        progress("native part skipped (--skip-native)")
    else:
        exe = native_binary("bench_annotate", opts.build_dir, build=not opts.no_build)
        if exe is None:
            progress("the native thread-scaling part will be skipped")
    default_threads = default_pool_threads(exe)

    progress(f"generating {opts.docs:,} passages, {opts.questions:,} questions x 100 retrieved")
    corpus, _, counts, qid_to_docids, qid_to_answers = make_workload(opts.questions, opts.docs, opts.seed)
    corpus_tokens = int(counts.sum())
    pairs = sum(map(len, qid_to_docids.values()))

    progress("QAAnnotator(corpus)")
    timed = best_of(lambda: quarnel.QAAnnotator(corpus), opts.repeat, "construction")
    build_s, _, qa = timed
    build_bg = timed.note()
    del timed

    # A first check on a few questions, on the calling thread (the worker
    # pool is not started before the forked pure-Python run below).
    sample = dict(list(qid_to_docids.items())[:100])
    reference = qa.annotate_non_optim(sample, qid_to_answers)
    check_same("(a) sliding window", reference, annotate_window(sample, qid_to_answers, corpus))
    for name, fn in FAST_VARIANTS.items():
        check_same(name, reference, fn(sample, qid_to_answers, corpus))

    progress("(a) sliding window, one process and with Pool(2) (the slow ones, interleaved runs)")
    pool_times: dict = {}
    t = interleaved([
        ("(a) one process", lambda: annotate_window(qid_to_docids, qid_to_answers, corpus), opts.slow_repeat),
        ("(a) Pool(2)", lambda: annotate_window_pool(qid_to_docids, qid_to_answers, corpus, 2, timings=pool_times),
         opts.slow_repeat),
    ])
    (a_single, _, qrels_a), (a_pool, _, qrels_a2) = t["(a) one process"], t["(a) Pool(2)"]
    notes = {name: timed.note() for name, timed in t.items()}
    del t

    progress("the fast pure-Python variants, annotate and annotate_non_optim (interleaved runs)")
    cases = [(name, lambda fn=fn: fn(qid_to_docids, qid_to_answers, corpus), opts.py_repeat)
             for name, fn in FAST_VARIANTS.items()]
    # The interpreter side of annotate: the same ids over empty documents
    # (argument conversion, answer tokenization, look-ups, result building),
    # and the floor of building a dict of dicts of that shape in Python.
    hollow = quarnel.QAAnnotator(dict.fromkeys(corpus, ()))
    cases += [
        ("annotate", lambda: qa.annotate(qid_to_docids, qid_to_answers), opts.repeat),
        ("annotate_non_optim", lambda: qa.annotate_non_optim(qid_to_docids, qid_to_answers), opts.repeat),
        ("annotate over empty documents", lambda: hollow.annotate(qid_to_docids, qid_to_answers), opts.repeat),
        ("dict-of-dicts floor", lambda: {q: dict.fromkeys(d, 0) for q, d in qid_to_docids.items()}, opts.repeat),
    ]
    t = interleaved(cases)
    del hollow
    hollow_s, floor_s = t["annotate over empty documents"].best, t["dict-of-dicts floor"].best
    fast = {name: t[name][0] for name in FAST_VARIANTS}
    notes.update((name, timed.note()) for name, timed in t.items())
    best_b = min(FAST_VARIANTS, key=lambda n: fast[n])
    ann_s, _, qrels = t["annotate"]
    ann_bg = t["annotate"].best_others
    non_s, _, qrels_non = t["annotate_non_optim"]
    check_same("annotate_non_optim", qrels, qrels_non)
    check_same("(a) sliding window", qrels, qrels_a)
    check_same("(a) sliding window with Pool(2)", qrels, qrels_a2)
    for name in FAST_VARIANTS:
        check_same(name, qrels, t[name][2])
    summary = qrels_summary(qrels, qid_to_docids)
    del t, qrels_non, qrels_a, qrels_a2

    scaling = None
    if exe is not None:
        with tempfile.TemporaryDirectory(prefix="quarnel-bench-") as tmp:
            path = Path(tmp) / "workload.tsv"
            progress(f"writing the workload for bench_annotate to {path}")
            write_native_input(path, corpus, qid_to_docids, qid_to_answers)
            progress(f"native annotate with 1 and 2 workers ({opts.rounds} alternating rounds)")
            try:
                args = [path, "--repeat", opts.repeat, "--non-optim-repeat", 1]
                scaling, round_ratios = native_scaling(exe, args, opts.rounds)
                if default_threads is not None and default_threads not in scaling:
                    scaling[default_threads] = run_native(exe, args, default_threads)
            except Exception as e:  # noqa: BLE001 - report and go on without the native part
                progress(f"native benchmark failed, skipping its part: {e}")
                scaling, round_ratios = None, None
        if scaling and any(r["positives"] != summary["positives"] for r in scaling.values()):
            sys.exit("bench_annotate found a different number of positive labels than the module")

    memory = None if opts.skip_memory else run_memory_child(opts.memory_docs, opts.seed + 7)
    worst = worst_case(quarnel, opts.repeat)

    # ---- report
    print()
    print(f"QAAnnotator benchmark ({'quick' if q else 'full'}): quarnel from {Path(quarnel.__file__).parent}")
    print(f"machine: {machine_note()}; pool workers in this process: {default_threads or 'unknown'}")
    print(f"best of {opts.repeat} (ours) / {opts.py_repeat} (fast pure Python) / {opts.slow_repeat} "
          "(sliding window) interleaved runs, garbage collector off while timing; ratios are their time / our time")
    print(load_summary())
    print()
    print(f"workload: {len(corpus):,} passages, {corpus_tokens:,} corpus tokens; {summary['questions']:,} questions, "
          f"{pairs:,} (question, passage) pairs")
    print(f"  answer in the top 1 for {100 * summary['top1']:.0f}% of questions, in the top 100 for "
          f"{100 * summary['any']:.0f}%; {summary['positives']:,} positive labels "
          f"({100 * summary['positives'] / pairs:.1f}% of pairs)")
    print("  all ways below gave identical qrels")
    print()
    print(f"annotate (conversion and result building included)   {fmt_s(ann_s):>10}   {notes['annotate']}")
    print(f"annotate_non_optim (calling thread)                  {fmt_s(non_s):>10}   {notes['annotate_non_optim']}")
    print(f"(a) sliding window, one process                      {fmt_s(a_single):>10}   {notes['(a) one process']}")
    print(f"(a) sliding window, Pool(2) (start-up included)      {fmt_s(a_pool):>10}   {notes['(a) Pool(2)']}\n"
          f"    [last run: Pool(2) start {fmt_s(pool_times['start'])}, work {fmt_s(pool_times['work'])}, "
          f"close+join {fmt_s(pool_times['stop'])}]")
    for name in FAST_VARIANTS:
        mark = "  <- (b), the fastest" if name == best_b else ""
        print(f"{name:<52} {fmt_s(fast[name]):>10}   {notes[name]}{mark}")
    print()
    print(ratio_line("annotate vs (a) one process", ann_s, a_single, 30))
    print(ratio_line("annotate vs (a) Pool(2)", ann_s, a_pool))
    print(ratio_line(f"annotate vs (b) {best_b[:4]}", ann_s, fast[best_b], 8))
    print(ratio_line("annotate_non_optim vs (a) one process", non_s, a_single))
    print(ratio_line(f"annotate_non_optim vs (b) {best_b[:4]}", non_s, fast[best_b]))
    print(ratio_line("annotate vs annotate_non_optim", ann_s, non_s))

    print()
    print(f"worst case: one answer against one {WORST_DOC_TOKENS:,}-token document of a single repeated token")
    for label, ours, theirs in worst:
        budget = f"  (budget {fmt_s(WORST_BUDGET_S)}: {'met' if ours < WORST_BUDGET_S else 'MISSED'})" \
            if label.startswith("1,000") else ""
        print(f"  {label:<20} annotate_non_optim {fmt_s(ours):>10}   (b3) {fmt_s(theirs):>10}{budget}")
        print("  " + ratio_line(f"{label}: annotate_non_optim vs (b3)", ours, theirs))

    print()
    print("where annotate's time goes:")
    print(f"  {'Python-visible annotate':<58} {fmt_s(ann_s):>10}")
    if scaling and default_threads in scaling:
        nat = scaling[default_threads]["best_s"]
        print(f"  {f'native work (bench_annotate, {default_threads} workers as here)':<58} {fmt_s(nat):>10}  "
              f"{100 * nat / ann_s:3.0f}%")
        print(f"  {'the remainder: argument conversion, result building':<58} {fmt_s(ann_s - nat):>10}  "
              f"{100 * (ann_s - nat) / ann_s:3.0f}%")
        print("  " + background_note(ann_bg, scaling[default_threads]["others_cpus"]))
    print(f"  {'annotate over empty documents with the same ids':<58} {fmt_s(hollow_s):>10}  "
          f"{100 * hollow_s / ann_s:3.0f}%  (conversion, answer tokenization, look-ups, result building)")
    print(f"  {'cf. building a dict of dicts of that shape in Python':<58} {fmt_s(floor_s):>10}")

    print()
    if scaling:
        one, two = scaling[1], scaling[2]
        print("native annotate (bench_annotate: the same workload, no interpreter):")
        for n, r in sorted(scaling.items()):
            print(f"  {n} worker(s): annotate {fmt_s(r['best_s']):>10}   "
                  f"{r['pairs'] / r['best_s'] / 1e6:6.2f} M pairs/s")
        print(f"  annotate_non_optim: {fmt_s(min(r['non_optim_best_s'] for r in scaling.values())):>10}")
        print("  " + ratio_line("2 workers vs 1 (best vs best)", two["best_s"], one["best_s"], 1.6))
        print("  " + ratio_line(f"2 workers vs 1 (median vs median of {one['all_runs']} runs each)", two["median_s"], one["median_s"], 1.6))
        print("  per alternating round (busy = other processes used CPU meanwhile): " + rounds_text(round_ratios))
        print(f"  native corpus construction: {one['corpus_tokens'] / one['build_s'] / 1e6:.1f} M tokens/s; "
              f"Corpus::memory_bytes {one['corpus_memory_bytes'] / one['corpus_tokens']:.2f} bytes/token")
    else:
        print("native annotate scaling: skipped (no native benchmark executable; see the messages above)")

    print()
    rate = corpus_tokens / build_s / 1e6
    print(f"construction QAAnnotator(corpus), {corpus_tokens:,} tokens: {fmt_s(build_s)} = {rate:.1f} M tokens/s   "
          f"(target >= 30: {'met' if rate >= 30 else 'NOT met'}) {build_bg}")
    if memory:
        t, d = memory["tokens"], memory["docs"]
        budget = memory["token_bytes"] + 8 * t + 64 * d
        used = memory["after"] - memory["before"]
        used_trim = memory["after_trim"] - memory["before"]
        print(f"native corpus memory, {d:,} passages, {t:,} tokens ({memory['token_bytes'] / t:.2f} token bytes per "
              f"token, {memory['id_bytes'] / d:.1f} id bytes per passage):")
        print(f"  resident memory grew by {used / 2**20:.1f} MiB = {used / t:.2f} bytes/token "
              f"({used_trim / 2**20:.1f} MiB = {used_trim / t:.2f} bytes/token after malloc_trim)")
        print(f"  budget (token bytes + 8 B/token + 64 B/passage): {budget / 2**20:.1f} MiB = {budget / t:.2f} "
              f"bytes/token -> {'within' if used <= budget else 'OVER'} budget ({100 * used / budget:.0f}%)")
        bg = "" if memory["others_cpus"] is None else f" (others used {memory['others_cpus']:.2f} CPUs meanwhile)"
        print(f"  construction on this corpus, into fresh memory (after malloc_trim): {memory['build_s']:.3f} s = "
              f"{t / memory['build_s'] / 1e6:.1f} M tokens/s{bg}")


if __name__ == "__main__":
    main()
