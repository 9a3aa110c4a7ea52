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


def test_evaluate_run_reads_trec_and_json_lines(tmp_path):
    out = run_example("evaluate_run.py", "--k", "1", "100", "--qrels", "qrels.json", cwd=tmp_path)
    assert "top-1    accuracy   70.1%" in out and "top-100  accuracy  100.0%" in out
    qrels = json.loads((tmp_path / "qrels.json").read_text())
    assert len(qrels) == 187 and all(len(labels) == 100 for labels in qrels.values())


def test_typed_usage_runs(tmp_path):
    assert run_example("typed_usage.py", cwd=tmp_path).count("\n") == 4


def test_pretokenize_writes_json_lines_with_progress(tmp_path):
    out = subprocess.run([sys.executable, str(EXAMPLES / "pretokenize.py"), "--out", "tokens.jsonl",
                          "--batch", "7"], cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stderr
    assert "59/59 texts" in out.stderr
    rows = [json.loads(line) for line in (tmp_path / "tokens.jsonl").read_text(encoding="utf-8").splitlines()]
    assert len(rows) == 59 and {r["lang"] for r in rows} >= {"en", "zh", "ja", "th"}
    assert all(r["tokens"] and "the" not in r["tokens"] for r in rows)


@pytest.mark.parametrize("flag", [[], ["--float16"]])
def test_sparse_to_jsonl_writes_index_ready_lines(tmp_path, flag):
    out = run_example("sparse_to_jsonl.py", "--passages", "50", "--out", "sparse.jsonl", *flag, cwd=tmp_path)
    assert out.startswith("50 passages")
    docs = [json.loads(line) for line in (tmp_path / "sparse.jsonl").read_text(encoding="utf-8").splitlines()]
    assert len(docs) == 50 and all(doc["vector"] and doc["contents"] for doc in docs)
