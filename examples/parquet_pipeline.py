"""A columnar pipeline on Parquet files: corpus -> tokens -> judged run.

    python examples/parquet_pipeline.py [--data DIR] [--out DIR] [--k 1 5 20 100]

1. The bundled corpus (JSON lines) becomes corpus.parquet (id, title, text).
2. tokens.parquet (id, tokens): every passage's title and text cut by
   RegexTokenizer through quarnel.columnar.tokenize, read from and written
   to Arrow columns, with no Python object per passage or token.
3. The run (TREC) and the questions become run.parquet (qid, docid, rank,
   answers); a QAAnnotator is built straight from the columns of
   tokens.parquet, and quarnel.columnar.annotate judges every row of the run
   into qrels.parquet (qid, docid, rank, label).
4. Top-k accuracy from qrels.parquet, over every question: the same table as
   examples/evaluate_run.py prints for the same data.

Needs pyarrow (pip install pyarrow).
"""

import argparse
import json
import time
from pathlib import Path

from extras import need
from quarnel import RegexTokenizer, columnar

pa = need("pyarrow", "columnar")
pc = need("pyarrow.compute", "columnar")
pq = need("pyarrow.parquet", "columnar")

DATA = Path(__file__).resolve().parent / "data"


def corpus_to_parquet(corpus_jsonl, path):
    records = [json.loads(line) for line in Path(corpus_jsonl).read_text(encoding="utf-8").splitlines() if line]
    table = pa.table({"id": [str(r["id"]) for r in records], "title": [r.get("title") for r in records],
                      "text": [r["text"] for r in records]})
    pq.write_table(table, path)


def tokenize_corpus(corpus_parquet, path):
    corpus = pq.read_table(corpus_parquet)
    # "title text", as the run was retrieved (a passage without a title: its text).
    passages = pc.if_else(pc.is_null(corpus["title"]), corpus["text"],
                          pc.binary_join_element_wise(corpus["title"], corpus["text"], " "))
    tokens = columnar.tokenize(RegexTokenizer(), passages)
    pq.write_table(pa.table({"id": corpus["id"], "tokens": pa.chunked_array(tokens)}), path)


def run_to_parquet(run_trec, questions_jsonl, path):
    lines = [line.split() for line in Path(run_trec).read_text(encoding="utf-8").splitlines() if line.strip()]
    run = pa.table({"qid": [f[0] for f in lines], "docid": [f[2] for f in lines],
                    "rank": pa.array([int(f[3]) for f in lines], pa.int32()),
                    "score": pa.array([float(f[4]) for f in lines], pa.float64())})
    # Ranked by score, then rank, then docid, as examples/evaluate_run.py ranks them.
    run = run.sort_by([("qid", "ascending"), ("score", "descending"), ("rank", "ascending"), ("docid", "ascending")])
    ranks, previous = [], None
    for qid in run["qid"].to_pylist():
        ranks.append(ranks[-1] + 1 if qid == previous else 1)
        previous = qid
    run = run.drop_columns(["rank", "score"]).append_column("rank", pa.array(ranks, pa.int32()))
    questions = [json.loads(line) for line in Path(questions_jsonl).read_text(encoding="utf-8").splitlines() if line]
    answers = pa.table({"qid": [q["qid"] for q in questions], "answers": [q["answers"] for q in questions]})
    # Each row gets its question's answers (a join by position: Arrow's joins
    # carry no list columns).
    at = pc.index_in(run["qid"], value_set=answers["qid"])
    if at.null_count:
        raise ValueError(f"{run_trec}: a question of the run is not in {questions_jsonl}")
    pq.write_table(run.append_column("answers", answers["answers"].take(at)), path)
    pq.write_table(answers, Path(path).with_name("questions.parquet"))


def judge_run(tokens_parquet, run_parquet, path):
    tokens = pq.read_table(tokens_parquet)
    annotator = columnar.annotator(tokens["id"], tokens["tokens"])
    run = pq.read_table(run_parquet)
    judged = pa.record_batch(columnar.annotate(annotator, run["qid"], run["docid"], run["answers"]))
    qrels = pa.table({"qid": judged["qid"], "docid": judged["docid"], "rank": run["rank"], "label": judged["label"]})
    pq.write_table(qrels, path)


def accuracy(qrels_parquet, questions_parquet, ks):
    qrels = pq.read_table(qrels_parquet)
    questions = pq.read_table(questions_parquet).num_rows
    lines = []
    for k in ks:
        top = qrels.filter(pc.less_equal(qrels["rank"], k))
        hits = top.group_by("qid").aggregate([("label", "max")])
        lines.append(f"  top-{k:<4} accuracy {pc.sum(hits['label_max']).as_py() / questions:7.1%}")
    return lines


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=Path, default=DATA, help="corpus.jsonl, questions.jsonl and run.trec")
    parser.add_argument("--out", type=Path, default=Path("."), help="where the Parquet files go")
    parser.add_argument("--k", type=int, nargs="+", default=[1, 5, 20, 100])
    args = parser.parse_args(argv)
    args.out.mkdir(parents=True, exist_ok=True)
    steps = [
        ("corpus.parquet", lambda: corpus_to_parquet(args.data / "corpus.jsonl", args.out / "corpus.parquet")),
        ("tokens.parquet", lambda: tokenize_corpus(args.out / "corpus.parquet", args.out / "tokens.parquet")),
        ("run.parquet", lambda: run_to_parquet(args.data / "run.trec", args.data / "questions.jsonl",
                                               args.out / "run.parquet")),
        ("qrels.parquet", lambda: judge_run(args.out / "tokens.parquet", args.out / "run.parquet",
                                            args.out / "qrels.parquet")),
    ]
    for name, step in steps:
        start = time.perf_counter()
        step()
        rows = pq.ParquetFile(args.out / name).metadata.num_rows
        print(f"{name:<15} {rows:>7,} rows  {time.perf_counter() - start:6.3f} s")
    print("\n".join(accuracy(args.out / "qrels.parquet", args.out / "questions.parquet", args.k)))


if __name__ == "__main__":
    main()
