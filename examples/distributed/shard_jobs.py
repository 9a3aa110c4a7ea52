"""What the three Dask jobs of this folder share: joining or starting a
cluster, waiting for one task per shard, and the per-shard work itself,
which runs on the workers.

The per-shard functions are plain functions over file paths: a worker
opens its own shards, builds its own quarnel objects (they cannot be
pickled, so they never travel), and writes its own output. What they
compute is what the single-process examples compute, through the same
functions of examples/evaluate_run.py, examples/sparse_to_jsonl.py and
examples/pretokenize.py, so the outputs are identical byte for byte.
"""

import argparse
import contextlib
import os
import shutil
import sys
import sysconfig
import tempfile
import time
from pathlib import Path

import numpy as np

import evaluate_run
import pretokenize
import sparse_to_jsonl
from extras import need
import quarnel  # used as quarnel.X: its classes say they live in "builtins", so pickle cannot name them

distributed = need("distributed", "distributed")
dask = need("dask", "distributed")
Client, LocalCluster, progress = distributed.Client, distributed.LocalCluster, distributed.progress

HERE = Path(__file__).resolve().parent
# The modules a remote scheduler and its workers import to run these jobs.
MODULES = [HERE.parent / "extras.py", HERE.parent / "evaluate_run.py", HERE.parent / "sparse_to_jsonl.py",
           HERE.parent / "pretokenize.py", HERE / "shard_jobs.py"]


# ---- on the client ------------------------------------------------------------------------------

def cluster_settings():
    """(Dask configuration, worker environment) for a cluster started here.

    On a free-threaded CPython, Dask's sampling profiler (a thread in every scheduler, nanny and
    worker that walks the frames of the event loop's thread) can crash the process: reading another
    thread's frames is not safe there (a use-after-free in `frame.f_back`, seen on 3.13t). Clusters
    on such an interpreter start without it; it only feeds the dashboard's profile page."""
    if not sysconfig.get_config_var("Py_GIL_DISABLED"):
        return {}, {}
    return ({"distributed.worker.profile.enabled": False},
            {"DASK_DISTRIBUTED__WORKER__PROFILE__ENABLED": "False"})


def add_cluster_options(parser: argparse.ArgumentParser) -> None:
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--local", type=int, metavar="N",
                       help="start a LocalCluster of N worker processes, one thread each")
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="use the running cluster whose scheduler is at ADDRESS (e.g. tcp://host:8786)")


@contextlib.contextmanager
def cluster_client(args):
    """A Client for --local N (a LocalCluster, closed on the way out) or --scheduler ADDRESS."""
    start = time.perf_counter()
    if args.scheduler:
        with Client(args.scheduler) as client:
            # Ship our modules to a cluster that may not see this directory. (Never to a LocalCluster:
            # its scheduler lives in this process, whose modules an upload would reload.)
            for module in MODULES:
                client.upload_file(str(module))
            print(f"connected to {args.scheduler}: {len(client.nthreads())} workers")
            yield client
        return
    if args.local < 1:
        raise SystemExit("error: --local needs at least one worker")
    # One thread per worker process: the Python side of a task (reading, JSON) holds the interpreter
    # lock, so threads would queue for it, while processes do not. quarnel's own pool does the
    # parallel native work inside each process: give each its share of the cores.
    cores = len(os.sched_getaffinity(0))
    threads = os.environ.get("RAYON_NUM_THREADS") or str(max(1, cores // args.local))
    config, env = cluster_settings()
    with dask.config.set(config), \
            LocalCluster(n_workers=args.local, threads_per_worker=1, processes=True, dashboard_address=None,
                         env={"RAYON_NUM_THREADS": threads, **env}) as cluster, Client(cluster) as client:
        print(f"LocalCluster of {args.local} worker processes x 1 thread (RAYON_NUM_THREADS={threads}) "
              f"started in {time.perf_counter() - start:.1f} s")
        yield client


def results(client, futures):
    """The futures' results, in order, with Dask's progress bar on a terminal. On the
    first failure the remaining tasks are cancelled and its exception is raised."""
    try:
        if sys.stdout.isatty():
            progress(futures)
            print()
        return client.gather(futures)
    except BaseException:
        client.cancel(futures)
        raise


def fail(message, *more):
    """Exits with status 1 and the message on stderr (one line, then any further lines)."""
    print(f"error: {message}", *more, sep="\n", file=sys.stderr)
    sys.exit(1)


@contextlib.contextmanager
def staged_output(client, out_dir):
    """A directory inside out_dir for the job's shards. They move into out_dir
    only once every shard is done, so a job that fails (a bad shard, a
    task that raised) leaves out_dir as it was. The staging directory is
    made, published and discarded on a worker: the workers' files may not be visible here."""
    staging = client.submit(make_staging, str(out_dir), pure=False).result()
    try:
        yield staging
    except BaseException:
        with contextlib.suppress(Exception):  # the error being raised matters more than this one
            client.submit(discard, staging, pure=False).result(timeout=60)
        raise
    client.submit(publish, staging, str(out_dir), pure=False).result()


# ---- on the workers -----------------------------------------------------------------------------

def make_staging(out_dir):
    out_dir = Path(out_dir)
    out_dir.mkdir(parents=True, exist_ok=True)
    return tempfile.mkdtemp(prefix=".unfinished-", dir=out_dir)


def publish(staging, out_dir):
    for shard in sorted(Path(staging).iterdir()):
        os.replace(shard, Path(out_dir) / shard.name)
    Path(staging).rmdir()


def discard(staging):
    # A task still running when the job failed finds its directory gone and fails too.
    shutil.rmtree(staging, ignore_errors=True)


def held(value):
    """Returns `value`: as a task, it holds data that every shard task shares. The cluster copies
    its result from worker to worker as tasks need it, and the scheduler, which keeps the task,
    makes it again if every worker holding it dies. (Scattered data would be lost for good then,
    and with it the job: Dask keeps no copy of it, and its memory manager leaves one replica of
    data no waiting task needs, even after `broadcast=True`.)"""
    return value


def list_corpus(path):
    """The corpus shards as this worker sees them (file or directory)."""
    return [str(p) for p in evaluate_run.corpus_files(path)]


def judge_shard(path, wanted):
    """Reads one corpus shard and judges the passages the run retrieved from
    it against the questions that retrieved them. `wanted` is (docid ->
    the qids that retrieved it, space-separated; qid -> answers). Returns the docids found here, the (qid, docid)
    pairs judged relevant (every other pair of a found docid is not), and counts."""
    retrieved_by, answers = wanted
    passages, lines = {}, 0
    for number, record in evaluate_run.read_jsonl(path):
        docid, text = evaluate_run.passage(record, path, number)
        lines += 1
        if docid in retrieved_by:
            passages[docid] = text  # a later line with the same docid wins, as in evaluate_run.py
    docids = list(passages)
    counts = {"lines": lines, "passages": len(docids), "tokens": 0}
    if not docids:
        return docids, [], counts
    tokens = quarnel.RegexTokenizer().batch_tokenize([passages[d] for d in docids])
    counts["tokens"] = sum(map(len, tokens))
    annotator = quarnel.QAAnnotator(dict(zip(docids, tokens)))  # one annotator per shard, over its passages only
    del passages, tokens
    run = {}
    for docid in docids:
        for qid in retrieved_by[docid].split():
            run.setdefault(qid, []).append(docid)
    qrels = annotator.annotate(run, {qid: answers[qid] for qid in run})
    relevant = [(qid, docid) for qid, labels in qrels.items() for docid, label in labels.items() if label]
    return docids, relevant, counts


def list_sparse_shards(directory):
    """The .npy shards of a directory, each with its .ids file, as this worker sees them."""
    directory = Path(directory)
    if not directory.is_dir():
        raise FileNotFoundError(f"{directory}: no such directory")
    shards = sorted(p for p in directory.iterdir() if p.suffix == ".npy")
    ids = {p.with_suffix(".npy") for p in directory.iterdir() if p.suffix == ".ids"}
    if not shards:
        raise FileNotFoundError(f"{directory}: no *.npy shards in this directory")
    for shard in shards:
        if shard not in ids:
            raise FileNotFoundError(f"{shard.with_suffix('.ids')}: missing (the docids of {shard.name})")
    for orphan in sorted(ids - set(shards)):
        raise FileNotFoundError(f"{orphan}: missing (the shard of {orphan.with_suffix('.ids').name})")
    return [str(p) for p in shards]


def convert_shard(npy, vocab_path, staging, quantization_factor):
    """One memory-mapped [passages, vocab] shard and its docids to a JSON-lines shard in the
    job's staging directory, as examples/sparse_to_jsonl.py writes it. Returns its counts."""
    npy = Path(npy)
    reps = np.load(npy, mmap_mode="r")
    if reps.ndim != 2 or reps.dtype not in (np.float32, np.float16):
        raise ValueError(f"{npy}: expected a 2-D float32 or float16 array, found {reps.dtype} {reps.shape}")
    ids_path = npy.with_suffix(".ids")
    docids = ids_path.read_text(encoding="utf-8").splitlines()
    if len(docids) != reps.shape[0]:
        raise ValueError(f"{ids_path}: {len(docids)} docids for the {reps.shape[0]} rows of {npy.name}")
    vocab = sparse_to_jsonl.read_vocab(vocab_path)
    if len(vocab) != reps.shape[1]:
        raise ValueError(f"{npy}: {reps.shape[1]} columns, but {vocab_path} has {len(vocab)} tokens")
    converter = quarnel.Converter(vocab)  # per shard: a Converter cannot travel between processes
    return sparse_to_jsonl.write_jsonl(converter, docids, reps, Path(staging) / f"{npy.stem}.jsonl",
                                       quantization_factor)


def list_text_shards(path):
    """The shards of texts to pre-tokenize as this worker sees them: a directory's *.parquet
    when it holds any (or one .parquet file), else its JSON-lines shards."""
    path = Path(path)
    if path.suffix == ".parquet" and path.is_file():
        return [str(path)]
    if path.is_dir():
        parquet = sorted(p for p in path.iterdir() if p.suffix == ".parquet" and p.is_file())
        if parquet:
            return [str(p) for p in parquet]
    return list_corpus(path)


def pretokenize_shard(path, staging, batch):
    """One shard of texts to a shard of the same records with their tokens, in the job's staging
    directory, as examples/pretokenize.py writes it: JSON lines to JSON lines, or Parquet to
    Parquet (a "tokens" column added, through quarnel.columnar). Returns the number of records."""
    path = Path(path)
    if path.suffix == ".parquet":
        return pretokenize.write_parquet(path, Path(staging) / path.name)
    tokenizer = pretokenize.stopword_tokenizer()  # per shard: an ICUWordPreTokenizer cannot travel
    lines = 0
    with open(Path(staging) / f"{path.stem}.jsonl", "w", encoding="utf-8") as f:
        for line in pretokenize.pretokenized_lines(pretokenize.read_records(path), tokenizer, batch):
            f.write(line)
            lines += 1
    return lines
