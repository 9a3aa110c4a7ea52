"""How ICUWordPreTokenizer.tokenize time grows with the length of one
unbroken run of Chinese or Japanese text (no spaces, no punctuation).

Dictionary segmentation has been seen to slow down sharply as such a run
grows. For each script, runs of 10 KB up to a few MB are drawn at random
from the characters of the Chinese or Japanese sentences of
examples/data/multilingual.tsv (punctuation left out), and tokenize() is
timed on each (best of a few, in this thread's CPU time: the call does
all its work on the calling thread, and other processes' use of the CPU
then does not count). The report gives the time per MB at each
length and the growth exponent fitted over the lengths (1.0 = linear).

Run:  .venv/bin/python bench/bench_icu_long_runs.py [--quick]
"""

from __future__ import annotations

import argparse
import math
import random
import sys
import time
import unicodedata
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from _common import best_of, load_quarnel, load_summary, machine_note, progress  # noqa: E402
from bench_icu_word_pre_tokenizer import load_sentences  # noqa: E402


def run_text(chars: list, nbytes: int, rng: random.Random) -> str:
    return "".join(rng.choice(chars) for _ in range(nbytes // 3))


def slope(xs: list, ys: list) -> float:
    """Least-squares slope of log(y) over log(x)."""
    lx, ly = [math.log(x) for x in xs], [math.log(y) for y in ys]
    mx, my = sum(lx) / len(lx), sum(ly) / len(ly)
    return sum((a - mx) * (b - my) for a, b in zip(lx, ly)) / sum((a - mx) ** 2 for a in lx)


def main(argv=None) -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="lengths up to 300 KB, one repeat")
    ap.add_argument("--max-kb", type=int, help="longest run in KB (default 3000, quick 300)")
    ap.add_argument("--repeat", type=int, help="repeats per length (default 3, quick 1)")
    opts = ap.parse_args(argv)
    max_kb = opts.max_kb or (300 if opts.quick else 3000)
    repeat = opts.repeat or (1 if opts.quick else 3)
    lengths = [kb for kb in (10, 30, 100, 300, 1000, 3000, 10000) if kb <= max_kb]

    quarnel = load_quarnel()
    tok = quarnel.ICUWordPreTokenizer()
    sentences = load_sentences()
    rng = random.Random(1208)
    print(f"ICUWordPreTokenizer on one unbroken CJK run: {machine_note()}")
    for lang in ("zh", "ja"):
        chars = sorted({c for s in sentences[lang] for c in s if unicodedata.category(c).startswith("L")})
        tok.tokenize(run_text(chars, 3000, rng))  # loads the dictionary
        xs, ys = [], []
        print(f"\n{lang}: {len(chars)} distinct characters")
        for kb in lengths:
            text = run_text(chars, kb * 1000, rng)
            progress(f"{lang} {kb} KB")
            t = best_of(lambda: tok.tokenize(text), repeat, clock=time.thread_time)
            size = len(text.encode())
            xs.append(size)
            ys.append(t.best)
            print(f"  {size / 1e3:8.0f} KB  {t.best:8.3f} s  {t.best / size * 1e6:7.3f} s/MB  {len(t[2]):>9,} tokens")
        print(f"  growth exponent (time ~ length^k): k = {slope(xs, ys):.2f}")
    print()
    print(load_summary())


if __name__ == "__main__":
    main()
