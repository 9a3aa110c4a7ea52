"""Checks of the benchmarks' own machinery: the workload generators, the
pure-Python ways (they must label exactly like the sliding window), the
timing helper and the native benchmarks' input formats.

Run: python3 -m pytest bench/tests
"""

import gc
import itertools
import json
import random
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

BENCH = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(BENCH))

import _common  # noqa: E402
import bench_converter as conv_bench  # noqa: E402
import bench_qa_annotator as qa_bench  # noqa: E402
import bench_regex_tokenizer as tok_bench  # noqa: E402

# ------------------------------------------------------------ tokenizing


def test_py_tokenize_normalizes_splits_and_lowercases():
    assert _common.py_tokenize("Hello, World! 3.14") == ["hello", ",", "world", "!", "3", ".", "14"]
    # NFD: the accent becomes a combining mark inside the word token.
    assert _common.py_tokenize("Été") == ["e\u0301te\u0301"]
    # Separators and control characters are dropped, other symbols kept one by one.
    assert _common.py_tokenize("a\u00a0\tb\x00c 😀😀") == ["a", "b", "c", "😀", "😀"]


# ----------------------------------------------------------- generators


def test_english_passages_are_deterministic_sized_and_single_line():
    a = tok_bench.english_passages(300, seed=7)
    assert a == tok_bench.english_passages(300, seed=7)
    assert a != tok_bench.english_passages(300, seed=8)
    for p in a:
        assert "\n" not in p and "\r" not in p
        assert 480 <= len(p) <= 550, len(p)
    text = " ".join(a)
    for needle in (",", ".", "'", "(", '"'):
        assert needle in text
    assert any(c.isdigit() for c in text)


def test_multilingual_passages_reach_the_size_and_mix_scripts():
    passages = tok_bench.multilingual_passages(200_000, seed=3)
    size = sum(len(p.encode("utf-8")) for p in passages)
    assert 200_000 <= size < 200_000 + 2_000
    assert all("\n" not in p for p in passages)
    text = "".join(passages)
    for sample in ("é", "ß", "ñ", "α", "ж", "ل", "。", "😀"):
        assert any(ch in text for ch in sample), sample


def test_workload_plants_answers_in_a_realistic_share():
    corpus, _, counts, retrieved, answers = qa_bench.make_workload(200, 3000, seed=5)
    assert sum(map(len, corpus.values())) == counts.sum()
    assert all(100 <= len(doc) <= 130 for doc in corpus.values())
    assert all(len(docids) == 100 == len(set(docids)) for docids in retrieved.values())
    assert all(1 <= len(a) <= 5 for a in answers.values())
    qrels = qa_bench.annotate_joined(retrieved, answers, corpus)
    summary = qa_bench.qrels_summary(qrels, retrieved)
    assert 0.2 <= summary["top1"] <= 0.5
    assert 0.7 <= summary["any"] <= 0.95
    # Same seed, same workload.
    again = qa_bench.make_workload(200, 3000, seed=5)
    assert again[3] == retrieved and again[4] == answers and again[0] == corpus


def test_corpus_tokens_are_shared_str_objects():
    corpus, vocab, _ = qa_bench.make_corpus(200, seed=1)
    by_value = {}
    for doc in corpus.values():
        for token in doc:
            assert by_value.setdefault(token, token) is token
    assert set(by_value) <= set(vocab)


# ------------------------------------------------------ pure-Python ways

ALL_WAYS = [qa_bench.annotate_window, *qa_bench.FAST_VARIANTS.values()]


def _run_all(retrieved, answers, corpus):
    results = [way(retrieved, answers, corpus) for way in ALL_WAYS]
    for r in results[1:]:
        assert r == results[0]
    return results[0]


def test_ways_agree_on_edge_cases():
    corpus = {
        "start": ["x", "y", "z"],
        "end": ["z", "x", "y"],
        "whole": ["x", "y"],
        "short": ["x"],
        "empty": [],
        "repeated_prefix": ["x", "x", "x", "y"],
        "prefix_tokens": ["xy", "x", "yz"],
        "split_run": ["x", "z", "y"],
        "empty_token": ["x", "", "y"],
    }
    ids = list(corpus)
    got = _run_all({"q": ids}, {"q": ["X Y"]}, corpus)["q"]
    assert got == {"start": 1, "end": 1, "whole": 1, "short": 0, "empty": 0, "repeated_prefix": 1,
                   "prefix_tokens": 0, "split_run": 0, "empty_token": 0}
    # A one-token answer, and an answer that tokenizes to nothing (found everywhere).
    assert _run_all({"q": ids}, {"q": ["yz"]}, corpus)["q"] == {i: int(i == "prefix_tokens") for i in ids}
    assert _run_all({"q": ids}, {"q": ["nope", " "]}, corpus)["q"] == dict.fromkeys(ids, 1)
    # Any of several answers; punctuation is a token of its own.
    corpus["punct"] = ["st", ".", "louis"]
    assert _run_all({"q": ["punct", "short"]}, {"q": ["Paris", "St. Louis"]}, corpus)["q"] == {
        "punct": 1, "short": 0}


def test_ways_agree_with_the_window_on_random_cases():
    rng = random.Random(11)
    alphabet = ["a", "b", "ab", "."]
    corpus = {str(i): rng.choices(alphabet, k=rng.randint(0, 12)) for i in range(300)}
    retrieved, answers = {}, {}
    for q in range(60):
        retrieved[f"q{q}"] = rng.sample(list(corpus), 20)
        answers[f"q{q}"] = [" ".join(rng.choices(alphabet, k=rng.randint(1, 4))) for _ in range(rng.randint(1, 3))]
    qrels = _run_all(retrieved, answers, corpus)
    assert 0 < sum(sum(v.values()) for v in qrels.values()) < 60 * 20


def test_missing_document_raises_in_every_way():
    for way in ALL_WAYS:
        with pytest.raises(KeyError):
            way({"q": ["absent"]}, {"q": ["a"]}, {"d": ["a"]})


# The pure-Python peer forks; this test process already runs the module's
# pool threads, asleep between calls (CPython 3.12+ warns all the same).
@pytest.mark.filterwarnings("ignore:This process .* is multi-threaded:DeprecationWarning")
def test_pool_way_matches_one_process_and_reports_its_phases():
    corpus, _, _, retrieved, answers = qa_bench.make_workload(40, 500, seed=2)
    timings = {}
    pooled = qa_bench.annotate_window_pool(retrieved, answers, corpus, 2, chunk=7, timings=timings)
    assert pooled == qa_bench.annotate_window(retrieved, answers, corpus)
    assert set(timings) == {"start", "work", "stop"} and all(t >= 0 for t in timings.values())
    assert not qa_bench._SHARED  # nothing kept alive after the run


def test_first_difference_names_the_label():
    a = {"q": {"d1": 1, "d2": 0}}
    assert qa_bench.first_difference(a, {"q": {"d1": 1, "d2": 1}}) == "question q, document d2: 0 vs 1"
    assert "missing" in qa_bench.first_difference(a, {})
    assert qa_bench.first_difference(a, a) == "none"


# ---------------------------------------------------------------- timing


def test_interleaved_spreads_runs_keeps_last_result_and_restores_gc():
    order = []
    counter = itertools.count()

    def make(name):
        def fn():
            order.append(name)
            return next(counter)
        return fn

    gc.enable()
    out = _common.interleaved([("a", make("a"), 4), ("b", make("b"), 2)], verbose=False)
    assert gc.isenabled()
    assert order.count("a") == 4 and order.count("b") == 2
    assert order[:3] == ["a", "b", "a"] and order[-1] == "a"  # b's runs sit between a's
    assert out["a"][2] == max(i for i, n in enumerate(order) if n == "a")
    assert out["a"][0] == min(out["a"][1]) and len(out["b"][1]) == 2


def test_rss_is_plausible_and_sees_allocations():
    before = _common.rss_bytes()
    block = bytearray(64 << 20)
    block[:: 4096] = b"x" * len(block[:: 4096])  # touch every page
    assert _common.rss_bytes() - before >= 60 << 20
    del block


def test_load_reports_other_processes_only_for_long_enough_regions():
    with _common.Load() as quick:
        pass
    assert quick.others is None
    own0, start = _common.Load._own(), _common.time.perf_counter()
    with _common.Load() as busy_here:
        end = _common.time.perf_counter() + _common.Load.MIN_WALL + 0.05
        while _common.time.perf_counter() < end:
            pass
    own = (_common.Load._own() - own0) / (_common.time.perf_counter() - start)
    # CPUs, not clock ticks; our own spinning is not counted as others' work,
    # which can still take every other CPU and, on an overcommitted virtual
    # machine, the time stolen from our spinning too (/proc/stat's steal).
    assert busy_here.others is not None
    assert 0.0 <= busy_here.others <= _common.os.cpu_count() - own + 0.1


def test_background_note_verdicts():
    assert "both quiet" in _common.background_note(0.0, 0.1)
    assert "rough" in _common.background_note(0.9, 0.0)
    assert "too short" in _common.background_note(None, 0.0)


def test_ratio_line_states_whether_the_target_is_met():
    assert _common.ratio_line("x", 1.0, 8.0, 4).rstrip().endswith("(target >= 4x: met)")
    assert "NOT met" in _common.ratio_line("x", 1.0, 3.0, 4)
    assert "8.00x" in _common.ratio_line("x", 0.5, 4.0)


def test_missing_native_benchmark_without_building_is_none(tmp_path):
    assert _common.native_binary("bench_tokenize", str(tmp_path), build=False) is None


def test_memory_child_sees_the_native_corpus():
    pytest.importorskip("quarnel")
    r = subprocess.run([sys.executable, str(BENCH / "bench_qa_annotator.py"), "--memory-child", "20000", "--seed", "3"],
                       capture_output=True, text=True, timeout=300)
    assert r.returncode == 0, r.stderr[-3000:]
    report = json.loads(r.stdout.strip().splitlines()[-1])
    assert report["docs"] == 20_000 and 100 * 20_000 <= report["tokens"] <= 130 * 20_000
    grown = report["after"] - report["before"]
    # At least the token bytes and 4-byte offsets must have become resident.
    assert grown >= report["token_bytes"] + 4 * report["tokens"]
    assert report["build_s"] > 0


def test_check_same_tokens_stops_on_a_difference():
    class Shouting:
        def tokenize(self, text):
            return [t.upper() for t in _common.py_tokenize(text)]

        def batch_tokenize(self, texts):
            return [self.tokenize(t) for t in texts]

    passages = tok_bench.english_passages(5, seed=1)
    with pytest.raises(SystemExit, match="token mismatch"):
        tok_bench.check_same_tokens(Shouting(), passages, sample=5, seed=0)


def _smoke(script, *args):
    pytest.importorskip("quarnel")
    r = subprocess.run([sys.executable, str(BENCH / script), *args], capture_output=True, text=True, timeout=300)
    assert r.returncode == 0, r.stderr[-3000:]
    return r.stdout


def test_tokenizer_script_runs_end_to_end():
    out = _smoke("bench_regex_tokenizer.py", "--passages", "200", "--multilingual-mb", "0.05", "--repeat", "1",
                 "--py-repeat", "1", "--rounds", "1", "--sample", "50", "--skip-native")
    for needle in ("== English: 200 passages", "== Multilingual:", "tokenize vs pure Python",
                   "batch_tokenize vs pure Python per passage", "batch_tokenize time / split floor time",
                   "native batch scaling: skipped"):
        assert needle in out


def test_qa_script_runs_end_to_end():
    out = _smoke("bench_qa_annotator.py", "--questions", "20", "--docs", "500", "--memory-docs", "1000",
                 "--repeat", "1", "--py-repeat", "1", "--slow-repeat", "1", "--skip-native")
    for needle in ("20 questions, 2,000 (question, passage) pairs", "all ways below gave identical qrels",
                   "annotate vs (a) one process", "annotate vs (b)", "annotate over empty documents",
                   "native annotate scaling: skipped", "M tokens/s", "budget (token bytes"):
        assert needle in out


def test_converter_script_runs_end_to_end():
    out = _smoke("bench_converter.py", "--quick", "--rows", "4", "--skip-dense", "--skip-scaling")
    for needle in ("sparse float32: 4 rows", "sparse float16: 4 rows", "sparse float32, vocabulary keys: 4 rows",
                   "floor: dicts from ready keys vs the NumPy way", "JSON time / reps.sum() time",
                   "pseudo text vs the NumPy way"):
        assert needle in out


def test_converter_vocabulary_is_unique_and_mixed():
    vocab = conv_bench.vocabulary(3000, seed=1)
    assert list(vocab) == list(range(3000)) and len(set(vocab.values())) == 3000
    assert vocab == conv_bench.vocabulary(3000, seed=1)
    assert 0.01 < sum(not t.isascii() for t in vocab.values()) / 3000 < 0.1
    assert any(t.startswith("##") for t in vocab.values())


# ------------------------------------------------ native benchmark inputs


def _native(target):
    exe = _common.bench_build_dir() / target
    if not exe.is_file():
        pytest.skip(f"{exe} not built (configure with -DQUARNEL_BENCH=ON)")
    return exe


def test_bench_annotate_reads_the_workload_file(tmp_path):
    exe = _native("bench_annotate")
    corpus, _, _, retrieved, answers = qa_bench.make_workload(30, 400, seed=4)
    path = tmp_path / "w.tsv"
    qa_bench.write_native_input(path, corpus, retrieved, answers)
    qrels = qa_bench.annotate_window(retrieved, answers, corpus)
    report = _common.run_native(exe, [path, "--repeat", 1, "--non-optim-repeat", 1], 1)
    assert report["documents"] == len(corpus)
    assert report["corpus_tokens"] == sum(map(len, corpus.values()))
    assert report["pairs"] == 30 * 100
    assert report["positives"] == sum(sum(v.values()) for v in qrels.values())


def test_write_native_input_refuses_what_the_format_cannot_carry(tmp_path):
    path = tmp_path / "w.tsv"
    ok = ({"d": ["a"]}, {"q": ["d"]}, {"q": ["a b"]})
    qa_bench.write_native_input(path, *ok)
    assert path.read_text().splitlines() == ["D\td\ta", "Q\tq\td", "A\tq\ta b"]
    for corpus, retrieved, answers in [
        ({"d": ["a"]}, {"q": ["d"]}, {"q": ["a\tb"]}),  # tab in an answer
        ({"d": ["a", ""]}, {"q": ["d"]}, {"q": ["a"]}),  # empty token
        ({"d": ["a b"]}, {"q": ["d"]}, {"q": ["a"]}),  # space in a token
        ({"d 1": ["a"]}, {"q": ["d 1"]}, {"q": ["a"]}),  # space in a document id
        ({"d": ["a"]}, {"q\t1": ["d"]}, {"q\t1": ["a"]}),  # tab in a question id
    ]:
        with pytest.raises(ValueError):
            qa_bench.write_native_input(path, corpus, retrieved, answers)


def test_bench_tokenize_counts_the_same_tokens(tmp_path):
    exe = _native("bench_tokenize")
    passages = tok_bench.multilingual_passages(20_000, seed=9) + tok_bench.english_passages(20, seed=9)
    path = tmp_path / "t.txt"
    path.write_text("".join(p + "\n" for p in passages), encoding="utf-8")
    per_passage = sum(len(_common.py_tokenize(p)) for p in passages)
    batch = _common.run_native(exe, [path, "--mode", "batch", "--repeat", 1], 2)
    single = _common.run_native(exe, [path, "--mode", "single", "--repeat", 1], 1)
    engine = _common.run_native(exe, [path, "--mode", "single", "--repeat", 1, "--engine"], 1)
    assert batch["texts"] == len(passages) and batch["threads"] == 2
    assert batch["tokens"] == per_passage == single["tokens"] == engine["tokens"] and engine["engine"]
    assert batch["bytes"] == sum(len(p.encode("utf-8")) for p in passages)


def test_bench_annotate_handles_spaces_empty_retrievals_and_missing_documents(tmp_path):
    exe = _native("bench_annotate")
    corpus = {"d1": ["st", ".", "louis", "is", "here"], "d2": ["louis"], "d3": []}
    retrieved = {"q1": ["d1", "d2", "d3"], "q2": [], "q3": ["d2"]}
    answers = {"q1": ["St. Louis", "nowhere"], "q2": ["x"], "q3": ["Louis", "is"]}
    path = tmp_path / "w.tsv"
    qa_bench.write_native_input(path, corpus, retrieved, answers)
    report = _common.run_native(exe, [path, "--repeat", 2], 2)
    assert (report["documents"], report["questions"], report["pairs"]) == (3, 3, 4)
    assert report["positives"] == 2  # q1/d1 and q3/d2

    retrieved["q3"] = ["d4"]
    qa_bench.write_native_input(path, corpus, retrieved, answers)
    with pytest.raises(RuntimeError, match="Missing tokenized corpus for docid: d4"):
        _common.run_native(exe, [path], 1)


def test_native_benchmarks_reject_bad_arguments(tmp_path):
    exe = _native("bench_tokenize")
    r = subprocess.run([str(exe), str(tmp_path / "missing.txt")], capture_output=True, text=True)
    assert r.returncode == 2 and "cannot open" in r.stderr
    threads = json.loads(subprocess.run([str(exe), "--print-threads"], capture_output=True, text=True).stdout)
    assert threads["threads"] >= 1


# ------------------------------------------------ word pre-tokenization


def test_icu_bench_pure_python_way_and_native_counts(tmp_path):
    pytest.importorskip("icu")
    quarnel = pytest.importorskip("quarnel")
    if not hasattr(quarnel, "ICUWordPreTokenizer"):
        pytest.skip("quarnel built without ICUWordPreTokenizer")
    import bench_icu_word_pre_tokenizer as icu_bench

    passages = icu_bench.multilingual_passages(60_000, seed=3)
    assert 60_000 <= sum(len(p.encode()) for _, p in passages) < 61_000
    assert len({lang for lang, _ in passages}) >= 8
    texts = [p for _, p in passages] + ["  Tab\tjoined \u00a0ΟΔΟΣ\x00 ", "", "\u3000"]
    py_pretokenize, prepare = icu_bench.make_py_pretokenize()
    tok = quarnel.ICUWordPreTokenizer()
    assert [py_pretokenize(t) for t in texts] == tok.batch_tokenize(texts)

    exe = _native("bench_icu_boundaries")
    raw, prepared = tmp_path / "raw.txt", tmp_path / "prepared.txt"
    body = [p for _, p in passages]
    raw.write_text("\n".join(body) + "\n", encoding="utf-8")
    prepared.write_text("\n".join(map(prepare, body)) + "\n", encoding="utf-8")
    tokens = _common.run_native(exe, [raw, "--mode", "tokenize", "--repeat", 1], None)
    assert tokens["count"] == sum(map(len, tok.batch_tokenize(body)))
    boundaries = _common.run_native(exe, [prepared, "--mode", "boundaries", "--repeat", 1], None)
    utf8 = _common.run_native(exe, [prepared, "--mode", "utf8", "--repeat", 1], None)
    assert boundaries["count"] >= tokens["count"] and utf8["count"] >= tokens["count"]


def test_bench_convert_reads_the_matrix_file(tmp_path):
    quarnel = pytest.importorskip("quarnel")
    exe = _native("bench_convert")
    reps = conv_bench.sparse_batch(6, 400, seed=2)
    reps[2] = 0  # a placeholder row
    vocab = {i: f"t{i}" for i in range(400)}
    conv = quarnel.Converter(vocab)
    for matrix in (reps, reps.astype(np.float16)):
        path = tmp_path / "reps.bin"
        conv_bench.write_native_input(path, matrix)
        half = matrix.dtype == np.float16
        method = conv.convert_sparse_reps_to_json_f16 if half else conv.convert_sparse_reps_to_json_f32
        entries = sum(map(len, method(matrix)))
        report = _common.run_native(exe, [path, "--repeat", 2], 2)
        assert (report["rows"], report["cols"], report["entries"], report["threads"]) == (6, 400, entries, 2)
        conv_bench.write_native_vocab(tmp_path / "vocab.txt", vocab)
        assert _common.run_native(exe, [path, "--vocab", tmp_path / "vocab.txt"], 1)["entries"] == entries
        del vocab[399]
        conv_bench.write_native_vocab(tmp_path / "vocab.txt", vocab)
        vocab[399] = "t399"
        if matrix[:, 399].any():
            with pytest.raises(RuntimeError, match="Token id 399 not found"):
                _common.run_native(exe, [path, "--vocab", tmp_path / "vocab.txt"], 1)
