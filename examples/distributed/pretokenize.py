"""Multilingual pre-tokenization of JSON-lines or Parquet shards, on a Dask cluster.

    python examples/distributed/pretokenize.py (--local N | --scheduler ADDRESS)
        --corpus FILE|DIR --out DIR [--batch 256]

The corpus is a directory of *.jsonl shards (or one file) of records with
a "text", usually with a "lang". Each task reads one shard on its worker,
cuts its texts into words with its own ICUWordPreTokenizer, removing the
stop words of examples/pretokenize.py, and writes out/<shard>.jsonl itself:
every record with its "tokens" added, byte for byte what
examples/pretokenize.py --corpus <shard> --out ... writes. The shards appear in out/ only
once all of them are complete: a job that fails leaves out/ as it was.

A directory of *.parquet shards (a "text" column) is pre-tokenized into
out/<shard>.parquet, with a "tokens" column added, through quarnel.columnar:
the same tokens, whose rows written as JSON lines are byte for byte the
JSON-lines job's output for the same records.
"""

import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path[:0] = [str(HERE.parent), str(HERE)]  # the single-process examples first: their functions are reused

import argparse  # noqa: E402

import shard_jobs  # noqa: E402


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, required=True, help="a JSON-lines file or a directory of *.jsonl")
    parser.add_argument("--out", type=Path, required=True, help="the directory for the tokenized shards")
    parser.add_argument("--batch", type=int, default=256, help="texts per batch_tokenize call")
    shard_jobs.add_cluster_options(parser)
    args = parser.parse_args(argv)
    corpus, out_dir = args.corpus.resolve(), args.out.resolve()
    if out_dir == (corpus.parent if corpus.suffix in (".jsonl", ".tsv", ".parquet") else corpus):
        shard_jobs.fail("--out must be another directory than the corpus's")

    start = time.perf_counter()
    with shard_jobs.cluster_client(args) as client:
        try:
            shards = client.submit(shard_jobs.list_text_shards, str(corpus), pure=False).result()
            with shard_jobs.staged_output(client, out_dir) as staging:
                started = time.perf_counter()
                futures = client.map(shard_jobs.pretokenize_shard, shards, staging=staging, batch=args.batch,
                                     pure=False)
                counts = shard_jobs.results(client, futures)
        except (OSError, ValueError) as e:
            shard_jobs.fail(e, f"the job did not complete: nothing was written to {out_dir}")
        seconds = time.perf_counter() - started

    texts = sum(counts)
    print(f"{len(shards)} shards, {texts:,} texts pre-tokenized into {out_dir} in {seconds:.2f} s "
          f"({texts / seconds:,.0f} texts/s); {time.perf_counter() - start:.2f} s in all")


if __name__ == "__main__":
    main()
