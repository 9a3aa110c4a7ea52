"""ICUWordPreTokenizer against the pure-Python way of doing the same job.

The pure-Python way is PyICU's word break iterator (root locale) over the
same cleaned, trimmed and lowercased text, trimming the pieces in Python:

    text = CLEAN.sub("", text).strip(WS).lower()
    bi.setText(text); pieces = text[a:b].strip(WS) for each boundary pair

Seeded workloads, each about 3.5 MB of passages drawn from the sentences of
examples/data/multilingual.tsv, equal bytes per language:
- 8 languages (English, German, French, Spanish, Russian, Greek, Chinese,
  Japanese);
- the same with Thai and Korean added (10 languages): two more scripts
  whose segmentation costs ICU several times the Latin rate, and a smaller
  share of Chinese and Japanese, whose dictionary segmentation dominates;
- English-like text (the generator of bench_regex_tokenizer.py).
For each, in the same run and interleaved:

- batch_tokenize() over the passages vs the pure-Python way per passage;
- the floor batch_tokenize() is held to: ICU's boundary iteration alone
  over UTF-16 (bench/native/bench_icu_boundaries: BreakIterator over the
  already cleaned, trimmed, lowercased texts, converted before timing)
  plus the str.split floor for building as many str objects: split() of
  each passage's tokens joined by spaces, which makes exactly our strings
  and lists;
- where the time goes: native work (bench_icu_boundaries --mode tokenize)
  vs ICU alone, and the Python side (conversion and result building);
- per language of the 8-language mix: batch_tokenize vs the pure-Python
  way on that language's passages, and our cost per character.

Goals: on the 8-language mix at least 2.2x the pure-Python way, English at
least 4x (in the mix and on the English workload), and at most 1.25x the
floor.

Run:  .venv/bin/python bench/bench_icu_word_pre_tokenizer.py [--quick]
  or  PYTHONPATH=build-dir python3 bench/bench_icu_word_pre_tokenizer.py [--quick]
"""

from __future__ import annotations

import argparse
import random
import sys
import tempfile
import time
from collections import defaultdict
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from _common import (  # noqa: E402
    ROOT,
    fmt_s,
    interleaved,
    load_quarnel,
    load_summary,
    machine_note,
    native_binary,
    progress,
    ratio_line,
    run_native,
)
from bench_regex_tokenizer import english_passages  # noqa: E402

import regex  # noqa: E402

CORPUS = ROOT / "examples" / "data" / "multilingual.tsv"
WS = "\t\n\x0b\x0c\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009\u200a" \
     "\u2028\u2029\u202f\u205f\u3000"
CLEAN = regex.compile(r"[\p{Cc}\p{Cs}\p{Cn}]+")


def load_sentences() -> dict:
    """language -> its sentences."""
    out = defaultdict(list)
    for line in CORPUS.read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            lang, sentence = line.split("\t", 1)
            out[lang].append(sentence)
    return dict(out)


MIX_8 = ("de", "el", "en", "es", "fr", "ja", "ru", "zh")


def multilingual_passages(total_bytes: int, seed: int, langs=None, lo: int = 500, hi: int = 550) -> list:
    """(language, passage) pairs: each passage is random sentences of one
    language (all of them, or those of `langs`), about lo..hi UTF-8 bytes,
    until `total_bytes` are reached."""
    rng = random.Random(seed)
    sentences = load_sentences()
    langs = sorted(langs or sentences)
    out, size = [], 0
    while size < total_bytes:
        lang = langs[len(out) % len(langs)]
        target = rng.randint(lo, hi)
        parts, length = [], 0
        while length < target:
            s = rng.choice(sentences[lang])
            parts.append(s)
            length += len(s.encode()) + 1
        passage = " ".join(parts)
        out.append((lang, passage))
        size += len(passage.encode())
    return out


def make_py_pretokenize():
    try:
        import icu
    except ImportError:
        sys.exit("PyICU is needed for the pure-Python way: pip install -r requirements-dev.txt")
    bi = icu.BreakIterator.createWordInstance(icu.Locale.getRoot())

    def prepare(text: str) -> str:
        return CLEAN.sub("", text).strip(WS).lower()

    def py_pretokenize(text: str, _prepare=prepare, _ws=WS) -> list:
        text = _prepare(text)
        if not text:
            return []
        bi.setText(text)  # boundaries count UTF-16 units: the texts here are all in the BMP
        out = []
        start = bi.first()
        for end in bi:
            piece = text[start:end].strip(_ws)
            start = end
            if piece:
                out.append(piece)
        return out

    return py_pretokenize, prepare


def bench_dataset(name: str, passages: list, tok, py_pretokenize, prepare, opts, exe) -> dict:
    progress(f"{name}: {len(passages):,} passages, checking that both ways give the same tokens")
    assert all(max(p) < "\U00010000" and "\n" not in p for p in passages)
    ours = tok.batch_tokenize(passages)
    if ours != [py_pretokenize(p) for p in passages]:
        sys.exit(f"{name}: the pure-Python way gives other tokens")
    ntokens = sum(map(len, ours))
    # The str.split floor: splitting our tokens joined by spaces gives our
    # result again (no token holds a character split() cuts at).
    joined = [" ".join(toks) for toks in ours]
    if [j.split() for j in joined] != ours:
        sys.exit(f"{name}: split() of the joined tokens does not give the tokens back")
    del ours

    cases = [
        ("batch_tokenize", lambda: tok.batch_tokenize(passages), opts.repeat),
        ("pure Python", lambda: [py_pretokenize(p) for p in passages], opts.py_repeat),
        ("str.split floor (same strings)", lambda: [j.split() for j in joined], opts.repeat),
        ("str.split of the passages", lambda: [p.split() for p in passages], opts.repeat),
    ]
    res = {"name": name, "passages": len(passages), "bytes": sum(len(p.encode()) for p in passages),
           "tokens": ntokens, "times": {}, "icu": {}, "native": {}}
    # Everything here runs on this one thread, so its CPU time is the cost
    # without the time other processes take the CPU away; wall time too.
    for clock, key in ((time.thread_time, "cpu"), (time.perf_counter, "wall")):
        progress(f"{name}: timing ({key} time, interleaved)")
        t = interleaved(cases, clock=clock)
        res["times"][key] = {k: v.best for k, v in t.items()}
    if exe:
        with tempfile.TemporaryDirectory() as d:
            raw, prepared = Path(d) / "raw.txt", Path(d) / "prepared.txt"
            raw.write_text("\n".join(passages) + "\n", encoding="utf-8")
            prepared.write_text("\n".join(map(prepare, passages)) + "\n", encoding="utf-8")
            runs = {"icu": [], "native": []}
            for _ in range(opts.native_rounds):  # alternate the two
                runs["icu"].append(run_native(exe, [prepared, "--mode", "boundaries", "--repeat", opts.repeat], None))
                runs["native"].append(run_native(exe, [raw, "--mode", "tokenize", "--repeat", opts.repeat], None))
            for k, v in runs.items():
                res[k] = {"cpu": min(r["cpu_best_s"] for r in v), "wall": min(r["best_s"] for r in v)}
            res["native_tokens"] = runs["native"][0]["count"]
            if res["native_tokens"] != ntokens:
                sys.exit(f"{name}: the native benchmark counted {res['native_tokens']} tokens, not {ntokens}")
    return res


def per_language(tok, py_pretokenize, passages: list, opts) -> list:
    """(language, characters, our time, pure-Python time) per language,
    thread CPU time, all languages interleaved in one schedule."""
    by_lang = defaultdict(list)
    for lang, p in passages:
        by_lang[lang].append(p)
    cases = []
    for lang, ps in sorted(by_lang.items()):
        cases.append((lang, (lambda ps=ps: tok.batch_tokenize(ps)), opts.repeat))
        cases.append((lang + " py", (lambda ps=ps: [py_pretokenize(p) for p in ps]), opts.py_repeat))
    progress("per language: timing (thread CPU time, interleaved)")
    t = interleaved(cases, verbose=False, clock=time.thread_time)
    return [(lang, sum(map(len, ps)), t[lang].best, t[lang + " py"].best) for lang, ps in sorted(by_lang.items())]


FLOOR_TARGET = 1.25


def report(res: dict, target: float) -> None:
    print()
    print(f"== {res['name']}: {res['passages']:,} passages, {res['bytes'] / 1e6:.2f} MB UTF-8, "
          f"{res['tokens']:,} tokens ==")
    for key, title in (("cpu", "thread CPU time"), ("wall", "wall-clock time")):
        t = res["times"][key]
        ours, py, strs = t["batch_tokenize"], t["pure Python"], t["str.split floor (same strings)"]
        print(f" {title}:")
        for k, v in t.items():
            print(f"  {k:<40} {fmt_s(v):>10}")
        print("  " + ratio_line("batch_tokenize vs pure Python (PyICU)", ours, py, target))
        if not res["icu"]:
            print("  native part skipped: no bench_icu_boundaries executable")
            continue
        icu, native = res["icu"][key], res["native"][key]
        floor = icu + strs
        over = ours / floor
        print(f"  {'ICU boundaries over UTF-16 alone (native)':<40} {fmt_s(icu):>10}   "
              f"({icu / py * 100:.0f}% of the pure-Python time)")
        print(f"  {'floor: ICU alone + str.split floor':<40} {fmt_s(floor):>10}")
        print(f"  {'batch_tokenize / floor':<58} {over:8.2f}    "
              f"(target <= {FLOOR_TARGET}: {'met' if over <= FLOOR_TARGET else 'NOT met'})")
        print(f"  {'pure Python / floor (the best ratio the floor allows)':<58} {py / floor:8.2f}x")
        print(f"  where batch_tokenize's time goes: native tokenizing {fmt_s(native)} "
              f"(ICU iteration {icu / native * 100:.0f}% of it), "
              f"Python side (conversion, result building) {fmt_s(max(0.0, ours - native))}")


def main(argv=None) -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="small workloads and few repeats (smoke run)")
    ap.add_argument("--mb", type=float, help="multilingual text size in MB (default 3.5, quick 0.3)")
    ap.add_argument("--english-passages", type=int, help="English passages (default 6000, quick 500)")
    ap.add_argument("--repeat", type=int, help="repeats of our calls and the floors (default 5, quick 2)")
    ap.add_argument("--py-repeat", type=int, help="repeats of the pure-Python way (default 3, quick 1)")
    ap.add_argument("--seed", type=int, default=20261208)
    ap.add_argument("--build-dir", help="where the native benchmark is built (default build/bench)")
    ap.add_argument("--no-build", action="store_true", help="use an existing native benchmark, never build")
    ap.add_argument("--skip-native", action="store_true", help="skip the native part")
    opts = ap.parse_args(argv)
    q = opts.quick
    opts.mb = opts.mb or (0.3 if q else 3.5)
    opts.english_passages = opts.english_passages or (500 if q else 6000)
    opts.repeat = opts.repeat or (2 if q else 5)
    opts.py_repeat = opts.py_repeat or (1 if q else 3)
    opts.native_rounds = 1 if q else 3

    quarnel = load_quarnel()
    tok = quarnel.ICUWordPreTokenizer()
    py_pretokenize, prepare = make_py_pretokenize()
    exe = None
    if opts.skip_native:
        progress("native part skipped (--skip-native)")
    else:
        exe = native_binary("bench_icu_boundaries", opts.build_dir, build=not opts.no_build)

    multi = multilingual_passages(int(opts.mb * 1e6), opts.seed, MIX_8)
    multi10 = multilingual_passages(int(opts.mb * 1e6), opts.seed)
    english = english_passages(opts.english_passages, opts.seed + 1)
    results = [
        (bench_dataset(f"Multilingual, 8 languages ({' '.join(MIX_8)})", [p for _, p in multi], tok,
                       py_pretokenize, prepare, opts, exe), 2.2),
        (bench_dataset("English", english, tok, py_pretokenize, prepare, opts, exe), 4.0),
        (bench_dataset("Multilingual, 10 languages (+ th ko)", [p for _, p in multi10], tok,
                       py_pretokenize, prepare, opts, exe), None),
    ]
    langs = per_language(tok, py_pretokenize, multi, opts)

    print()
    print(f"ICUWordPreTokenizer benchmark ({'quick' if q else 'full'}): quarnel from {Path(quarnel.__file__).parent}")
    print(f"machine: {machine_note()}")
    print(f"best of {opts.repeat} (ours, floors) / {opts.py_repeat} (pure Python) interleaved runs, garbage "
          "collector off while timing; ratios are pure-Python time / our time")
    print(load_summary())
    for res, target in results:
        report(res, target)
    print()
    print("by language of the 8-language mix (thread CPU time): batch_tokenize vs pure Python, cost per character:")
    latin = [s / n for lang, n, s, _ in langs if lang in ("en", "de", "fr", "es")]
    base = sum(latin) / len(latin) if latin else None
    for lang, chars, seconds, py in langs:
        rel = f"   {seconds / chars / base:5.1f}x the Latin-script average" if base else ""
        goal = "   (target >= 4x: " + ("met)" if py / seconds >= 4 else "NOT met)") if lang == "en" else ""
        print(f"  {lang}: {py / seconds:5.2f}x{goal:<22} {chars:>9,} chars  {seconds / chars * 1e9:7.1f} ns/char{rel}")


if __name__ == "__main__":
    main()
