"""Sparse encoder output, saved as shards, to JSON lines for an index builder, on a Dask cluster.

    python examples/distributed/sparse_to_jsonl.py (--local N | --scheduler ADDRESS)
        --shards DIR --out DIR [--vocab FILE] [--quantization 100]

DIR holds the encoder's output in shards: part-00000.npy, a float32 or
float16 [passages, vocab] matrix, beside part-00000.ids, its docids one per
line, and so on, with vocab.txt (the token of id i on line i + 1; --vocab
names another file). `python examples/sparse_to_jsonl.py --shards DIR`
saves the bundled passages' batch this way.

Each task converts one shard on its worker: it maps the matrix
(np.load(..., mmap_mode="r")), builds a Converter from the vocabulary,
converts a block of rows at a time and writes out/part-00000.jsonl itself,
byte for byte what examples/sparse_to_jsonl.py writes for that shard. No
matrix passes through this process. The shards
appear in out/ only once all of them are complete: a job that fails leaves
out/ as it was.
"""

import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path[:0] = [str(HERE.parent), str(HERE)]  # the single-process examples first: their functions are reused

import argparse  # noqa: E402

import shard_jobs  # noqa: E402
import sparse_to_jsonl  # noqa: E402  (the single-process example)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--shards", type=Path, required=True, help="the directory of .npy and .ids shards")
    parser.add_argument("--out", type=Path, required=True, help="the directory for the JSON-lines shards")
    parser.add_argument("--vocab", type=Path, help="the vocabulary, one token per line (default: DIR/vocab.txt)")
    parser.add_argument("--quantization", type=int, default=sparse_to_jsonl.QUANTIZATION,
                        help="weights are multiplied by this and floored (default %(default)s)")
    shard_jobs.add_cluster_options(parser)
    args = parser.parse_args(argv)
    shards_dir, out_dir = args.shards.resolve(), args.out.resolve()
    vocab = (args.vocab or args.shards / "vocab.txt").resolve()
    if shards_dir == out_dir:
        shard_jobs.fail("--out must not be the --shards directory")

    start = time.perf_counter()
    with shard_jobs.cluster_client(args) as client:
        try:
            shards = client.submit(shard_jobs.list_sparse_shards, str(shards_dir), pure=False).result()
            with shard_jobs.staged_output(client, out_dir) as staging:
                started = time.perf_counter()
                futures = client.map(shard_jobs.convert_shard, shards, vocab_path=str(vocab), staging=staging,
                                     quantization_factor=args.quantization, pure=False)
                counts = shard_jobs.results(client, futures)
        except (OSError, ValueError, KeyError) as e:
            shard_jobs.fail(e, f"the job did not complete: nothing was written to {out_dir}")
        seconds = time.perf_counter() - started

    lines = sum(c["lines"] for c in counts)
    print(f"{len(shards)} shards, {lines:,} passages -> {sum(c['terms'] for c in counts):,} quantized terms, "
          f"{sum(c['words'] for c in counts):,} pseudo-text words in {out_dir}")
    print(f"converted in {seconds:.2f} s ({lines / seconds:,.0f} passages/s); "
          f"{time.perf_counter() - start:.2f} s in all")


if __name__ == "__main__":
    main()
