"""Top-k retrieval accuracy of a TREC run, judged by answer matching.

    python examples/evaluate_run.py [--corpus corpus.jsonl] [--questions questions.jsonl]
                                    [--run run.trec] [--k 1 5 20 100] [--qrels out.json]

The corpus is JSON lines with "id" and "text" (and optionally "title", which
is put in front of the text, as the run was retrieved); the questions are
JSON lines with "qid" and "answers". A retrieved passage is relevant when
one of its question's answers occurs in it as a contiguous run of tokens;
a question counts as answered at k when one of its top k passages is
relevant. The defaults are the bundled sample data.
"""

import argparse
import json
import time
from pathlib import Path

from quarnel import QAAnnotator, RegexTokenizer

DATA = Path(__file__).resolve().parent / "data"


def read_corpus(path):
    """docid -> text (title + " " + text when there is a title)."""
    corpus = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.strip():
                doc = json.loads(line)
                title = doc.get("title")
                corpus[str(doc["id"])] = f"{title} {doc['text']}" if title else doc["text"]
    return corpus


def read_questions(path):
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def read_trec_run(path):
    """qid -> docids in rank order, from `qid Q0 docid rank score tag` lines."""
    ranked = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.strip():
                qid, _, docid, rank, score, *_ = line.split()
                ranked.setdefault(qid, []).append((-float(score), int(rank), docid))
    return {qid: [docid for *_, docid in sorted(hits)] for qid, hits in ranked.items()}


def top_k_accuracy(qrels, run, ks):
    """k -> share of questions with a relevant passage in their top k."""
    return {k: sum(any(qrels[qid][d] for d in ranked[:k]) for qid, ranked in run.items()) / len(run)
            for k in ks}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=DATA / "corpus.jsonl")
    parser.add_argument("--questions", type=Path, default=DATA / "questions.jsonl")
    parser.add_argument("--run", type=Path, default=DATA / "run.trec")
    parser.add_argument("--k", type=int, nargs="+", default=[1, 5, 20, 100])
    parser.add_argument("--qrels", type=Path, help="also write the judgements here as JSON")
    args = parser.parse_args()

    start = time.perf_counter()
    corpus = read_corpus(args.corpus)
    answers = {q["qid"]: q["answers"] for q in read_questions(args.questions)}
    run = read_trec_run(args.run)
    missing = set(run) - set(answers)
    if missing:
        raise SystemExit(f"the run has questions without answers: {sorted(missing)[:5]}")

    # Only the passages the run retrieved need tokens.
    wanted = sorted({d for docids in run.values() for d in docids})
    tokens = RegexTokenizer().batch_tokenize([corpus[d] for d in wanted])
    annotator = QAAnnotator(dict(zip(wanted, tokens)))
    qrels = annotator.annotate(run, answers)
    seconds = time.perf_counter() - start

    print(f"{len(run)} questions, {len(wanted)} retrieved passages, judged in {seconds:.2f} s")
    for k, accuracy in top_k_accuracy(qrels, run, args.k).items():
        print(f"  top-{k:<4} accuracy {accuracy:7.1%}")
    if args.qrels:
        args.qrels.write_text(json.dumps(qrels, sort_keys=True))
        print(f"qrels written to {args.qrels}")


if __name__ == "__main__":
    main()
