"""Top-k retrieval accuracy of a TREC run, judged by answer matching.

    python examples/evaluate_run.py [--corpus corpus.jsonl|DIR] [--questions questions.jsonl]
                                    [--run run.trec] [--k 1 5 20 100] [--qrels out.json]

The corpus is JSON lines with "id" and "text" (and optionally "title", which
is put in front of the text, as the run was retrieved), in one file or in a
directory of *.jsonl shards (read in name order); the questions are JSON
lines with "qid" and "answers". A retrieved passage is relevant when one of
its question's answers occurs in it as a contiguous run of tokens; a
question counts as answered at k when one of its top k passages is
relevant. Accuracy is over every question of the question file: a question
the run retrieved nothing for counts as a miss. The defaults are the
bundled sample data.

Bad input (a line that is not JSON, a run line that is not TREC, a run
docid that the corpus does not hold) stops the job with one line naming
the file and line, and exit status 1.
"""

import argparse
import json
import sys
import time
from pathlib import Path

from extras import need
from quarnel import QAAnnotator, RegexTokenizer

tqdm = need("tqdm", "examples").tqdm

DATA = Path(__file__).resolve().parent / "data"


def corpus_files(path):
    """The JSON-lines files of a corpus: the file itself, or a directory's *.jsonl in name order."""
    path = Path(path)
    if path.is_dir():
        files = sorted(p for p in path.iterdir() if p.suffix == ".jsonl" and p.is_file())
        if not files:
            raise FileNotFoundError(f"{path}: no *.jsonl shards in this directory")
        return files
    if not path.exists():
        raise FileNotFoundError(f"{path}: no such file or directory")
    return [path]


def read_jsonl(path):
    """(line number, object) for every non-blank line; a line that is not a JSON
    object (or not UTF-8) raises ValueError naming the file and line."""
    with open(path, "rb") as f:
        for number, raw in enumerate(f, 1):
            try:
                line = raw.rstrip(b"\r\n").decode("utf-8")
            except UnicodeDecodeError:
                raise ValueError(f"{path}:{number}: not UTF-8 text") from None
            if not line.strip():
                continue
            try:
                record = json.loads(line)
            except json.JSONDecodeError as e:
                raise ValueError(f"{path}:{number}: not valid JSON ({e.msg} at column {e.colno})") from None
            if not isinstance(record, dict):
                raise ValueError(f"{path}:{number}: not a JSON object")
            yield number, record


def passage(record, path, number):
    """(docid, title + " " + text, or the text alone when there is no title)."""
    try:
        docid, text, title = str(record["id"]), record["text"], record.get("title")
    except KeyError as e:
        raise ValueError(f"{path}:{number}: no {e} field") from None
    if not isinstance(text, str) or not isinstance(title, (str, type(None))):
        raise ValueError(f"{path}:{number}: \"text\" and \"title\" must be strings")
    return docid, f"{title} {text}" if title else text


def read_corpus(path, wanted=None, progress=False):
    """docid -> text over every file of the corpus, keeping only the docids in
    `wanted` when it is given (a later line with the same docid wins). With
    `progress`, a bar on a terminal counts the passages read."""
    corpus = {}
    with tqdm(unit=" passages", unit_scale=True, desc="reading the corpus", disable=None if progress else True,
              miniters=10_000) as bar:
        for file in corpus_files(path):
            for number, record in read_jsonl(file):
                docid, text = passage(record, file, number)
                if wanted is None or docid in wanted:
                    corpus[docid] = text
                bar.update()
    return corpus


def read_questions(path):
    """qid -> answers, in file order."""
    answers = {}
    for number, record in read_jsonl(path):
        try:
            qid, alternatives = str(record["qid"]), record["answers"]
        except KeyError as e:
            raise ValueError(f"{path}:{number}: no {e} field") from None
        if not isinstance(alternatives, list) or not all(isinstance(a, str) for a in alternatives):
            raise ValueError(f"{path}:{number}: \"answers\" must be a list of strings")
        answers[qid] = alternatives
    if not answers:
        raise ValueError(f"{path}: no questions")
    return answers


def read_trec_run(path):
    """qid -> docids in rank order, from `qid Q0 docid rank score tag` lines."""
    ranked = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip():
                continue
            try:
                qid, _, docid, rank, score, *_ = line.split()
                hit = (-float(score), int(rank), docid)
            except ValueError:
                raise ValueError(f"{path}:{number}: not a TREC run line (qid Q0 docid rank score tag)") from None
            ranked.setdefault(qid, []).append(hit)
    return {qid: [docid for *_, docid in sorted(hits)] for qid, hits in ranked.items()}


def check_run(run, answers, run_path):
    """The run may only name questions of the question file."""
    unknown = [qid for qid in run if qid not in answers]
    if unknown:
        raise ValueError(f"{run_path}: {len(unknown)} question(s) of the run are not in the question file, "
                         f"first {unknown[0]}")


def missing_docids_error(missing, run_path, corpus_path, absent="is not in the corpus"):
    """One line naming the first missing docid (by its line in the run) and the corpus."""
    with open(run_path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            fields = line.split()
            if len(fields) > 2 and fields[2] in missing:
                more = f" (and {len(missing) - 1} more)" if len(missing) > 1 else ""
                return ValueError(f"{run_path}:{number}: docid {fields[2]} {absent} {corpus_path}{more}")
    return ValueError(f"{run_path}: {len(missing)} docid(s) of the run: {sorted(missing)[0]} {absent} {corpus_path}")


def top_k_hits(qrels, run, ks):
    """k -> number of questions with a relevant passage in their top k."""
    return {k: sum(any(qrels[qid][d] for d in ranked[:k]) for qid, ranked in run.items()) for k in ks}


def accuracy_lines(qrels, run, questions, ks):
    """The top-k table: accuracy over all `questions` (a count), unretrieved ones as misses."""
    return [f"  top-{k:<4} accuracy {hits / questions:7.1%}" for k, hits in top_k_hits(qrels, run, ks).items()]


def summary_line(answers, run, passages):
    unretrieved = sum(1 for qid in answers if not run.get(qid))
    return (f"{len(answers)} questions ({unretrieved} without retrieved passages, counted as misses), "
            f"{passages} retrieved passages")


def write_qrels(qrels, path):
    Path(path).write_text(json.dumps(qrels, sort_keys=True))


def fail(message):
    print(f"error: {message}", file=sys.stderr)
    sys.exit(1)


def make_parser(description=__doc__):
    parser = argparse.ArgumentParser(description=description.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=DATA / "corpus.jsonl",
                        help="a JSON-lines file, or a directory of *.jsonl shards")
    parser.add_argument("--questions", type=Path, default=DATA / "questions.jsonl")
    parser.add_argument("--run", type=Path, default=DATA / "run.trec")
    parser.add_argument("--k", type=int, nargs="+", default=[1, 5, 20, 100])
    parser.add_argument("--qrels", type=Path, help="also write the judgements here as JSON")
    return parser


def main(argv=None):
    args = make_parser().parse_args(argv)
    start = time.perf_counter()
    try:
        answers = read_questions(args.questions)
        run = read_trec_run(args.run)
        check_run(run, answers, args.run)
        # Only the passages the run retrieved need tokens: the rest of the corpus is read and dropped.
        wanted = {d for docids in run.values() for d in docids}
        corpus = read_corpus(args.corpus, wanted, progress=True)
        if len(corpus) < len(wanted):
            raise missing_docids_error(wanted - corpus.keys(), args.run, args.corpus)
    except (OSError, ValueError) as e:
        fail(e)

    docids = sorted(corpus)
    tokens = RegexTokenizer().batch_tokenize([corpus[d] for d in docids])
    del corpus
    annotator = QAAnnotator(dict(zip(docids, tokens)))
    del tokens
    qrels = annotator.annotate(run, {qid: answers[qid] for qid in run})
    seconds = time.perf_counter() - start

    print(f"{summary_line(answers, run, len(docids))}, judged in {seconds:.2f} s")
    print("\n".join(accuracy_lines(qrels, run, len(answers), args.k)))
    if args.qrels:
        write_qrels(qrels, args.qrels)
        print(f"qrels written to {args.qrels}")


if __name__ == "__main__":
    main()
