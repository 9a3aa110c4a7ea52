"""quarnel.columnar: the classes' work over Arrow columns, against the list
API on the same data; every input layout and chunking; the errors; and the
release callbacks of what is handed out, each run exactly once (the
sanitizer run checks the memory behind them)."""
import ctypes
import gc
import json
import mmap
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

pa = pytest.importorskip("pyarrow")

import arrow_c  # noqa: E402  (needs pyarrow)
import quarnel  # noqa: E402
from quarnel import columnar  # noqa: E402
from test_icu_word_pre_tokenizer import _differential_texts  # noqa: E402

DATA = Path(__file__).resolve().parents[2] / "examples" / "data"
TOK = quarnel.RegexTokenizer()
ICU = quarnel.ICUWordPreTokenizer(frozenset({"the", ","}))
LAYOUTS = [pa.string(), pa.large_string(), pa.string_view()]


@pytest.fixture(autouse=True)
def nothing_left_unreleased():
    """Every structure handed out during a test is released by its end."""
    gc.collect()
    before = columnar._live_exports()
    yield
    gc.collect()
    assert columnar._live_exports() == before


def corpus_texts():
    return [json.loads(line)["text"] for line in (DATA / "corpus.jsonl").read_text().splitlines()]


def as_lists(result):
    return (pa.chunked_array(result) if isinstance(result, columnar.ChunkedColumn) else pa.array(result)).to_pylist()


def test_import_quarnel_is_unchanged_and_the_submodule_comes_on_request():
    code = ("import sys, quarnel; assert 'quarnel.columnar' not in sys.modules; "
            "assert quarnel.__all__ == ['Converter', 'RegexTokenizer', 'QAAnnotator', 'ICUWordPreTokenizer']; "
            "from quarnel import columnar; import quarnel.columnar as c; assert c is columnar is quarnel.columnar; "
            "print(sorted(n for n in dir(columnar) if not n.startswith('__')))")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert out.strip() == str(["ChunkedColumn", "Column", "_live_exports", "annotate", "annotator", "pre_tokenize",
                               "sparse_to_maps", "sparse_to_pseudo_text", "tokenize"])
    with pytest.raises(TypeError):
        columnar.Column()


@pytest.mark.parametrize("layout", LAYOUTS, ids=str)
def test_same_tokens_as_the_batch_calls_on_the_differential_corpora(layout):
    texts = corpus_texts() + list(_differential_texts())
    column = pa.array(texts, type=layout)
    assert as_lists(columnar.tokenize(TOK, column)) == TOK.batch_tokenize(texts)
    for remove_stopwords, lowercase in ((False, True), (True, False)):
        assert (as_lists(columnar.pre_tokenize(ICU, column, remove_stopwords=remove_stopwords, lowercase=lowercase))
                == ICU.batch_tokenize(texts, remove_stopwords, lowercase))


@pytest.mark.parametrize("layout", LAYOUTS, ids=str)
def test_slices_chunks_nulls_and_empty_inputs(layout):
    texts = ["Hello, World!", None, "", "Caf\u00e9 \u039f\u0394\u039f\u03a3", None, "a string of more than twelve bytes"]
    expected = [None if t is None else TOK.tokenize(t) for t in texts]
    column = pa.array(texts, type=layout)
    result = columnar.tokenize(TOK, column)
    assert isinstance(result, columnar.Column) and len(result) == 6 and as_lists(result) == expected
    assert as_lists(columnar.tokenize(TOK, column.slice(1, 4))) == expected[1:5]
    chunked = pa.chunked_array([column.slice(0, 2), column.slice(2, 0), column.slice(2)], type=layout)
    result = columnar.tokenize(TOK, chunked)
    assert isinstance(result, columnar.ChunkedColumn) and result.num_chunks == 3
    assert [len(c) for c in pa.chunked_array(result).chunks] == [2, 0, 4]
    assert as_lists(result) == expected
    assert as_lists(columnar.pre_tokenize(ICU, chunked)) == [None if t is None else ICU.tokenize(t) for t in texts]
    assert as_lists(columnar.tokenize(TOK, pa.array([], type=layout))) == []
    assert as_lists(columnar.tokenize(TOK, pa.array([None] * 3, type=layout))) == [None] * 3
    empty_stream = columnar.tokenize(TOK, pa.chunked_array([], type=layout))
    assert len(empty_stream) == 0 and pa.chunked_array(empty_stream).type == pa.large_list(pa.string())


def test_string_views_inline_and_out_of_line_from_several_buffers():
    short, long = "Tiny words", "A passage long enough to live out of line, in a data buffer"
    parts = [pa.array([short, long] * 50, type=pa.string_view()) for _ in range(3)]
    column = pa.concat_arrays(parts)  # views into three data buffers
    assert column.buffers()[3] is not None and len(column.buffers()) > 4
    assert as_lists(columnar.tokenize(TOK, column.slice(3))) == TOK.batch_tokenize(([short, long] * 150)[3:])


def test_large_offsets_past_2_31():
    # A large_utf8 array whose texts start past 2 GiB of (never touched) data.
    start = 2**31 + 100
    data = mmap.mmap(-1, start + 64)
    data[start:start + 23] = b"Far away. Still reached"
    offsets = np.array([start, start + 9, start + 23], dtype=np.int64)
    column = pa.Array.from_buffers(pa.large_string(), 2, [None, pa.py_buffer(offsets), pa.py_buffer(data)])
    assert as_lists(columnar.tokenize(TOK, column)) == [["far", "away", "."], ["still", "reached"]]
    del column
    data.close()


def test_pyarrow_takes_our_buffers_over_without_copying():
    result = columnar.tokenize(TOK, pa.array(["No copy of these strings, please."]))
    schema, array = arrow_c.take_array(result)
    child = array.children[0].contents
    ours = [child.buffers[i] for i in (1, 2)]  # the token offsets and bytes
    arrow_c.release(schema)
    taken = pa.Array._import_from_c(ctypes.addressof(array), pa.large_list(pa.string()))
    assert [b.address for b in taken.values.buffers()[1:]] == ours
    assert taken.to_pylist() == [TOK.tokenize("No copy of these strings, please.")]


def test_polars_and_duckdb_read_the_results():
    pl = pytest.importorskip("polars")
    texts = ["One text.", None, "Two texts!", "Words longer than twelve bytes: incomprehensibilities"]
    series = pl.Series(columnar.tokenize(TOK, pa.array(texts)))
    assert series.to_list() == [None if t is None else TOK.tokenize(t) for t in texts]
    views = columnar.tokenize(TOK, pa.array(texts), string_view=True)
    assert pa.array(views).type == pa.large_list(pa.string_view())
    assert pl.Series(views).to_list() == series.to_list() == pa.array(views).to_pylist()
    assert pa.chunked_array(columnar.pre_tokenize(ICU, pl.Series(texts), string_view=True)).to_pylist() == [
        None if t is None else ICU.tokenize(t) for t in texts]
    # A Polars column in (a stream of views), Polars out.
    assert pl.Series(columnar.tokenize(TOK, pl.Series(texts))).to_list() == series.to_list()
    duckdb = pytest.importorskip("duckdb")
    tokens = pa.table({"tokens": pa.array(columnar.tokenize(TOK, pa.array(texts)))})
    assert duckdb.sql("select len(tokens) as n from tokens").fetchall() == [(3,), (None,), (3,), (len(TOK.tokenize(texts[3])),)]


def test_wrong_inputs_name_what_they_got():
    cases = [(pa.array([1, 2]), "got int64"), (pa.array([b"x"]), "got binary"),
             (pa.array(["a"]).dictionary_encode(), "got dictionary<int32, utf8>"),
             (pa.array([["a"]]), "got list<utf8>"), (["a list"], "'list' object")]
    for value, message in cases:
        with pytest.raises(TypeError, match=f"argument 'texts': .*{message}"):
            columnar.tokenize(TOK, value)
    with pytest.raises(TypeError, match="^argument 'tokenizer': "):
        columnar.tokenize(ICU, pa.array(["a"]))
    with pytest.raises(TypeError, match="^argument 'tokens': "):
        columnar.annotator(pa.array(["d"]), pa.array(["a"]))


@pytest.mark.parametrize("bad", [b"ab\xffcd", b"\xed\xa0\x80", b"\xc0\xaf", b"caf\xc3"])
def test_invalid_utf8_raises_what_the_interpreter_raises_for_it(bad):
    column = pa.Array.from_buffers(pa.string(), 3, [None, pa.py_buffer(np.array([0, 2, 2 + len(bad), 4 + len(bad)],
                                                                                 dtype=np.int32)),
                                                    pa.py_buffer(b"ok" + bad + b"ok")])
    with pytest.raises(UnicodeDecodeError) as raised:
        bad.decode("utf-8")
    for call in (lambda: columnar.tokenize(TOK, column), lambda: columnar.pre_tokenize(ICU, column)):
        with pytest.raises(UnicodeDecodeError) as got:
            call()
        assert str(got.value) == str(raised.value) and got.value.__notes__ == ["in row 1 of texts"]


def test_a_stream_that_fails_gives_a_clean_exception():
    stream = arrow_c.FailingStream([pa.array(["a b"]), pa.array(["c"])], fail_at=1, errno=5,
                                   message=b"disk on fire")
    with pytest.raises(OSError, match="disk on fire") as raised:
        columnar.tokenize(TOK, stream)
    assert raised.value.errno == 5 and stream.released == 1
    ok = arrow_c.FailingStream([pa.array(["a b"]), pa.array(["c"], type=pa.string())], fail_at=None)
    assert as_lists(columnar.tokenize(TOK, ok)) == [["a", "b"], ["c"]] and ok.released == 1


def test_results_outlive_their_producers_and_release_once():
    tok = quarnel.RegexTokenizer(lowercase=False)
    source = pa.array(["Kept after all", None])
    result = columnar.tokenize(tok, source)
    array = pa.array(result)
    del tok, source, result
    gc.collect()
    assert array.to_pylist() == [["Kept", "after", "all"], None]
    assert columnar._live_exports() > 0  # pyarrow holds the exported array
    del array


def test_consumers_that_fail_or_stop_part_way_release_everything():
    result = columnar.tokenize(TOK, pa.chunked_array([["a b", "c"], ["d"], ["e f g"]]))
    # Capsules dropped unread, and a stream read to its first array only.
    result.__arrow_c_schema__(), result.__arrow_c_stream__()
    first = arrow_c.first_of_stream(result)
    assert first.length == 2
    arrow_c.release(first)
    # A consumer that takes the structures, then refuses them.
    single = columnar.tokenize(TOK, pa.array(["x y"]))
    with pytest.raises(pa.ArrowInvalid, match="non-struct"):
        pa.record_batch(single)
    # A consumer that moves the child out, releases the parent, then the child.
    schema, array = arrow_c.take_array(single)
    child = arrow_c.ArrowArray.from_buffer_copy(array.children[0].contents)
    array.children[0].contents.release = arrow_c.ARRAY_RELEASE()
    arrow_c.release(array)
    assert arrow_c.strings_of(child, pa.string()) == ["x", "y"]
    arrow_c.release(schema)


def test_qa_annotator_from_columns_and_a_run_judged_as_columns():
    docs = [json.loads(line) for line in (DATA / "corpus.jsonl").read_text().splitlines()]
    docids = pa.array([d["id"] for d in docs])
    tokens = pa.array(columnar.tokenize(TOK, pa.array([d["text"] for d in docs])))
    annotator = columnar.annotator(docids, tokens)
    reference = quarnel.QAAnnotator({d["id"]: TOK.tokenize(d["text"]) for d in docs})
    questions = {q["qid"]: q["answers"] for q in map(json.loads, (DATA / "questions.jsonl").read_text().splitlines())}
    run = [line.split()[::2] for line in (DATA / "run.trec").read_text().splitlines()][:5000]
    qids, docs_run = [q for q, _, _ in run], [d for _, d, _ in run]
    judged = columnar.annotate(annotator, pa.array(qids), pa.array(docs_run),
                               pa.array([questions[q] for q in qids]))
    rows = pa.array(judged).to_pylist()
    qrels = reference.annotate({q: [d for q2, d in zip(qids, docs_run) if q2 == q] for q in set(qids)},
                               {q: questions[q] for q in set(qids)})
    assert [(r["qid"], r["docid"]) for r in rows] == list(zip(qids, docs_run))
    assert all(r["label"] == qrels[r["qid"]][r["docid"]] for r in rows)
    assert {r["label"] for r in rows} == {0, 1}
    with pytest.raises(KeyError, match="nowhere"):
        columnar.annotate(annotator, pa.array(["q"]), pa.array(["nowhere"]), pa.array([["x"]]))
    with pytest.raises(ValueError):
        columnar.annotator(pa.array(["d"]), pa.array([["a"], ["b"]]))


@pytest.mark.parametrize("dtype", [np.float32, np.float16])
def test_sparse_columns_hold_what_the_json_and_pseudo_text_methods_give(dtype):
    rng = np.random.default_rng(3)
    reps = (rng.random((40, 300)) * (rng.random((40, 300)) < 0.05) - 0.01).astype(dtype)
    reps[5] = 0
    vocab = {i: f"w{i % 250}" for i in range(300)}  # repeated texts: equal keys within a row
    converter = quarnel.Converter(vocab)
    suffix = "f32" if dtype == np.float32 else "f16"
    for options in ({}, {"convert_id_to_token": True, "allow_negative_values": True, "negative_prefix": "-"}):
        maps = pa.array(columnar.sparse_to_maps(converter, reps, **options)).to_pylist()
        json_reps = getattr(converter, f"convert_sparse_reps_to_json_{suffix}")(reps, **options)
        assert [dict(m) for m in maps] == json_reps
        assert all(len(m) == len(j) for m, j in zip(maps, json_reps))
        texts = pa.array(columnar.sparse_to_pseudo_text(converter, reps, **options)).to_pylist()
        expected = getattr(converter, f"convert_sparse_reps_to_pseudo_text_{suffix}")(reps, **options)
        assert [sorted(t.split(" ")) for t in texts] == [sorted(t.split(" ")) for t in expected]
    with pytest.raises(KeyError):
        columnar.sparse_to_maps(quarnel.Converter(), reps, convert_id_to_token=True)


INTERRUPTED_CHILD = """
import signal, sys, threading, time
import pyarrow as pa
import quarnel
from quarnel import columnar
signal.signal(signal.SIGINT, signal.default_int_handler)
tok, pre = quarnel.RegexTokenizer(), quarnel.ICUWordPreTokenizer()
texts = pa.array(["Some words, and more! " * 50] * 60000)
for call in (lambda: columnar.tokenize(tok, texts), lambda: columnar.pre_tokenize(pre, texts)):
    sent = []
    def send():
        time.sleep(0.2)
        sent.append(time.monotonic())
        signal.pthread_kill(threading.main_thread().ident, signal.SIGINT)
    thread = threading.Thread(target=send)
    thread.start()
    try:
        # Calls are repeated so that a quick machine cannot finish before the signal;
        # between calls the interpreter spends microseconds, so the signal lands in one.
        while True:
            call()
    except KeyboardInterrupt:
        print("interrupted %.3f" % (time.monotonic() - sent[0]))
    thread.join()
assert pa.array(columnar.tokenize(tok, pa.array(["a b"]))).to_pylist() == [["a", "b"]]
print("live", columnar._live_exports())
"""


def test_ctrl_c_stops_a_columnar_call_soon_and_leaves_nothing_behind():
    from conftest import UNDER_ASAN, UNDER_TSAN

    out = subprocess.run([sys.executable, "-c", INTERRUPTED_CHILD], capture_output=True, text=True, timeout=300)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.split()
    assert lines[0::2][:2] == ["interrupted", "interrupted"] and lines[-2:] == ["live", "0"], out.stdout
    assert max(float(lines[1]), float(lines[3])) < (2.0 if UNDER_ASAN or UNDER_TSAN else 0.5), out.stdout


def test_other_threads_run_while_a_column_is_tokenized():
    from conftest import ticks_during

    texts = pa.array(["The quick brown fox jumps over the lazy dog. " * 40] * 4000)
    assert ticks_during(lambda: columnar.tokenize(TOK, texts), warm_up=lambda: columnar.tokenize(TOK, texts)) > 3


def test_the_datasets_pattern_of_the_readme():
    datasets = pytest.importorskip("datasets")
    ds = datasets.Dataset.from_dict({"text": ["Hello, World!", None, "Columns all the way."]}).with_format("arrow")

    def add_tokens(batch):
        return batch.append_column("tokens", pa.chunked_array(columnar.tokenize(TOK, batch["text"])))

    out = ds.map(add_tokens, batched=True, batch_size=2, new_fingerprint="quarnel-test")
    assert out.with_format(None)["tokens"] == [TOK.tokenize("Hello, World!"), None,
                                               TOK.tokenize("Columns all the way.")]
