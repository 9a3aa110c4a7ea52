"""The Dask jobs of examples/distributed/ on a real LocalCluster (2 worker
processes, each with a nanny): the same output as the single-process
examples, a worker killed mid-job, and bad input."""
import importlib.util
import json
import os
import signal
import subprocess
import sys
import sysconfig
from pathlib import Path

import numpy as np
import pytest

from conftest import UNDER_ASAN

if UNDER_ASAN:
    pytest.skip("Dask's processes under AddressSanitizer take minutes; the module calls they make are the "
                "single-process examples' (test_examples.py)", allow_module_level=True)

pytestmark = pytest.mark.timeout(90)

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
DATA = EXAMPLES / "data"


def load(path, name):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


# The distributed jobs put examples/ and examples/distributed/ on sys.path, so
# these are the very modules the jobs (and the single-process examples) use.
dist_evaluate = load(EXAMPLES / "distributed" / "evaluate_run.py", "dist_evaluate_run")
dist_sparse = load(EXAMPLES / "distributed" / "sparse_to_jsonl.py", "dist_sparse_to_jsonl")
dist_pretokenize = load(EXAMPLES / "distributed" / "pretokenize.py", "dist_pretokenize")
import evaluate_run  # noqa: E402
import pretokenize  # noqa: E402
import shard_jobs  # noqa: E402
import sparse_to_jsonl  # noqa: E402

# The cluster runs in a process of its own, as a user's would: the jobs reach it
# with --scheduler and ship their modules to it.
CLUSTER = f"""
import sys
sys.path[:0] = [{str(EXAMPLES)!r}, {str(EXAMPLES / "distributed")!r}]
import dask
from distributed import LocalCluster
from shard_jobs import cluster_settings
config, env = cluster_settings()
with dask.config.set(config), LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                           dashboard_address=None, env={{"RAYON_NUM_THREADS": "1", **env}}) as cluster:
    print(cluster.scheduler_address, flush=True)
    sys.stdin.read()
"""


def stop(proc):
    """Ends a process we started and everything it started (its own session)."""
    if proc.poll() is None:
        os.killpg(proc.pid, signal.SIGKILL)
    proc.wait()


@pytest.fixture(scope="module")
def scheduler():
    proc = subprocess.Popen([sys.executable, "-c", CLUSTER], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            text=True, start_new_session=True)
    try:
        address = proc.stdout.readline().strip()
        assert address.startswith("tcp://"), "the cluster did not start"
        yield address
        proc.stdin.close()  # the cluster closes itself
        proc.wait(timeout=30)
    finally:
        stop(proc)


def run_job(job, capsys, *args):
    """(exit status, stdout, stderr) of a job's main() with these arguments."""
    try:
        job.main([str(a) for a in args])
        status = 0
    except SystemExit as e:
        status = e.code
    out = capsys.readouterr()
    return status, out.out, out.err


def split_corpus(directory, shards=3):
    """The bundled corpus as shards, plus a later shard repeating a docid with other text."""
    directory.mkdir()
    lines = (DATA / "corpus.jsonl").read_text(encoding="utf-8").splitlines(True)
    for i in range(shards):
        (directory / f"part-{i}.jsonl").write_text("".join(lines[i::shards]), encoding="utf-8")
    (directory / f"part-{shards}.jsonl").write_text(
        json.dumps({"id": "d0306", "title": "Elsewhere", "text": "No answer here."}) + "\n", encoding="utf-8")
    return directory


def test_import_quarnel_never_imports_dask():
    code = ("import sys, quarnel; sys.path.insert(0, sys.argv[1]); import evaluate_run, pretokenize, "
            "sparse_to_jsonl; assert not {'dask', 'distributed'} & {m.split('.')[0] for m in sys.modules}")
    out = subprocess.run([sys.executable, "-c", code, str(EXAMPLES)], capture_output=True, text=True, timeout=60)
    assert out.returncode == 0, out.stderr


def test_evaluate_matches_single_process(scheduler, tmp_path, capsys):
    corpus = split_corpus(tmp_path / "corpus")
    # The run without five questions: those count as misses in both.
    run = tmp_path / "run.trec"
    run.write_text("".join(line for line in (DATA / "run.trec").read_text().splitlines(True)
                           if line.split()[0] not in {"q002", "q003", "q004", "q005", "q006"}))
    args = ["--corpus", corpus, "--run", run, "--k", 1, 5, 100]
    status, single, err = run_job(evaluate_run, capsys, *args, "--qrels", tmp_path / "single.json")
    assert status == 0, err
    status, dist, err = run_job(dist_evaluate, capsys, *args, "--qrels", tmp_path / "dist.json",
                                "--scheduler", scheduler)
    assert status == 0, err
    table = [line for line in single.splitlines() if line.startswith("  top-")]
    assert len(table) == 3 and table == [line for line in dist.splitlines() if line.startswith("  top-")]
    assert "187 questions (5 without retrieved passages, counted as misses), 666 retrieved passages" in dist
    assert (tmp_path / "single.json").read_bytes() == (tmp_path / "dist.json").read_bytes()
    # The later shard's d0306 ("No answer here.", not Austria's passage) won in both.
    assert json.loads((tmp_path / "dist.json").read_text())["q001"]["d0306"] == 0


def test_sparse_shards_match_single_process(scheduler, tmp_path, capsys):
    docs = sparse_to_jsonl.load_passages(DATA, 120)
    reps, vocab = sparse_to_jsonl.encode([text for _, text in docs])
    docids = [docid for docid, _ in docs]
    shards = tmp_path / "shards"
    assert sparse_to_jsonl.save_shards(shards, docids, reps, vocab, 50) == 3
    np.save(shards / "part-00002.npy", reps[100:].astype(np.float16))  # shards of either precision
    status, out, err = run_job(dist_sparse, capsys, "--shards", shards, "--out", tmp_path / "out",
                               "--scheduler", scheduler)
    assert status == 0, err
    assert "3 shards, 120 passages" in out
    for i, start in enumerate(range(0, 120, 50)):
        reference = tmp_path / f"reference-{i}.jsonl"
        part = np.load(shards / f"part-{i:05d}.npy")
        sparse_to_jsonl.write_jsonl(sparse_to_jsonl.Converter(vocab), docids[start:start + 50], part, reference)
        assert (tmp_path / "out" / f"part-{i:05d}.jsonl").read_bytes() == reference.read_bytes()
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == [f"part-{i:05d}.jsonl" for i in range(3)]


def test_pretokenize_shards_match_single_process(scheduler, tmp_path, capsys):
    records = list(pretokenize.read_records(DATA / "multilingual.tsv"))
    (tmp_path / "texts").mkdir()
    for i in range(3):
        (tmp_path / "texts" / f"part-{i}.jsonl").write_text(
            "".join(json.dumps(r, ensure_ascii=False) + "\n" for r in records[i::3]), encoding="utf-8")
    status, out, err = run_job(dist_pretokenize, capsys, "--corpus", tmp_path / "texts", "--out", tmp_path / "out",
                               "--batch", 5, "--scheduler", scheduler)
    assert status == 0, err
    assert "3 shards, 59 texts" in out
    for i in range(3):
        reference = tmp_path / f"reference-{i}.jsonl"
        pretokenize.write_jsonl(pretokenize.read_records(tmp_path / "texts" / f"part-{i}.jsonl"), reference, 16)
        assert (tmp_path / "out" / f"part-{i}.jsonl").read_bytes() == reference.read_bytes()


def test_pretokenize_parquet_shards_give_the_json_lines_bytes(scheduler, tmp_path, capsys):
    pa = pytest.importorskip("pyarrow")
    import pyarrow.parquet as pq

    records = list(pretokenize.read_records(DATA / "multilingual.tsv"))
    (tmp_path / "texts").mkdir()
    for i in range(3):
        pq.write_table(pa.Table.from_pylist(records[i::3]), tmp_path / "texts" / f"part-{i}.parquet",
                       row_group_size=7)
    status, out, err = run_job(dist_pretokenize, capsys, "--corpus", tmp_path / "texts", "--out", tmp_path / "out",
                               "--scheduler", scheduler)
    assert status == 0, err
    assert "3 shards, 59 texts" in out
    for i in range(3):
        reference = tmp_path / f"reference-{i}.jsonl"
        pretokenize.write_jsonl(records[i::3], reference, 16)
        lines = "".join(pretokenize.parquet_json_lines(tmp_path / "out" / f"part-{i}.parquet"))
        assert lines.encode("utf-8") == reference.read_bytes()


def test_bad_input_fails_naming_file_and_line_or_docid(scheduler, tmp_path, capsys):
    corpus = split_corpus(tmp_path / "corpus")
    qrels = tmp_path / "qrels.json"

    # A docid that the run names and no shard holds.
    run = tmp_path / "run.trec"
    run.write_text("q001 Q0 d0306 1 2.0 t\nq001 Q0 nowhere 2 1.0 t\n")
    status, _, err = run_job(dist_evaluate, capsys, "--corpus", corpus, "--run", run, "--qrels", qrels,
                             "--scheduler", scheduler)
    assert status == 1 and err == f"error: {run}:2: docid nowhere is in no shard of the corpus {corpus}\n"

    # A missing corpus, then a corrupt line in one shard.
    status, _, err = run_job(dist_evaluate, capsys, "--corpus", tmp_path / "gone", "--qrels", qrels,
                             "--scheduler", scheduler)
    assert status == 1 and err == f"error: {tmp_path / 'gone'}: no such file or directory\n"
    with open(corpus / "part-1.jsonl", "a") as f:
        f.write('{"id": "d9999", "text": \n')
    status, _, err = run_job(dist_evaluate, capsys, "--corpus", corpus, "--qrels", qrels, "--scheduler", scheduler)
    assert status == 1 and err.startswith(f"error: {corpus / 'part-1.jsonl'}:223: not valid JSON")
    assert not qrels.exists()

    # A writing job: the corrupt shard is never written, and the job says it did not complete.
    out = tmp_path / "tokens"
    status, _, err = run_job(dist_pretokenize, capsys, "--corpus", corpus, "--out", out, "--scheduler", scheduler)
    assert status == 1 and err.startswith(f"error: {corpus / 'part-1.jsonl'}:223: not valid JSON")
    assert err.endswith(f"\nthe job did not complete: nothing was written to {out}\n")
    assert list(out.iterdir()) == []

    # A sparse shard without its docids.
    shards = tmp_path / "shards"
    sparse_to_jsonl.save_shards(shards, ["a", "b", "c"], np.eye(3, dtype=np.float32), {0: "x", 1: "y", 2: "z"}, 2)
    (shards / "part-00001.ids").unlink()
    status, _, err = run_job(dist_sparse, capsys, "--shards", shards, "--out", tmp_path / "sparse",
                             "--scheduler", scheduler)
    assert status == 1 and err.startswith(f"error: {shards / 'part-00001.ids'}: missing (the docids of part-00001.npy)\n")
    assert not (tmp_path / "sparse").exists()


def test_killed_workers_leave_the_job_complete_and_identical(scheduler, tmp_path, capsys, monkeypatch):
    corpus = split_corpus(tmp_path / "corpus")
    status, _, err = run_job(evaluate_run, capsys, "--corpus", corpus, "--qrels", tmp_path / "single.json")
    assert status == 0, err

    # The first shard task to start kills every worker at once, with no clean-up of any kind (as if the
    # machines went away): every result and every copy of the data the tasks share goes with them.
    with shard_jobs.Client(scheduler) as client:
        workers = set(client.run(os.getpid).values())
    marker = tmp_path / "killed"
    judge_shard = shard_jobs.judge_shard

    def first_attempt_kills_every_worker(path, wanted):
        try:
            os.close(os.open(marker, os.O_CREAT | os.O_EXCL | os.O_WRONLY))
        except FileExistsError:
            return judge_shard(path, wanted)
        for pid in workers:
            if pid != os.getpid():
                os.kill(pid, signal.SIGKILL)
        os._exit(1)

    monkeypatch.setattr(shard_jobs, "judge_shard", first_attempt_kills_every_worker)
    status, _, err = run_job(dist_evaluate, capsys, "--corpus", corpus, "--qrels", tmp_path / "dist.json",
                             "--scheduler", scheduler)
    assert status == 0, err
    assert marker.exists(), "no worker was killed"
    with shard_jobs.Client(scheduler) as client:
        client.wait_for_workers(len(workers), timeout=30)
        assert set(client.run(os.getpid).values()).isdisjoint(workers), "the workers were not all restarted"
    assert (tmp_path / "single.json").read_bytes() == (tmp_path / "dist.json").read_bytes()


@pytest.mark.skipif(not sysconfig.get_config_var("Py_GIL_DISABLED"), reason="only free-threaded clusters go without it")
def test_free_threaded_clusters_run_without_the_frame_sampler(scheduler):
    # (its walks over another thread's frames crash a free-threaded CPython now and then)
    with shard_jobs.Client(scheduler) as client:
        enabled = lambda: shard_jobs.dask.config.get("distributed.worker.profile.enabled")  # noqa: E731
        assert set(client.run(enabled).values()) == {False}
        assert client.run_on_scheduler(enabled) is False


def test_local_cluster_command(tmp_path):
    corpus = split_corpus(tmp_path / "corpus")
    single = subprocess.run([sys.executable, str(EXAMPLES / "evaluate_run.py"), "--corpus", str(corpus)],
                            capture_output=True, text=True, timeout=60)
    proc = subprocess.Popen([sys.executable, str(EXAMPLES / "distributed" / "evaluate_run.py"), "--local", "2",
                             "--corpus", str(corpus)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            start_new_session=True)
    try:
        out, err = proc.communicate(timeout=60)
    finally:
        stop(proc)
    assert proc.returncode == 0, err
    assert "LocalCluster of 2 worker processes x 1 thread (RAYON_NUM_THREADS=1)" in out
    assert "4 shard(s): 667 passages read" in out and "s in all" in out
    table = [line for line in single.stdout.splitlines() if line.startswith("  top-")]
    assert len(table) == 4 and table == [line for line in out.splitlines() if line.startswith("  top-")]
