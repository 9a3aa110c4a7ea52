"""Top-k retrieval accuracy of a TREC run over a sharded corpus, on a Dask cluster.

    python examples/distributed/evaluate_run.py (--local N | --scheduler ADDRESS)
        [--corpus corpus.jsonl|DIR] [--questions questions.jsonl] [--run run.trec]
        [--k 1 5 20 100] [--qrels out.json]

The options and the output are those of examples/evaluate_run.py: the same
top-k table and the same qrels JSON, byte for byte. The corpus may be one
JSON-lines file or a directory of *.jsonl shards, at a path the workers
can read (relative paths are made absolute here).

How the work is split, for a corpus much bigger than the run: this process
reads the questions and the run, and sends the cluster one copy of
"docid -> questions that retrieved it" with those questions' answers, as
a task's result that the workers copy from one another. Each
task then reads one shard on its worker, keeps the passages the run
retrieved, tokenizes them, builds a QAAnnotator over them and judges them;
only the docids found and the relevant pairs come back. The corpus never passes through this process,
and no passage moves between workers.
"""

import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path[:0] = [str(HERE.parent), str(HERE)]  # the single-process examples first: their functions are reused

import evaluate_run  # noqa: E402  (the single-process example)
import shard_jobs  # noqa: E402


def main(argv=None):
    parser = evaluate_run.make_parser(__doc__)
    shard_jobs.add_cluster_options(parser)
    args = parser.parse_args(argv)
    start = time.perf_counter()
    try:
        answers = evaluate_run.read_questions(args.questions)
        run = evaluate_run.read_trec_run(args.run)
        evaluate_run.check_run(run, answers, args.run)
    except (OSError, ValueError) as e:
        shard_jobs.fail(e)
    # docid -> " qid qid ...": one string per docid is much quicker to send and unpack
    # on every worker than a list (a TREC run's fields hold no spaces).
    retrieved_by = {}
    get = retrieved_by.get
    for qid, docids in run.items():
        for docid in docids:
            retrieved_by[docid] = f"{get(docid, '')} {qid}"
    wanted = (retrieved_by, {qid: answers[qid] for qid in run})
    read = time.perf_counter() - start

    with shard_jobs.cluster_client(args) as client:
        try:
            shards = client.submit(shard_jobs.list_corpus, str(args.corpus.resolve()), pure=False).result()
            # Sent once, as the result of one task that every shard task shares (see shard_jobs.held).
            sending = time.perf_counter()
            with shard_jobs.dask.config.set({"distributed.admin.large-graph-warning-threshold": "1 GiB"}):
                shared = client.submit(shard_jobs.held, wanted, pure=False)
            started = time.perf_counter()
            futures = client.map(shard_jobs.judge_shard, shards, wanted=shared, pure=False)
            parts = shard_jobs.results(client, futures)
        except (OSError, ValueError) as e:
            shard_jobs.fail(e)
        seconds = time.perf_counter() - started

    merging = time.perf_counter()
    # Every judged pair is 0 but those a shard found relevant. A docid in two shards
    # takes its labels from the later one, as in the single-process example.
    shard_of = {docid: i for i, (found, _, _) in enumerate(parts) for docid in found}
    if len(shard_of) < len(retrieved_by):
        shard_jobs.fail(evaluate_run.missing_docids_error(retrieved_by.keys() - shard_of.keys(), args.run,
                                                          args.corpus, absent="is in no shard of the corpus"))
    qrels = {qid: dict.fromkeys(docids, 0) for qid, docids in run.items()}
    for i, (_, relevant, _) in enumerate(parts):
        for qid, docid in relevant:
            if shard_of[docid] == i:
                qrels[qid][docid] = 1

    merged = time.perf_counter() - merging
    lines = sum(counts["lines"] for *_, counts in parts)
    tokens = sum(counts["tokens"] for *_, counts in parts)
    print(f"{len(shards)} shard(s): {lines:,} passages read, {tokens:,} tokens judged in {seconds:.2f} s "
          f"({lines / seconds:,.0f} passages/s)")
    print(f"client: {read:.2f} s reading the questions and the run, {started - sending:.2f} s handing them to "
          f"the cluster, {merged:.2f} s merging; {time.perf_counter() - start:.2f} s in all")
    print(f"{evaluate_run.summary_line(answers, run, len(shard_of))}")
    print("\n".join(evaluate_run.accuracy_lines(qrels, run, len(answers), args.k)))
    if args.qrels:
        evaluate_run.write_qrels(qrels, args.qrels)
        print(f"qrels written to {args.qrels}")


if __name__ == "__main__":
    main()
