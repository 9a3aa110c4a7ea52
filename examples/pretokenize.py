"""Multilingual pre-tokenization: cut the bundled sentences of ten languages
into words with ICUWordPreTokenizer, removing a few stop words per language.

    .venv/bin/python examples/pretokenize.py [--corpus FILE] [--out FILE.jsonl] [--batch N]

The corpus is `language<TAB>sentence` lines (.tsv, like the bundled one) or
JSON lines with a "text" (and usually a "lang"). Prints, per language, the
number of sentences, tokens and stop words removed, and one sample sentence
with its tokens. Exits non-zero if the batch and per-text results disagree.
With --out, also writes every record with its tokens added as JSON lines
({"lang", "text", "tokens"}), batch by batch, with a progress bar on
stderr: the shape of a real corpus job (examples/distributed/pretokenize.py
runs it over many shards on a Dask cluster).

A Parquet corpus (a .parquet file with a "text" column) is pre-tokenized
column by column through quarnel.columnar (no Python object per text or
token; needs pyarrow) into a Parquet file with a "tokens" column added:
--out FILE.parquet. Its rows, written as JSON lines (parquet_json_lines),
are byte for byte what the JSON-lines path writes for the same records.
"""

import argparse
import json
import sys
from collections import defaultdict
from itertools import islice
from pathlib import Path

from evaluate_run import read_jsonl
from extras import need
from quarnel import ICUWordPreTokenizer

tqdm = need("tqdm", "examples").tqdm

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


def read_records(path=CORPUS):
    """The corpus as {"lang", "text"} records (a .tsv), as its JSON objects,
    each of which must have a string "text", or as the rows of a Parquet file."""
    path = Path(path)
    if path.suffix == ".parquet":
        import pyarrow.parquet as pq

        for batch in pq.ParquetFile(path).iter_batches():
            yield from ({k: v for k, v in r.items() if v is not None} for r in batch.to_pylist())
        return
    if path.suffix == ".tsv":
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            if line and not line.startswith("#"):
                if "\t" not in line:
                    raise ValueError(f"{path}:{number}: expected language<TAB>sentence")
                lang, sentence = line.split("\t", 1)
                yield {"lang": lang, "text": sentence}
        return
    for number, record in read_jsonl(path):
        if not isinstance(record.get("text"), str):
            raise ValueError(f"{path}:{number}: no string \"text\" field")
        yield record


def load_corpus(path=CORPUS):
    """language -> sentences, in file order."""
    corpus = defaultdict(list)
    for record in read_records(path):
        corpus[record.get("lang", "?")].append(record["text"])
    return dict(corpus)


def pretokenize_corpus(corpus, stopwords=STOPWORDS):
    """Pre-tokenizes every sentence with stop-word removal. Returns
    language -> {"sentences", "tokens", "removed", "sample": (sentence, tokens)}."""
    tokenizer = stopword_tokenizer(stopwords)
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


def stopword_tokenizer(stopwords=STOPWORDS):
    """One tokenizer for every language, with all their stop words."""
    return ICUWordPreTokenizer(set().union(*stopwords.values()))


def pretokenized_lines(records, tokenizer, batch):
    """Each record as a JSON line with its "tokens" (stop words removed) added, one
    batch_tokenize call per `batch` records: the interpreter lock is released once for all of them."""
    records = iter(records)
    while chunk := list(islice(records, batch)):
        for record, tokens in zip(chunk, tokenizer.batch_tokenize([r["text"] for r in chunk], True)):
            yield json.dumps({**record, "tokens": tokens}, ensure_ascii=False) + "\n"


def write_jsonl(records, out, batch, stopwords=STOPWORDS):
    """Pre-tokenizes the records batch by batch into JSON lines at `out`, with a
    progress bar on stderr; returns the number of records."""
    tokenizer = stopword_tokenizer(stopwords)
    with open(out, "w", encoding="utf-8") as f, tqdm(unit=" texts", file=sys.stderr) as bar:
        for line in pretokenized_lines(records, tokenizer, batch):
            f.write(line)
            bar.update()
    return bar.n


def write_parquet(source, out, stopwords=STOPWORDS):
    """Pre-tokenizes the "text" column of a Parquet file, one row group at a
    time, into a Parquet file of the same columns plus "tokens" (stop words
    removed), through quarnel.columnar. Returns the number of rows."""
    pa = need("pyarrow", "columnar")
    pq = need("pyarrow.parquet", "columnar")

    from quarnel import columnar

    tokenizer = stopword_tokenizer(stopwords)
    source = pq.ParquetFile(source)
    rows = 0
    schema = source.schema_arrow.append(pa.field("tokens", pa.large_list(pa.string())))
    with pq.ParquetWriter(out, schema) as writer:
        for group in range(source.num_row_groups):
            table = source.read_row_group(group)
            tokens = columnar.pre_tokenize(tokenizer, table["text"], remove_stopwords=True)
            writer.write_table(table.append_column("tokens", pa.chunked_array(tokens)))
            rows += table.num_rows
    return rows


def parquet_json_lines(path):
    """The rows of a Parquet file as the JSON lines the JSON-lines path writes."""
    pq = need("pyarrow.parquet", "columnar")

    for batch in pq.ParquetFile(path).iter_batches():
        for record in batch.to_pylist():
            yield json.dumps({k: v for k, v in record.items() if v is not None}, ensure_ascii=False) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=CORPUS)
    parser.add_argument("--out", type=Path, help="write every sentence's tokens here as JSON lines")
    parser.add_argument("--batch", type=int, default=16, help="texts per batch_tokenize call with --out")
    args = parser.parse_args()
    try:
        stats = pretokenize_corpus(load_corpus(args.corpus))
    except (OSError, ValueError) as e:
        sys.exit(f"error: {e}")
    except RuntimeError as e:
        print(f"FAILED: {e}", file=sys.stderr)
        sys.exit(1)
    print(f"{'lang':<5} {'sentences':>9} {'tokens':>7} {'stop words removed':>19}")
    for lang, s in stats.items():
        print(f"{lang:<5} {s['sentences']:>9} {s['tokens']:>7} {s['removed']:>19}")
    for lang in [lang for lang in ("en", "zh", "ja", "th") if lang in stats]:
        sentence, tokens = stats[lang]["sample"]
        print(f"\n{lang}: {sentence}\n    {tokens}")
    if args.out and args.corpus.suffix == ".parquet":
        n = write_parquet(args.corpus, args.out)
        print(f"\n{n} texts written to {args.out}")
    elif args.out:
        n = write_jsonl(read_records(args.corpus), args.out, args.batch)
        print(f"\n{n} texts written to {args.out}")


if __name__ == "__main__":
    main()
