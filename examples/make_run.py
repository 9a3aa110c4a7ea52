"""Writes examples/data/run.trec: the top 100 passages per question from a
plain BM25 ranker over title + text, in the TREC run format
(qid Q0 docid rank score tag).

Deliberately simple, standard library only: lowercase \\w+ tokens, no
stemming, no stopword list, the usual Okapi weighting. Ties are broken by
docid so the output is deterministic. Run from anywhere:
    python3 examples/make_run.py [--data DIR] [--depth 100]
"""

import argparse
import json
import math
import re
from collections import Counter, defaultdict
from pathlib import Path

WORD = re.compile(r"\w+")
K1, B = 1.2, 0.75


def terms(text):
    return WORD.findall(text.lower())


class BM25:
    def __init__(self, docs):
        """docs: list of (docid, text)."""
        self.ids = [docid for docid, _ in docs]
        self.lengths = []
        self.postings = defaultdict(list)  # term -> [(doc index, term frequency)]
        for i, (_, text) in enumerate(docs):
            tf = Counter(terms(text))
            self.lengths.append(sum(tf.values()))
            for term, n in tf.items():
                self.postings[term].append((i, n))
        self.avg_length = sum(self.lengths) / len(self.lengths)
        n_docs = len(docs)
        self.idf = {t: math.log(1 + (n_docs - len(p) + 0.5) / (len(p) + 0.5)) for t, p in self.postings.items()}

    def search(self, query, depth):
        scores = defaultdict(float)
        for term in set(terms(query)):
            idf = self.idf.get(term)
            if idf is None:
                continue
            for i, tf in self.postings[term]:
                norm = K1 * (1 - B + B * self.lengths[i] / self.avg_length)
                scores[i] += idf * tf * (K1 + 1) / (tf + norm)
        ranked = sorted(scores, key=lambda i: (-scores[i], self.ids[i]))
        if len(ranked) < depth:  # pad with unmatched passages in docid order
            matched = set(ranked)
            ranked += [i for i in range(len(self.ids)) if i not in matched][: depth - len(ranked)]
        return [(self.ids[i], scores.get(i, 0.0)) for i in ranked[:depth]]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=Path, default=Path(__file__).resolve().parent / "data")
    parser.add_argument("--depth", type=int, default=100)
    args = parser.parse_args()

    docs = []
    with open(args.data / "corpus.jsonl", encoding="utf-8") as f:
        for line in f:
            doc = json.loads(line)
            docs.append((doc["id"], f"{doc['title']} {doc['text']}"))
    with open(args.data / "questions.jsonl", encoding="utf-8") as f:
        questions = [json.loads(line) for line in f]

    index = BM25(docs)
    with open(args.data / "run.trec", "w", encoding="utf-8", newline="\n") as out:
        for q in questions:
            for rank, (docid, score) in enumerate(index.search(q["question"], args.depth), 1):
                out.write(f"{q['qid']} Q0 {docid} {rank} {score:.4f} bm25\n")
    print(f"{len(questions)} questions x {args.depth} passages -> {args.data / 'run.trec'}")


if __name__ == "__main__":
    main()
