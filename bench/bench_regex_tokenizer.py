"""RegexTokenizer against the pure-Python way of doing the same job.

The pure-Python way is the `regex` module with the tokenizer's default
pattern over the NFD-normalized text, lowercasing every match:

    [m.group(0).lower() for m in P.finditer(unicodedata.normalize("NFD", t))]

Two seeded workloads: English-like text (20,000 passages of 500-550
characters, >= 10 MB) and a multilingual mix (about 5 MB: English, French,
German, Spanish, Greek, Russian, Arabic, Chinese/Japanese/Korean without
spaces, emoji). For each, all in the same run:

- tokenize() on one long text (all passages joined by spaces) vs pure Python;
- batch_tokenize() over the passages vs pure Python per passage, and vs a
  floor: str.split() producing the same number of str objects;
- the native part of a batch with 2 workers vs 1, timed by the native
  benchmark bench/native/bench_tokenize (built here with -DQUARNEL_BENCH=ON
  if missing), run in subprocesses with RAYON_NUM_THREADS=1 and 2;
- where a batch's time goes: native work, argument conversion, result
  building;
- the native default matcher against the regex engine searching the same
  default pattern (bench_tokenize --engine), on the long text.

Run:  .venv/bin/python bench/bench_regex_tokenizer.py [--quick]
  or  PYTHONPATH=build-dir python3 bench/bench_regex_tokenizer.py [--quick]
"""

from __future__ import annotations

import argparse
import random
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from _common import (  # noqa: E402
    background_note,
    ENGLISH_WORDS,
    NAMES,
    interleaved,
    load_summary,
    default_pool_threads,
    fmt_s,
    load_quarnel,
    machine_note,
    native_binary,
    native_scaling,
    progress,
    py_tokenize,
    ratio_line,
    rounds_text,
    run_native,
    zipf_cum_weights,
)

# ------------------------------------------------------------ English text

_ENGLISH_CUM = zipf_cum_weights(len(ENGLISH_WORDS))


def _number(rng: random.Random) -> str:
    k = rng.random()
    if k < 0.3:
        return str(rng.randint(2, 99))
    if k < 0.5:
        return str(rng.randint(1800, 2024))
    if k < 0.7:
        return f"{rng.randint(0, 99)}.{rng.randint(0, 99):02d}"  # 3.14
    if k < 0.9:
        return f"{rng.randint(1, 999)},{rng.randint(0, 999):03d}"  # 1,200
    return f"{rng.randint(1, 99)}%"


def _capitalise(word: str) -> str:
    return word[:1].upper() + word[1:]


def english_sentence(rng: random.Random) -> str:
    n = rng.randint(5, 22)
    words = rng.choices(ENGLISH_WORDS, cum_weights=_ENGLISH_CUM, k=n)
    for i in range(n):
        r = rng.random()
        if r < 0.04:
            words[i] = _number(rng)
        elif r < 0.07:
            words[i] = rng.choice(NAMES)
        elif r < 0.08:
            words[i] = rng.choice(NAMES) + "'s"
        elif r < 0.095:
            words[i] = words[i] + "-" + rng.choices(ENGLISH_WORDS, cum_weights=_ENGLISH_CUM)[0]
        if i < n - 1 and rng.random() < 0.07:
            words[i] += ","
    if n > 4 and rng.random() < 0.12:  # a parenthesis
        a = rng.randrange(1, n - 2)
        b = min(n - 2, a + rng.randint(0, 3))
        words[a] = "(" + words[a]
        words[b] = words[b].rstrip(",") + ")"
    if n > 4 and rng.random() < 0.10:  # a quotation
        a = rng.randrange(1, n - 2)
        b = min(n - 2, a + rng.randint(0, 4))
        left, right = ('"', '"') if rng.random() < 0.7 else ("\u201c", "\u201d")
        words[a] = left + words[a]
        words[b] = words[b].rstrip(",") + right
    words[0] = _capitalise(words[0])
    r = rng.random()
    end = "." if r < 0.92 else ("?" if r < 0.97 else "!")
    return " ".join(words).rstrip(",") + end


def _fit(parts: list, lo: int, hi: int) -> str:
    """Joins sentences and trims the result to at most `hi` characters at a
    word boundary, ending it with a period."""
    text = " ".join(parts)
    if len(text) > hi:
        cut = text.rfind(" ", 0, hi)
        text = text[:cut].rstrip(",;:(\"\u201c-\u00bf\u00a1") + "."
    return text


def english_passages(n: int, seed: int, lo: int = 500, hi: int = 550) -> list:
    """`n` English-like passages of lo..hi characters, without newlines."""
    rng = random.Random(seed)
    out = []
    for _ in range(n):
        target = rng.randint(lo, hi)
        parts, length = [], -1
        while length < target:
            s = english_sentence(rng)
            parts.append(s)
            length += len(s) + 1
        out.append(_fit(parts, lo, hi))
    return out


# ------------------------------------------------------ multilingual text

_SPACED = {
    "fr": """le la les de des et à un une est dans pour pas que qui sur avec été très où
        être même déjà après français château hôpital théâtre garçon élève forêt cœur naïf
        noël Québec réseau société année première deuxième Élodie Émile père mère frère sœur
        fenêtre là voilà ça l'été l'école d'après aujourd'hui c'était n'est qu'il""",
    "de": """der die das und ist nicht ein eine zu mit für auf über unter können müssen
        schön größer grün weiß natürlich Straße Fußball Mädchen Äpfel Öl Übung Häuser Bücher
        Brücke Käse Grüße München Köln Zürich heißen fünf zwölf Tür Frühling Gemüse""",
    "es": """el la los las de y en que un una por con para está están también mañana niño
        niña año canción corazón pingüino jamón señor España México Bogotá árbol música
        ciudad información después número último""",
    "el": """και το η ο της των είναι ένα μια για από με στο στην Αθήνα ελληνικά θάλασσα
        ουρανός καλημέρα ψυχή φως λόγος άνθρωπος ιστορία πόλη νερό ήλιος χρόνος γλώσσα σπίτι
        δρόμος Ελλάδα""",
    "ru": """и в не на что это с как по но он она они мы Москва язык большой время человек
        ёлка жизнь щука объём город страна вода солнце книга история русский Россия год день
        работа слово""",
    "ar": """في من على إلى عن مع هذا هذه التي الذي اللغة العربية كتاب مدرسة سلام مرحبا
        الشمس القمر مدينة بيت ماء وقت يوم عام كِتَابٌ مُحَمَّد القاهرة بغداد""",
}
_SPACED = {k: v.split() for k, v in _SPACED.items()}
_CJK = """我们 中国 北京 今天 天气 很好 学习 大学 图书馆 东京 日本語 ひらがな カタカナ ありがとう
    こんにちは 学校 先生 한국어 서울 안녕하세요 電車 新聞 世界 歴史 経済 文化 科学 技術""".split()
_EMOJI = "😀 👍 🎉 🚀 ❤️ 🌍 📚 🇫🇷 ✨ 🙂".split()
# Main language of a passage and its weight.
_LANGS = [("en", 3), ("fr", 2), ("de", 2), ("es", 2), ("el", 1), ("ru", 2), ("ar", 1), ("cjk", 2)]


def _spaced_sentence(rng: random.Random, lang: str) -> str:
    words = _SPACED[lang]
    cum = zipf_cum_weights(len(words), s=0.9)
    n = rng.randint(5, 16)
    out = rng.choices(words, cum_weights=cum, k=n)
    for i in range(n):
        r = rng.random()
        if r < 0.03:
            out[i] = _number(rng)
        elif r < 0.05:
            out[i] = out[i].upper()  # headline-style capitals
        if i < n - 1 and rng.random() < 0.07:
            out[i] += "،" if lang == "ar" else ","
    out[0] = _capitalise(out[0])
    text = " ".join(out)
    if lang == "es" and rng.random() < 0.2:
        return "¿" + text + "?"
    if lang == "ar":
        return text + ("؟" if rng.random() < 0.1 else ".")
    return text + "."


def _cjk_sentence(rng: random.Random) -> str:
    parts = []
    for _ in range(rng.randint(2, 4)):
        parts.append("".join(rng.choices(_CJK, k=rng.randint(2, 6))))
    return "，".join(parts) + "。"


def multilingual_sentence(rng: random.Random, lang: str) -> str:
    if lang == "en":
        s = english_sentence(rng)
    elif lang == "cjk":
        s = _cjk_sentence(rng)
    else:
        s = _spaced_sentence(rng, lang)
    if rng.random() < 0.15:
        s += " " + rng.choice(_EMOJI)
    return s


def multilingual_passages(total_bytes: int, seed: int, lo: int = 500, hi: int = 550) -> list:
    """Passages of lo..hi characters, without newlines, until their UTF-8
    size reaches `total_bytes`. A passage keeps one main language for most
    of its sentences."""
    rng = random.Random(seed)
    names = [n for n, _ in _LANGS]
    weights = [w for _, w in _LANGS]
    out, size = [], 0
    while size < total_bytes:
        main = rng.choices(names, weights=weights)[0]
        target = rng.randint(lo, hi)
        parts, length = [], -1
        while length < target:
            lang = main if rng.random() < 0.75 else rng.choice(names)
            s = multilingual_sentence(rng, lang)
            parts.append(s)
            length += len(s) + 1
        text = _fit(parts, lo, hi)
        out.append(text)
        size += len(text.encode("utf-8"))
    return out


# ------------------------------------------------------------- benchmark

def check_same_tokens(tok, passages: list, sample: int, seed: int) -> None:
    """The pure-Python way must produce exactly our tokens, or the two are
    not doing the same job."""
    rng = random.Random(seed)
    picked = rng.sample(passages, min(sample, len(passages)))
    for p in picked:
        ours, theirs = tok.tokenize(p), py_tokenize(p)
        if ours != theirs:
            diff = next(i for i, (a, b) in enumerate(zip(ours + [None], theirs + [None])) if a != b)
            sys.exit(f"token mismatch on passage {p[:80]!r}...: at token {diff}: "
                     f"ours {ours[diff:diff + 3]!r}, pure Python {theirs[diff:diff + 3]!r}")
    if tok.batch_tokenize(picked) != [py_tokenize(p) for p in picked]:
        sys.exit("batch_tokenize differs from the pure-Python tokens on the sample")


def bench_dataset(name: str, passages: list, tok, never, opts, exe, default_threads) -> dict:
    progress(f"{name}: checking the pure-Python tokens against ours on a sample")
    check_same_tokens(tok, passages, opts.sample, opts.seed)
    nbytes = sum(len(p.encode("utf-8")) for p in passages)
    long_text = " ".join(passages)
    res = {"name": name, "passages": len(passages), "bytes": nbytes}

    progress(f"{name}: tokenize() on one long text of {nbytes / 1e6:.1f} MB (interleaved runs)")
    t = interleaved([
        ("tokenize", lambda: tok.tokenize(long_text), opts.repeat),
        ("pure Python", lambda: py_tokenize(long_text), opts.py_repeat),
        ("argument conversion", lambda: never.tokenize(long_text), opts.repeat),
    ])
    (res["long_native"], _, ours), (res["long_py"], _, theirs) = t["tokenize"], t["pure Python"]
    res["long_conv"] = t["argument conversion"][0]
    res["long_bg"] = t["tokenize"].best_others
    res["notes"] = {f"long {call}": timed.note() for call, timed in t.items()}
    if ours != theirs:
        sys.exit(f"{name}: tokenize(long text) differs from the pure-Python tokens")
    res["long_tokens"] = len(ours)
    del t, ours, theirs

    progress(f"{name}: batch_tokenize() over {len(passages):,} passages (interleaved runs)")
    # The floor's input: every passage's tokens joined by single spaces.
    joined = [" ".join(t) for t in tok.batch_tokenize(passages)]
    t = interleaved([
        ("batch_tokenize", lambda: tok.batch_tokenize(passages), opts.repeat),
        ("pure Python per passage", lambda: [py_tokenize(p) for p in passages], opts.py_repeat),
        ("split floor", lambda: [s.split() for s in joined], opts.repeat),
        ("argument conversion", lambda: never.batch_tokenize(passages), opts.repeat),
    ])
    (res["batch_native"], _, ours), (res["batch_py"], _, theirs) = t["batch_tokenize"], t["pure Python per passage"]
    res["split"], _, floor = t["split floor"]
    res["batch_conv"] = t["argument conversion"][0]
    res["batch_bg"] = t["batch_tokenize"].best_others
    res["notes"].update((f"batch {call}", timed.note()) for call, timed in t.items())
    if ours != theirs:
        sys.exit(f"{name}: batch_tokenize differs from the pure-Python tokens")
    res["tokens"] = sum(map(len, ours))
    if sum(map(len, floor)) != res["tokens"]:
        sys.exit(f"{name}: the split floor does not build the same number of str objects")
    del t, ours, theirs, floor, joined

    if exe is not None:
        with tempfile.TemporaryDirectory(prefix="quarnel-bench-") as tmp:
            path = Path(tmp) / "texts.txt"
            with open(path, "w", encoding="utf-8", newline="\n") as f:
                for p in passages:
                    f.write(p)
                    f.write("\n")
            progress(f"{name}: native batch with 1 and 2 workers ({opts.rounds} alternating rounds)")
            batch_args = [path, "--mode", "batch", "--repeat", opts.repeat]
            try:
                scaling, round_ratios = native_scaling(exe, batch_args, opts.rounds)
                if default_threads is not None and default_threads not in scaling:
                    scaling[default_threads] = run_native(exe, batch_args, default_threads)
                # The long text with the default matcher and with the regex
                # engine on the same pattern, alternating.
                single_args = [path, "--mode", "single", "--repeat", opts.repeat]
                singles = {False: [], True: []}
                for _ in range(2):
                    for engine in singles:
                        singles[engine].append(run_native(exe, single_args + ["--engine"] * engine, None))
                single, engine = (min(runs, key=lambda r: r["best_s"]) for runs in singles.values())
            except Exception as e:  # noqa: BLE001 - report and go on without the native part
                progress(f"{name}: native benchmark failed, skipping its part: {e}")
                scaling, round_ratios, single, engine = None, None, None, None
            if scaling and any(r["tokens"] != res["tokens"] for r in scaling.values()):
                sys.exit(f"{name}: the native benchmark counted a different number of tokens")
            if single and not single["tokens"] == engine["tokens"] == res["long_tokens"]:
                sys.exit(f"{name}: the native benchmark counted a different number of tokens in the long text")
            res["scaling"], res["round_ratios"], res["single"], res["engine"] = scaling, round_ratios, single, engine
    return res


def best_runs_line(notes: dict) -> None:
    known = [f"{who} {note}" for who, note in notes.items() if note]
    if known:
        print("  best runs: " + ", ".join(known))


def report(res: dict, default_threads) -> None:
    mb = res["bytes"] / 1e6
    print()
    print(f"== {res['name']}: {res['passages']:,} passages, {mb:.2f} MB UTF-8, {res['tokens']:,} tokens ==")
    n = res["notes"]
    print(f"tokenize(one long text)          ours {fmt_s(res['long_native']):>10}   "
          f"pure Python {fmt_s(res['long_py']):>10}")
    best_runs_line({"ours": n["long tokenize"], "pure Python": n["long pure Python"]})
    print("  " + ratio_line("tokenize vs pure Python", res["long_native"], res["long_py"], 4))
    print(f"batch_tokenize({res['passages']:,} passages)  ours {fmt_s(res['batch_native']):>10}   "
          f"pure Python {fmt_s(res['batch_py']):>10}   split floor {fmt_s(res['split']):>10}")
    best_runs_line({"ours": n["batch batch_tokenize"], "pure Python": n["batch pure Python per passage"],
                    "split": n["batch split floor"]})
    print("  " + ratio_line("batch_tokenize vs pure Python per passage", res["batch_native"], res["batch_py"], 6))
    over = res["batch_native"] / res["split"]
    print(f"  {'batch_tokenize time / split floor time':<58} {over:8.2f}    "
          f"(target <= 1.5: {'met' if over <= 1.5 else 'NOT met'})")
    print(f"  throughput through Python: {mb / res['batch_native']:.1f} MB/s, "
          f"{res['tokens'] / res['batch_native'] / 1e6:.2f} M tokens/s")

    scaling = res.get("scaling")
    if not scaling:
        print("native batch scaling: skipped (no native benchmark executable; see the messages above)")
        return
    one, two = scaling[1], scaling[2]
    print("native batch (bench_tokenize: pool::map_ordered of tokenize, interpreter not involved):")
    for n, r in sorted(scaling.items()):
        print(f"  {n} worker(s): {fmt_s(r['best_s']):>10}   {r['bytes'] / 1e6 / r['best_s']:7.1f} MB/s   "
              f"{r['tokens'] / r['best_s'] / 1e6:6.2f} M tokens/s")
    print("  " + ratio_line("2 workers vs 1 (best vs best)", two["best_s"], one["best_s"], 1.7))
    print("  " + ratio_line(f"2 workers vs 1 (median vs median of {one['all_runs']} runs each)", two["median_s"], one["median_s"], 1.7))
    print("  per alternating round (busy = other processes used CPU meanwhile): " + rounds_text(res["round_ratios"]))

    native = scaling.get(default_threads) if default_threads else None
    if native:
        total = res["batch_native"]
        conv = res["batch_conv"]
        nat = native["best_s"]
        build = total - nat - conv
        print(f"where batch_tokenize's time goes ({default_threads} worker(s), as this process uses):")
        print(f"  {'Python-visible total':<44} {fmt_s(total):>10}  100%")
        print(f"  {'native work (bench_tokenize, same workers)':<44} {fmt_s(nat):>10}  {100 * nat / total:3.0f}%")
        print(f"  {'argument conversion (never-matching pattern)':<44} {fmt_s(conv):>10}  {100 * conv / total:3.0f}%")
        print(f"  {'result building (the remainder)':<44} {fmt_s(build):>10}  {100 * build / total:3.0f}%")
        print(f"  {'  cf. split floor (same number of str)':<44} {fmt_s(res['split']):>10}")
        print("  " + background_note(res["batch_bg"], native["others_cpus"]))
    single = res.get("single")
    if single:
        total = res["long_native"]
        nat = single["best_s"]
        conv = res["long_conv"]
        build = total - nat - conv
        print("where tokenize(one long text)'s time goes (calling thread):")
        print(f"  {'Python-visible total':<44} {fmt_s(total):>10}  100%")
        print(f"  {'native work (bench_tokenize --mode single)':<44} {fmt_s(nat):>10}  {100 * nat / total:3.0f}%   "
              f"({single['bytes'] / 1e6 / nat:.1f} MB/s, {single['tokens'] / nat / 1e6:.2f} M tokens/s)")
        print(f"  {'argument conversion (never-matching pattern)':<44} {fmt_s(conv):>10}  {100 * conv / total:3.0f}%")
        print(f"  {'result building (the remainder)':<44} {fmt_s(build):>10}  {100 * build / total:3.0f}%")
        print("  " + background_note(res["long_bg"], single["others_cpus"]))
        engine = res["engine"]
        print("  " + ratio_line("default matcher vs the regex engine, same pattern (native)",
                                nat, engine["best_s"]) +
              f"   (engine {engine['bytes'] / 1e6 / engine['best_s']:.1f} MB/s)")


def main(argv=None) -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--quick", action="store_true", help="small workloads and few repeats (smoke run)")
    ap.add_argument("--passages", type=int, help="English passages (default 20000, quick 2000)")
    ap.add_argument("--multilingual-mb", type=float, help="multilingual text size in MB (default 5, quick 0.5)")
    ap.add_argument("--repeat", type=int, help="repeats of our calls and the floors; the best counts (default 5)")
    ap.add_argument("--py-repeat", type=int, help="repeats of the pure-Python way (default 3)")
    ap.add_argument("--rounds", type=int, help="alternating rounds of the native 1-/2-worker runs (default 5)")
    ap.add_argument("--sample", type=int, default=500, help="passages checked token by token first")
    ap.add_argument("--seed", type=int, default=20240611)
    ap.add_argument("--build-dir", help="where the native benchmark is built (default build/bench)")
    ap.add_argument("--no-build", action="store_true", help="use an existing native benchmark, never build")
    ap.add_argument("--skip-native", action="store_true", help="skip the native (thread-scaling) part")
    opts = ap.parse_args(argv)
    q = opts.quick
    opts.passages = opts.passages or (2000 if q else 20000)
    opts.multilingual_mb = opts.multilingual_mb or (0.5 if q else 5.0)
    opts.repeat = opts.repeat or (2 if q else 5)
    opts.py_repeat = opts.py_repeat or (1 if q else 3)
    opts.rounds = opts.rounds or (1 if q else 5)

    quarnel = load_quarnel()
    tok = quarnel.RegexTokenizer()
    # Same argument conversion and pool dispatch, but no token is ever found:
    # the cost of getting the texts into native memory (plus a fast scan for
    # a 3-byte literal that never occurs, and one empty list per text).
    never = quarnel.RegexTokenizer(pattern="\x01\x02\x03", lowercase=False, normalize=False)

    exe = None
    if opts.skip_native:
        progress("native part skipped (--skip-native)")
    else:
        exe = native_binary("bench_tokenize", opts.build_dir, build=not opts.no_build)
        if exe is None:
            progress("the native thread-scaling part will be skipped")
    default_threads = default_pool_threads(exe)

    progress(f"generating {opts.passages:,} English passages and {opts.multilingual_mb:g} MB of multilingual text")
    english = english_passages(opts.passages, opts.seed)
    multi = multilingual_passages(int(opts.multilingual_mb * 1e6), opts.seed + 1)
    assert not any("\n" in p or "\r" in p for p in english + multi)

    results = [
        bench_dataset("English", english, tok, never, opts, exe, default_threads),
        bench_dataset("Multilingual", multi, tok, never, opts, exe, default_threads),
    ]

    print()
    print(f"RegexTokenizer benchmark ({'quick' if q else 'full'}): quarnel from {Path(quarnel.__file__).parent}")
    print(f"machine: {machine_note()}; pool workers in this process: {default_threads or 'unknown'}")
    print(f"best of {opts.repeat} (ours, floors) / {opts.py_repeat} (pure Python) interleaved runs, garbage "
          "collector off while timing; ratios are pure-Python time / our time")
    print(load_summary())
    for res in results:
        report(res, default_threads)


if __name__ == "__main__":
    main()
