"""End-to-end demo: judge a BM25 run on the bundled QA set and report top-k accuracy.

    .venv/bin/python examples/demo.py [--data DIR]

Passages are indexed as title + " " + text, the same text the run was
retrieved from. A passage counts as relevant to a question when one of the
question's answers occurs in it as a contiguous run of tokens. Accuracy is
over every question of the question file (one the run retrieved nothing
for is a miss). Exits non-zero if anything is inconsistent.
"""

import argparse
import json
import sys
import tempfile
import time
from pathlib import Path

from evaluate_run import check_run, missing_docids_error, read_corpus, read_jsonl, read_questions, read_trec_run, top_k_hits
from pretokenize import load_corpus, pretokenize_corpus
from quarnel import QAAnnotator, RegexTokenizer
from sparse_to_jsonl import sparse_to_jsonl

KS = (1, 5, 20, 100)


def fail(message):
    print(f"FAILED: {message}", file=sys.stderr)
    sys.exit(1)


def load(data):
    """passages (docid -> title + " " + text), question records, answers, run; bad data fails in one line."""
    try:
        corpus = read_corpus(data / "corpus.jsonl")
        answers = read_questions(data / "questions.jsonl")
        questions = [dict(record, qid=str(record["qid"])) for _, record in read_jsonl(data / "questions.jsonl")]
        run = read_trec_run(data / "run.trec")
        check_run(run, answers, data / "run.trec")
        missing = {d for docids in run.values() for d in docids} - corpus.keys()
        if missing:
            raise missing_docids_error(missing, data / "run.trec", data / "corpus.jsonl")
    except (OSError, ValueError) as e:
        fail(e)
    return corpus, questions, answers, run


def contains(tokens, answer):
    """Plain-Python reference for one judgement: answer as a contiguous run of tokens."""
    n = len(answer)
    return n == 0 or any(tokens[i:i + n] == answer for i, t in enumerate(tokens) if t == answer[0])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", type=Path, default=Path(__file__).resolve().parent / "data")
    args = parser.parse_args()

    passages, questions, answers, run = load(args.data)
    unretrieved = len(answers) - len(run)
    print(f"{len(passages)} passages, {len(answers)} questions ({unretrieved} without retrieved passages), "
          f"top-{max(map(len, run.values()), default=0)} run from {args.data}")

    tokenizer = RegexTokenizer()
    docids = list(passages)
    texts = list(passages.values())
    start = time.perf_counter()
    token_lists = tokenizer.batch_tokenize(texts)
    seconds = time.perf_counter() - start
    n_tokens = sum(map(len, token_lists))
    print(f"tokenized title + text: {n_tokens:,} tokens in {seconds * 1e3:.1f} ms "
          f"({n_tokens / seconds / 1e6:.2f} M tokens/s)")
    spot_checks = range(0, len(texts), 50)
    if len(token_lists) != len(texts) or any(token_lists[i] != tokenizer.tokenize(texts[i]) for i in spot_checks):
        fail("batch_tokenize disagrees with tokenize")
    corpus = dict(zip(docids, token_lists))

    start = time.perf_counter()
    annotator = QAAnnotator(corpus)
    built = time.perf_counter()
    qrels = annotator.annotate(run, answers)
    done = time.perf_counter()
    pairs = sum(map(len, run.values()))
    relevant = sum(sum(labels.values()) for labels in qrels.values())
    print(f"QAAnnotator built in {(built - start) * 1e3:.1f} ms; judged {pairs:,} (question, passage) pairs "
          f"in {(done - built) * 1e3:.1f} ms, {relevant:,} relevant")

    # The module's dicts have no meaningful order: check coverage, take ranks from the run.
    if set(qrels) != set(run):
        fail("qrels do not cover exactly the questions of the run")
    for qid, labels in qrels.items():
        if set(labels) != set(run[qid]) or not set(labels.values()) <= {0, 1}:
            fail(f"labels for {qid} do not match its retrieved passages")
    answer_tokens = {qid: [tokenizer.tokenize(a) for a in alts] for qid, alts in answers.items()}
    for qid, ranked in run.items():
        for docid in ranked:
            expected = int(any(contains(corpus[docid], a) for a in answer_tokens[qid]))
            if qrels[qid][docid] != expected:
                fail(f"{qid}/{docid}: module says {qrels[qid][docid]}, token scan says {expected}")
    print("labels agree with a plain-Python scan of the same tokens")

    # Over every question of the file: a question the run retrieved nothing for is a miss.
    print(f"\ntop-k retrieval accuracy over {len(answers)} questions ({unretrieved} without retrieved passages, "
          f"counted as misses)")
    print(f"  {'k':>4}  {'hits':>5}  {'accuracy':>8}")
    for k, hits in top_k_hits(qrels, run, KS).items():
        print(f"  {k:>4}  {hits:>5}  {hits / len(answers):>8.1%}")

    # One worked example: the first question whose top three passages are mixed.
    retrieved = [q for q in questions if q["qid"] in run]
    sample = next((q for q in retrieved if len({qrels[q["qid"]][d] for d in run[q["qid"]][:3]}) == 2),
                  retrieved[0] if retrieved else None)
    if sample:
        qid = sample["qid"]
        print(f"\nsample {qid}: {sample.get('question', '')}  answers: {sample['answers']}")
        for rank, docid in enumerate(run[qid][:3], 1):
            print(f"  rank {rank}  {docid}  label {qrels[qid][docid]}  {passages[docid][:40]}...")
        print(f"  top passage tokens: {corpus[run[qid][0]][:12]} ...")

    start = time.perf_counter()
    sequential = annotator.annotate_non_optim(run, answers)
    seconds = time.perf_counter() - start
    if sequential != qrels:
        fail("annotate_non_optim and annotate disagree")
    print(f"\nsequential and parallel qrels agree (sequential pass took {seconds * 1e3:.1f} ms)")

    # Sparse passage vectors -> JSON reps and pseudo text, as JSON lines for an index builder.
    with tempfile.TemporaryDirectory() as tmp:
        start = time.perf_counter()
        stats = sparse_to_jsonl(Path(tmp) / "passages.jsonl", args.data, passages=len(passages))
        seconds = time.perf_counter() - start
    if stats["checked"] != stats["lines"] or stats["lines"] != len(passages):
        fail("the sparse JSON lines do not cover every passage")
    print(f"\nsparse vectors of {stats['lines']} passages over {stats['vocab']} terms -> {stats['terms']:,} quantized "
          f"terms, {stats['words']:,} pseudo-text words ({seconds * 1e3:.1f} ms, see examples/sparse_to_jsonl.py)")
    print("JSON lines: every pseudo text repeats each term exactly its frequency")

    # Beyond English: word pre-tokenization of the bundled multilingual sentences.
    stats = pretokenize_corpus(load_corpus())
    counts = ", ".join(f"{lang} {s['tokens']}" for lang, s in stats.items())
    print(f"\nmultilingual pre-tokenization ({len(stats)} languages, stop words removed): {counts}")
    print(f"  zh sample: {stats['zh']['sample'][1]}")


if __name__ == "__main__":
    main()
