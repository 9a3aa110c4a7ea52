"""Writes a big sharded corpus, questions and run, to time the Dask jobs.

    python examples/distributed/make_corpus.py OUT [--passages 1000000] [--questions 10000]
                                                   [--shards 100] [--depth 100] [--seed 0]

OUT/corpus/part-00000.jsonl ... hold the passages ({"id", "title",
"text"}), OUT/questions.jsonl the questions and OUT/run.trec a run of
--depth passages per question. Everything is made from the bundled
sample data (examples/data/): passage p0001234 is bundled passage
1234 % 666 with its sentences rotated, question q00042 is bundled question
42 % 187, and each question's run is the bundled BM25 run with every
passage replaced by a random copy of it, so the judgements stay realistic
(about 70 % top-1 accuracy) however big the corpus. Deterministic for a
seed. Standard library only.
"""

import argparse
import json
import random
import re
from pathlib import Path

DATA = Path(__file__).resolve().parents[1] / "data"
SENTENCE_END = re.compile(r"(?<=[.!?])\s+(?=[A-Z])")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", type=Path)
    parser.add_argument("--passages", type=int, default=1_000_000)
    parser.add_argument("--questions", type=int, default=10_000)
    parser.add_argument("--shards", type=int, default=100)
    parser.add_argument("--depth", type=int, default=100)
    parser.add_argument("--seed", type=int, default=0)
    args = parser.parse_args()
    rng = random.Random(args.seed)

    base = [json.loads(line) for line in (DATA / "corpus.jsonl").read_text(encoding="utf-8").splitlines()]
    if args.passages < len(base):
        raise SystemExit(f"--passages must be at least {len(base)}")
    index = {doc["id"]: i for i, doc in enumerate(base)}
    sentences = [SENTENCE_END.split(doc["text"]) for doc in base]

    (args.out / "corpus").mkdir(parents=True, exist_ok=True)
    per_shard = -(-args.passages // args.shards)
    for shard in range(args.shards):
        with open(args.out / "corpus" / f"part-{shard:05d}.jsonl", "w", encoding="utf-8") as f:
            for p in range(shard * per_shard, min(args.passages, (shard + 1) * per_shard)):
                b, turn = p % len(base), p // len(base)
                parts = sentences[b][turn % len(sentences[b]):] + sentences[b][:turn % len(sentences[b])]
                f.write(json.dumps({"id": f"p{p:07d}", "title": base[b]["title"], "text": " ".join(parts)},
                                   ensure_ascii=False) + "\n")

    questions = [json.loads(line) for line in (DATA / "questions.jsonl").read_text(encoding="utf-8").splitlines()]
    ranked = {}
    for line in (DATA / "run.trec").read_text().splitlines():
        qid, _, docid, rank, score, tag = line.split()
        ranked.setdefault(qid, []).append((docid, score, tag))
    copies = args.passages // len(base)  # copies of every bundled passage (some have one more)
    with open(args.out / "questions.jsonl", "w", encoding="utf-8") as fq, open(args.out / "run.trec", "w") as fr:
        for j in range(args.questions):
            q = questions[j % len(questions)]
            qid = f"q{j:05d}"
            fq.write(json.dumps({"qid": qid, "question": q["question"], "answers": q["answers"]},
                                ensure_ascii=False) + "\n")
            for rank, (docid, score, tag) in enumerate(ranked[q["qid"]][:args.depth], 1):
                fr.write(f"{qid} Q0 p{rng.randrange(copies) * len(base) + index[docid]:07d} {rank} {score} {tag}\n")
    print(f"{args.passages:,} passages in {args.shards} shards, {args.questions:,} questions x "
          f"{min(args.depth, 100)} in {args.out}")


if __name__ == "__main__":
    main()
