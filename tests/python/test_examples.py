"""Every example runs on the bundled sample data, from any directory."""
import json
import subprocess
import sys
from pathlib import Path

import pytest

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"


def run_example(name, *args, cwd):
    out = subprocess.run([sys.executable, str(EXAMPLES / name), *args], cwd=cwd,
                         capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stderr
    return out.stdout


@pytest.mark.parametrize("example, package, extra", [
    ("evaluate_run.py", "tqdm", "examples"),
    ("pretokenize.py", "tqdm", "examples"),
    ("parquet_pipeline.py", "pyarrow", "columnar"),
    ("distributed/evaluate_run.py", "distributed", "distributed"),
])
def test_a_missing_optional_package_is_named_in_one_line(tmp_path, example, package, extra):
    path = EXAMPLES / example
    code = (f"import runpy, sys; sys.modules[{package!r}] = None; sys.path.insert(0, {str(path.parent)!r}); "
            f"sys.argv = [{str(path)!r}]; runpy.run_path({str(path)!r}, run_name='__main__')")
    out = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True, timeout=120)
    assert out.returncode != 0
    assert out.stderr.splitlines() == [f"this example needs {package}: pip install quarnel[{extra}]"]


def test_evaluate_run_reads_trec_and_json_lines(tmp_path):
    out = run_example("evaluate_run.py", "--k", "1", "100", "--qrels", "qrels.json", cwd=tmp_path)
    assert "top-1    accuracy   70.1%" in out and "top-100  accuracy  100.0%" in out
    qrels = json.loads((tmp_path / "qrels.json").read_text())
    assert len(qrels) == 187 and all(len(labels) == 100 for labels in qrels.values())


@pytest.mark.parametrize("example", ["evaluate_run.py", "demo.py"])
def test_accuracy_is_over_every_question_and_bad_runs_fail_in_one_line(tmp_path, example):
    # Three passages, three questions; the runs below retrieve for the first question only.
    corpus = tmp_path / "corpus.jsonl"
    corpus.write_text("".join((EXAMPLES / "data" / "corpus.jsonl").read_text().splitlines(True)[:3]))
    (tmp_path / "questions.jsonl").write_text("".join(
        json.dumps({"qid": q, "question": "?", "answers": [a]}) + "\n"
        for q, a in [("a", "Mark Twain"), ("b", "Paris"), ("c", "Berlin")]))
    args = (["--corpus", "corpus.jsonl", "--questions", "questions.jsonl", "--run", "run.trec"]
            if example == "evaluate_run.py" else ["--data", "."])

    def run(trec):
        (tmp_path / "run.trec").write_text(trec)
        return subprocess.run([sys.executable, str(EXAMPLES / example), *args], cwd=tmp_path,
                              capture_output=True, text=True, timeout=120)

    # 1 hit over 3 questions, not over the 1 question of the run.
    out = run("a Q0 d0001 1 3.0 t\na Q0 d0002 2 2.0 t\n")
    assert out.returncode == 0, out.stderr
    assert "2 without retrieved passages" in out.stdout and "33.3%" in out.stdout and "100.0%" not in out.stdout

    # A docid that the corpus lacks: one line naming it, its line in the run and the corpus; no traceback.
    out = run("a Q0 d0001 1 3.0 t\na Q0 d9999 2 2.0 t\n")
    assert out.returncode == 1
    assert out.stderr.strip().splitlines() == [
        f"{'error' if example == 'evaluate_run.py' else 'FAILED'}: run.trec:2: docid d9999 is not in the corpus "
        "corpus.jsonl"]

    with open(corpus, "a") as f:
        f.write('{"id": "d0004", "text": "cut short\n')
    out = run("a Q0 d0001 1 3.0 t\n")
    assert out.returncode == 1 and "Traceback" not in out.stderr
    assert "corpus.jsonl:4: not valid JSON" in out.stderr


def test_parquet_pipeline_judges_the_run_as_evaluate_run_does(tmp_path):
    pytest.importorskip("pyarrow")
    out = run_example("parquet_pipeline.py", "--out", "pq", "--k", "1", "100", cwd=tmp_path)
    assert "top-1    accuracy   70.1%" in out and "top-100  accuracy  100.0%" in out
    assert {p.name for p in (tmp_path / "pq").iterdir()} == {
        "corpus.parquet", "tokens.parquet", "run.parquet", "questions.parquet", "qrels.parquet"}


def test_typed_usage_runs(tmp_path):
    assert run_example("typed_usage.py", cwd=tmp_path).count("\n") == 5


def test_pretokenize_writes_json_lines_with_progress(tmp_path):
    out = subprocess.run([sys.executable, str(EXAMPLES / "pretokenize.py"), "--out", "tokens.jsonl",
                          "--batch", "7"], cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stderr
    assert "59 texts" in out.stderr  # tqdm's bar
    rows = [json.loads(line) for line in (tmp_path / "tokens.jsonl").read_text(encoding="utf-8").splitlines()]
    assert len(rows) == 59 and {r["lang"] for r in rows} >= {"en", "zh", "ja", "th"}
    assert all(r["tokens"] and "the" not in r["tokens"] for r in rows)


@pytest.mark.parametrize("flag", [[], ["--float16"]])
def test_sparse_to_jsonl_writes_index_ready_lines(tmp_path, flag):
    out = run_example("sparse_to_jsonl.py", "--passages", "50", "--out", "sparse.jsonl", *flag, cwd=tmp_path)
    assert out.startswith("50 passages")
    docs = [json.loads(line) for line in (tmp_path / "sparse.jsonl").read_text(encoding="utf-8").splitlines()]
    assert len(docs) == 50 and all(doc["vector"] and doc["contents"] for doc in docs)
