"""Sparse passage vectors to JSON lines for an inverted-index builder.

    .venv/bin/python examples/sparse_to_jsonl.py [--data DIR] [--out FILE] [--passages N] [--float16]

A learned sparse encoder gives every passage a weight per vocabulary entry,
mostly zeros. Here a small, deterministic stand-in builds such a batch from
the bundled passages (examples/data/corpus.jsonl): the vocabulary is the
passages' most frequent tokens, and a passage's weight for a token grows
with its count in the passage and shrinks with the number of passages that
contain it, scaled into (0, 3]. Converter quantizes the batch (weight x 100,
floored) into term-frequency maps and pseudo text, written one passage per
line as

    {"id": "d0001", "contents": "twain twain ... mark ...", "vector": {"twain": 212, "mark": 97, ...}}

which is the input format of impact-weighted inverted-index builders: a
"vector" for indexers that read term weights directly, "contents" for those
that only count repeated terms.

With --shards DIR the batch is also saved the way an encoder writes a big
corpus, as the input of examples/distributed/sparse_to_jsonl.py: shards
part-00000.npy ([rows, vocab] weights), part-00000.ids (one docid per
line), ..., and vocab.txt (the token of id i on line i + 1).
"""

from __future__ import annotations

import argparse
import json
import math
import sys
from collections import Counter
from pathlib import Path

import numpy as np

from quarnel import Converter, RegexTokenizer

DATA = Path(__file__).resolve().parent / "data"
QUANTIZATION = 100


def load_passages(data: Path, limit: int) -> list:
    """(docid, title + " " + text) of the first `limit` passages."""
    passages = []
    with open(data / "corpus.jsonl", encoding="utf-8") as f:
        for line in f:
            doc = json.loads(line)
            passages.append((doc["id"], f"{doc['title']} {doc['text']}"))
            if len(passages) == limit:
                break
    return passages


def encode(texts: list, vocab_size: int = 4096, dtype=np.float32) -> tuple:
    """A deterministic sparse batch [len(texts), vocab_size] and its
    vocabulary {token id: token}; weights in (0, 3], zeros elsewhere."""
    tokens = RegexTokenizer().batch_tokenize(texts)
    frequency = Counter(t for toks in tokens for t in toks if t.isalnum())
    # Most frequent first, ties by text: the same ids on every run.
    words = sorted(frequency, key=lambda t: (-frequency[t], t))[:vocab_size]
    ids = {w: i for i, w in enumerate(words)}
    counts = [Counter(ids[t] for t in toks if t in ids) for toks in tokens]
    passages_with = Counter(i for c in counts for i in c)
    reps = np.zeros((len(texts), len(words)), np.float32)
    for row, c in enumerate(counts):
        for i, n in c.items():
            reps[row, i] = math.log1p(n) * math.log(len(texts) / passages_with[i])
    reps *= np.float32(3) / max(reps.max(), np.float32(1e-9))
    return reps.astype(dtype), dict(enumerate(words))


def write_jsonl(converter: Converter, docids: list, reps: np.ndarray, out: Path,
                quantization_factor: int = QUANTIZATION, rows: int = 1024) -> dict:
    """Converts the batch and writes one JSON line per row; returns counts.
    `rows` rows at a time, so that a big (memory-mapped) matrix is never
    converted, nor read, whole."""
    half = reps.dtype == np.float16
    to_json = converter.convert_sparse_reps_to_json_f16 if half else converter.convert_sparse_reps_to_json
    to_text = (converter.convert_sparse_reps_to_pseudo_text_f16 if half
               else converter.convert_sparse_reps_to_pseudo_text)
    stats = {"lines": 0, "terms": 0, "words": 0}
    with open(out, "w", encoding="utf-8") as f:
        for start in range(0, len(docids), rows):
            part = np.ascontiguousarray(reps[start:start + rows])
            vectors = to_json(part, quantization_factor, convert_id_to_token=True)
            texts = to_text(part, quantization_factor, convert_id_to_token=True)
            for docid, vector, text in zip(docids[start:start + rows], vectors, texts):
                f.write(json.dumps({"id": docid, "contents": text, "vector": vector}, ensure_ascii=False) + "\n")
            stats["lines"] += len(vectors)
            stats["terms"] += sum(map(len, vectors))
            stats["words"] += sum(len(t.split()) for t in texts)
    return stats


def save_shards(directory: Path, docids: list, reps: np.ndarray, vocab: dict, rows_per_shard: int) -> int:
    """Saves the batch as part-NNNNN.npy / part-NNNNN.ids shards and vocab.txt; returns the shard count."""
    directory.mkdir(parents=True, exist_ok=True)
    if sorted(vocab) != list(range(len(vocab))) or any("\n" in t or not t for t in vocab.values()):
        raise ValueError("vocab.txt needs token ids 0..n-1 and one-line, non-empty tokens")
    (directory / "vocab.txt").write_text("".join(f"{vocab[i]}\n" for i in range(len(vocab))), encoding="utf-8")
    shards = 0
    for shards, start in enumerate(range(0, len(docids), rows_per_shard), 1):
        name = directory / f"part-{shards - 1:05d}"
        np.save(name.with_suffix(".npy"), reps[start:start + rows_per_shard])
        name.with_suffix(".ids").write_text("".join(f"{d}\n" for d in docids[start:start + rows_per_shard]),
                                            encoding="utf-8")
    return shards


def read_vocab(path: Path) -> dict:
    """vocab.txt as {token id: token}: the token of id i on line i + 1."""
    return dict(enumerate(Path(path).read_text(encoding="utf-8").splitlines()))


def check_jsonl(path: Path) -> int:
    """Every line's pseudo text repeats each term exactly its frequency; returns the line count."""
    lines = 0
    with open(path, encoding="utf-8") as f:
        for line in f:
            doc = json.loads(line)
            if Counter(doc["contents"].split(" ")) != Counter(doc["vector"]):
                raise ValueError(f"{doc['id']}: contents and vector disagree")
            lines += 1
    return lines


def sparse_to_jsonl(out: Path, data: Path = DATA, passages: int = 200, dtype=np.float32) -> dict:
    """The whole workflow: passages -> sparse batch -> JSON lines at `out`."""
    docs = load_passages(data, passages)
    reps, vocab = encode([text for _, text in docs], dtype=dtype)
    stats = write_jsonl(Converter(vocab), [docid for docid, _ in docs], reps, out)
    stats.update(vocab=len(vocab), nonzero=int(np.count_nonzero(reps)), checked=check_jsonl(out))
    return stats


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=Path, default=DATA)
    parser.add_argument("--out", type=Path, default=Path("sparse_passages.jsonl"))
    parser.add_argument("--passages", type=int, default=200)
    parser.add_argument("--float16", action="store_true", help="encode as float16 instead of float32")
    parser.add_argument("--shards", type=Path, help="also save the batch here as .npy/.ids shards and vocab.txt")
    parser.add_argument("--shard-rows", type=int, default=64, help="passages per shard with --shards")
    args = parser.parse_args()
    dtype = np.float16 if args.float16 else np.float32
    stats = sparse_to_jsonl(args.out, args.data, args.passages, dtype)
    print(f"{stats['lines']} passages x {stats['vocab']} terms ({stats['nonzero']:,} non-zero weights) -> "
          f"{stats['terms']:,} quantized terms, {stats['words']:,} pseudo-text words in {args.out}")
    if stats["checked"] != stats["lines"]:
        sys.exit("FAILED: the file does not hold one line per passage")
    if args.shards:
        docs = load_passages(args.data, args.passages)
        reps, vocab = encode([text for _, text in docs], dtype=dtype)
        n = save_shards(args.shards, [docid for docid, _ in docs], reps, vocab, args.shard_rows)
        print(f"{n} shards and vocab.txt saved in {args.shards}")


if __name__ == "__main__":
    main()
