"""Multilingual pre-tokenization: cut the bundled sentences of ten languages
into words with ICUWordPreTokenizer, removing a few stop words per language.

    .venv/bin/python examples/pretokenize.py [--corpus FILE] [--out FILE.jsonl] [--batch N]

Prints, per language, the number of sentences, tokens and stop words
removed, and one sample sentence with its tokens. Exits non-zero if the
batch and per-text results disagree. With --out, also writes every
sentence's tokens as JSON lines ({"lang", "text", "tokens"}), batch by
batch, with a progress bar on stderr: the shape of a real corpus job.
"""

import argparse
import json
import sys
import time
from collections import defaultdict
from pathlib import Path

from quarnel import ICUWordPreTokenizer

CORPUS = Path(__file__).resolve().parent / "data" / "multilingual.tsv"

# A handful of very common words per language (lowercase: the tokenizer
# lowercases before it compares).
STOPWORDS = {
    "en": {"the", "a", "of", "and", "in", "to", "on", "after", "so", "it", "for"},
    "de": {"der", "die", "das", "den", "des", "und", "im", "an", "nach", "zu", "für"},
    "fr": {"le", "la", "les", "de", "du", "des", "et", "à", "l'", "au", "aux"},
    "es": {"el", "la", "los", "las", "de", "del", "y", "a", "en", "que"},
    "ru": {"и", "в", "на", "с", "после", "для"},
    "el": {"ο", "η", "το", "τα", "τις", "του", "της", "και", "στο", "στον", "να"},
    "zh": {"的", "了", "在", "和", "都", "将"},
    "ja": {"の", "は", "を", "に", "で", "と", "が"},
    "th": {"ที่", "และ", "ใน", "ของ", "จะ"},
    "ko": {"그리고", "위의", "매년"},  # particles are written onto their words
}


def load_corpus(path=CORPUS):
    """language -> sentences, in file order."""
    corpus = defaultdict(list)
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            lang, sentence = line.split("\t", 1)
            corpus[lang].append(sentence)
    return dict(corpus)


def pretokenize_corpus(corpus, stopwords=STOPWORDS):
    """Pre-tokenizes every sentence with stop-word removal. Returns
    language -> {"sentences", "tokens", "removed", "sample": (sentence, tokens)}."""
    tokenizer = ICUWordPreTokenizer(set().union(*stopwords.values()))
    stats = {}
    for lang, sentences in corpus.items():
        kept = tokenizer.batch_tokenize(sentences, remove_stopwords=True)
        everything = tokenizer(sentences)
        if kept != [tokenizer.tokenize(s, remove_stopwords=True) for s in sentences]:
            raise RuntimeError(f"{lang}: batch_tokenize and tokenize disagree")
        stats[lang] = {
            "sentences": len(sentences),
            "tokens": sum(map(len, kept)),
            "removed": sum(map(len, everything)) - sum(map(len, kept)),
            "sample": (sentences[0], kept[0]),
        }
    return stats


def progress_bar(done, total, started, width=30, stream=sys.stderr):
    filled = width * done // max(total, 1)
    rate = done / max(time.perf_counter() - started, 1e-9)
    stream.write(f"\r[{'#' * filled}{'.' * (width - filled)}] {done}/{total} texts, {rate:,.0f}/s")
    if done == total:
        stream.write("\n")
    stream.flush()


def write_jsonl(corpus, out, batch, stopwords=STOPWORDS):
    """Pre-tokenizes (lang, text) pairs batch by batch into JSON lines."""
    tokenizer = ICUWordPreTokenizer(set().union(*stopwords.values()))
    items = [(lang, text) for lang, texts in corpus.items() for text in texts]
    started = time.perf_counter()
    with open(out, "w", encoding="utf-8") as f:
        for start in range(0, len(items), batch):
            chunk = items[start:start + batch]
            # One call per batch: the interpreter lock is released once for all of it.
            for (lang, text), tokens in zip(chunk, tokenizer.batch_tokenize([t for _, t in chunk], True)):
                f.write(json.dumps({"lang": lang, "text": text, "tokens": tokens}, ensure_ascii=False) + "\n")
            progress_bar(start + len(chunk), len(items), started)
    return len(items)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=CORPUS)
    parser.add_argument("--out", type=Path, help="write every sentence's tokens here as JSON lines")
    parser.add_argument("--batch", type=int, default=16, help="texts per batch_tokenize call with --out")
    args = parser.parse_args()
    try:
        stats = pretokenize_corpus(load_corpus(args.corpus))
    except RuntimeError as e:
        print(f"FAILED: {e}", file=sys.stderr)
        sys.exit(1)
    print(f"{'lang':<5} {'sentences':>9} {'tokens':>7} {'stop words removed':>19}")
    for lang, s in stats.items():
        print(f"{lang:<5} {s['sentences']:>9} {s['tokens']:>7} {s['removed']:>19}")
    for lang in ("en", "zh", "ja", "th"):
        sentence, tokens = stats[lang]["sample"]
        print(f"\n{lang}: {sentence}\n    {tokens}")
    if args.out:
        n = write_jsonl(load_corpus(args.corpus), args.out, args.batch)
        print(f"\n{n} texts written to {args.out}")


if __name__ == "__main__":
    main()
