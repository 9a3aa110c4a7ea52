"""Converter: JSON reps and pseudo text from float32 / float16 matrices, and
pseudo text from JSON reps."""
import gc
import inspect
import math
import os
import subprocess
import sys
import textwrap
import tracemalloc

import numpy as np
import pytest

from conftest import TRACEMALLOC_UNDER_ASAN, UNDER_ASAN
from quarnel import Converter

F32 = ("convert_sparse_reps_to_json", "convert_sparse_reps_to_json_f32")
TEXT_F32 = ("convert_sparse_reps_to_pseudo_text", "convert_sparse_reps_to_pseudo_text_f32")
MATRIX_METHODS = F32 + TEXT_F32 + ("convert_sparse_reps_to_json_f16", "convert_sparse_reps_to_pseudo_text_f16")


def reference(reps, q=100, negative=False):
    """The row conversion with token-id keys, written out in NumPy:
    single-precision keep test, product and floor, saturation."""
    out = []
    q32 = np.float32(q)
    with np.errstate(all="ignore"):
        for row in reps:
            if row.dtype == np.float16:
                bits = row.view(np.uint16).astype(np.uint32)
                keep = ((bits & 0x7FFF) - 1 <= 0x7BFF) & (negative | (bits & 0x8000 == 0))
                values = row.astype(np.float32)
            else:
                values = row
                keep = (values > np.float32(0.0001)) | (negative & (values < np.float32(-0.0001)))
            m = {}
            for c in np.flatnonzero(keep):
                p = np.floor(values[c] * q32)
                k = 0 if math.isnan(p) else 2147483647 if p >= 2 ** 31 else -2 ** 31 if p < -2 ** 31 else int(p)
                if k > 0:
                    m[str(c)] = k
                elif k < 0 and negative:
                    m[f"neg_{c}"] = min(-k, 2147483647)
            out.append(m or {"-1": 1})
    return out


def with_order(reps):
    """Each dict's items as a list: dict equality ignores insertion order."""
    return [list(d.items()) for d in reps]


def words(text):
    return sorted(text.split(" ")) if text else []


def text_of(rep):
    """A pseudo text's words, order-free."""
    return sorted(w for t, f in rep.items() for w in [t] * max(f, 0))


# ---- worked examples ----

@pytest.mark.parametrize("method", F32)
def test_worked_examples_f32(method):
    conv = Converter()
    f = getattr(conv, method)
    assert f(np.array([[0.5, 0.0, 0.29, 0.0049]], np.float32)) == [{"0": 50, "2": 29}]
    row = np.array([[0, 0, 0, -0.0049]], np.float32)
    assert f(row, allow_negative_values=True) == [{"neg_3": 1}]
    assert f(row) == [{"-1": 1}]
    assert Converter({0: "a"}).convert_sparse_reps_to_json(np.zeros((1, 3), np.float32), convert_id_to_token=True) \
        == [{"[PAD]": 1}]


def test_float16_keeps_what_float32_drops():
    conv = Converter()
    half = np.array([[0x0347]], np.uint16).view(np.float16)
    assert conv.convert_sparse_reps_to_json_f16(half, 1000000) == [{"0": 50}]
    assert conv.convert_sparse_reps_to_json(half.astype(np.float32), 1000000) == [{"-1": 1}]


def test_pseudo_text_worked_examples():
    conv = Converter()
    (text,) = conv.convert_sparse_reps_to_pseudo_text(np.array([[0.5, 0.0, 0.02]], np.float32))
    assert len(text) == 103 and words(text) == ["0"] * 50 + ["2"] * 2
    assert text in ("0 " * 50 + "2 2", "2 2 " + "0 " * 49 + "0")
    assert conv.convert_json_reps_to_pseudo_text([{"a": 3, "b": 1}]) in (["a a a b"], ["b a a a"])
    assert conv.convert_json_reps_to_pseudo_text(({"a": 0, "b": -2}, {"x": 1})) == ["", "x"]
    # An empty token writes only separators, and none while the text is empty.
    assert conv.convert_json_reps_to_pseudo_text([{"": 2}, {"a": 1, "": 2}]) in (["", "a  "], ["", "a"])
    zero = np.zeros((1, 4), np.float32)
    assert conv.convert_sparse_reps_to_pseudo_text(zero) == ["-1"]
    assert Converter({}).convert_sparse_reps_to_pseudo_text(zero, convert_id_to_token=True) == ["[PAD]"]
    neg = np.array([[0, 0, 0.3, -0.0049]], np.float32)
    assert sorted(conv.convert_sparse_reps_to_pseudo_text(neg, allow_negative_values=True)[0].split(" ")) \
        == ["2"] * 30 + ["neg_3"]


# ---- the keep test and the arithmetic ----

def test_thresholds_and_special_values():
    conv = Converter()
    t = np.float32(0.0001)
    above = np.nextafter(t, np.float32(1))
    row = np.array([[t, above, -t, np.nan, np.inf, -np.inf, -0.0, 0.0]], np.float32)
    assert conv.convert_sparse_reps_to_json(row) == [{"4": 2147483647}]
    assert conv.convert_sparse_reps_to_json(row, allow_negative_values=True) == [
        {"4": 2147483647, "neg_5": 2147483647}]
    # The value just above the threshold is kept (it floors to 0), so it needs a token.
    with pytest.raises(KeyError, match=r"\b1\b"):  # the id it names (the message: test_texts.py)
        Converter({4: "x"}).convert_sparse_reps_to_json(row, convert_id_to_token=True)


@pytest.mark.parametrize("q", [0, -100, 7, 100, 2 ** 31 - 1, -2 ** 31])
@pytest.mark.parametrize("negative", [False, True])
@pytest.mark.parametrize("dtype", [np.float32, np.float16])
def test_random_rows_match_the_reference(q, negative, dtype):
    rng = np.random.default_rng(abs(q) % 1000 + negative)
    reps = rng.standard_normal((20, 67)).astype(dtype) * rng.choice([0, 0, 1e-5, 1, 50], (20, 67)).astype(dtype)
    reps[3, :] = np.array([np.nan, np.inf, -np.inf, 0.0001, -0.0001, 65504, 6e-8] * 9 + [0.29] * 4, dtype)
    method = "convert_sparse_reps_to_json_f16" if dtype == np.float16 else "convert_sparse_reps_to_json"
    got = getattr(Converter(), method)(reps, q, False, negative)
    assert with_order(got) == with_order(reference(reps, q, negative=negative))  # keys in column order


def test_every_float16_pattern_converts_like_widening_then_flooring():
    patterns = np.arange(65536, dtype=np.uint32).astype(np.uint16).reshape(256, 256).view(np.float16)
    got = Converter().convert_sparse_reps_to_json_f16(patterns, 1000, allow_negative_values=True)
    assert got == reference(patterns, 1000, negative=True)


def test_zero_and_negative_quantization():
    conv = Converter({0: "a", 1: "b"})
    row = np.array([[0.5, -0.25]], np.float32)
    assert conv.convert_sparse_reps_to_json(row, 0, True, True) == [{"[PAD]": 1}]
    with pytest.raises(KeyError):
        Converter({0: "a"}).convert_sparse_reps_to_json(row, 0, True, True)
    assert conv.convert_sparse_reps_to_json(row, -100) == [{"-1": 1}]
    assert conv.convert_sparse_reps_to_json(row, -100, True, True) == [{"neg_a": 50, "b": 25}]


# ---- keys ----

def test_vocabulary_keys_collisions_and_prefixes():
    vocab = {0: "a", 1: "b", 2: "a", 3: "neg_b", 4: "minus"}
    row = np.array([[0.1, -0.2, 0.3, 0.4, -0.05]], np.float32)
    conv = Converter(vocab)
    # Column 2 replaces column 0's "a"; column 3's plain key replaces column 1's prefixed one;
    # each at the place of the first.
    assert with_order(conv.convert_sparse_reps_to_json(row, 100, True, True)) == [
        [("a", 30), ("neg_b", 40), ("neg_minus", 5)]]
    assert with_order(conv.convert_sparse_reps_to_json(row, 100, True, True, "minus")) == [
        [("a", 30), ("minusb", 20), ("neg_b", 40), ("minusminus", 5)]]
    assert conv.convert_sparse_reps_to_json(row, 100, False, True, "") == [{"0": 10, "1": 20, "2": 30, "3": 40, "4": 5}]
    row7 = np.zeros((1, 8), np.float32)
    row7[0, 7] = -0.5
    assert conv.convert_sparse_reps_to_json(row7, allow_negative_values=True, negative_prefix="minus") == [{"minus7": 50}]
    # A prefix of digits: column 1's negative key "11" is replaced by column 11.
    row12 = np.zeros((1, 12), np.float32)
    row12[0, 1], row12[0, 11] = -0.03, 0.02
    assert Converter().convert_sparse_reps_to_json(row12, 100, False, True, "1") == [{"11": 2}]
    non_ascii = Converter({0: "日本", 1: "é", 2: "😀"})
    assert non_ascii.convert_sparse_reps_to_pseudo_text(np.array([[0.02, 0.01, 0.03]], np.float32), 100, True) \
        [0].split(" ").count("😀") == 3


def test_key_objects_are_shared_and_counted_exactly():
    # Rows share key objects; each is referenced once per dict holding it,
    # also where an equal key of another column was dropped.
    conv = Converter({10: "aa", 11: "bb", 12: "aa"})
    reps = np.zeros((40, 13), np.float32)
    reps[:, 10:] = 0.5
    reps[::3, 11] = 0
    reps[1::3, 10] = 0
    for tokens in (False, True):
        out = conv.convert_sparse_reps_to_json(reps, 100, tokens)
        names = ["aa", "bb", "aa"] if tokens else ["10", "11", "12"]
        assert with_order(out) == with_order(
            [dict((names[c - 10], 50) for c in range(10, 13) if reps[r, c]) for r in range(40)])
        objects = {id(k): k for d in out for k in d}
        assert len(objects) < sum(map(len, out))
        for key in objects.values():
            holders = sum(any(k is key for k in d) for d in out)
            assert sys.getrefcount(key) == holders + 3  # + objects, key, the argument
        del out


def test_missing_token_fails_the_whole_call():
    conv = Converter({0: "a"})
    reps = np.zeros((50, 4), np.float32)
    reps[:, 0] = 1
    reps[7, 2] = 1
    for method in ("convert_sparse_reps_to_json", "convert_sparse_reps_to_pseudo_text"):
        with pytest.raises(KeyError) as info:
            getattr(conv, method)(reps, convert_id_to_token=True)
        assert len(info.value.args) == 1 and " 2 " in info.value.args[0]  # the first missing id
    with pytest.raises(KeyError, match=r"\b0\b"):
        Converter().convert_sparse_reps_to_json(reps, convert_id_to_token=True)
    # Rows converted while earlier ones become dicts: a failure in the last
    # row still fails the call.
    big = np.zeros((300, 3), np.float32)
    big[:, 0] = 1
    big[299, 1] = 1
    with pytest.raises(KeyError, match=r"\b1\b"):
        conv.convert_sparse_reps_to_json(big, convert_id_to_token=True)


def test_vocabulary_is_copied():
    vocab = {0: "a"}
    conv = Converter(vocab)
    vocab[0] = "b"
    del vocab
    assert conv.convert_sparse_reps_to_json(np.ones((1, 1), np.float32), 1, True) == [{"a": 1}]


# ---- shapes and layouts ----

def test_empty_shapes():
    conv = Converter()
    for method in MATRIX_METHODS:
        dtype = np.float16 if method.endswith("f16") else np.float32
        assert getattr(conv, method)(np.zeros((0, 5), dtype)) == []
        assert len(getattr(conv, method)(np.zeros((3, 0), dtype))) == 3
    assert conv.convert_sparse_reps_to_json(np.zeros((2, 0), np.float32)) == [{"-1": 1}] * 2
    assert conv.convert_json_reps_to_pseudo_text([]) == []
    # Column indices are 32-bit: a (zero-stride) view with more columns is
    # refused before any work, not converted with wrapped keys.
    huge = np.lib.stride_tricks.as_strided(np.ones(1, np.float16), shape=(2, 2**32 - 1), strides=(0, 0))
    for method in ("convert_sparse_reps_to_json_f16", "convert_sparse_reps_to_pseudo_text_f16"):
        with pytest.raises(OverflowError):
            getattr(conv, method)(huge)
    assert conv.convert_sparse_reps_to_json_f16(huge[:0]) == []


def layouts(base):
    yield "C", base
    yield "F", np.asfortranarray(base)
    yield "slice", base[1:, ::3]
    yield "transpose", np.ascontiguousarray(base.T).T
    yield "reversed columns", base[:, ::-1]
    yield "reversed rows", base[::-1]
    yield "both reversed, transposed", base.T[::-1, ::-2].T
    raw = np.zeros(base.size * base.itemsize + 1, np.uint8)[1:]
    unaligned = raw.view(base.dtype).reshape(base.shape)
    unaligned[...] = base
    yield "unaligned", unaligned
    ro = base.copy()
    ro.flags.writeable = False
    yield "read-only", ro
    yield "subclass", base.view(type("Sub", (np.ndarray,), {}))


@pytest.mark.parametrize("dtype", [np.float32, np.float16])
def test_layouts_read_in_place(dtype):
    rng = np.random.default_rng(4)
    base = (rng.random((9, 70)) * (rng.random((9, 70)) < 0.3) - 0.1).astype(dtype)
    suffix = "_f16" if dtype == np.float16 else "_f32"
    conv = Converter()
    for name, view in layouts(base):
        want = getattr(conv, "convert_sparse_reps_to_json" + suffix)(np.ascontiguousarray(view), 100, False, True)
        assert getattr(conv, "convert_sparse_reps_to_json" + suffix)(view, 100, False, True) == want, name
        texts = getattr(conv, "convert_sparse_reps_to_pseudo_text" + suffix)(view, 100, False, True)
        assert [words(t) for t in texts] == [text_of(m) for m in want], name


@pytest.mark.skipif(UNDER_ASAN, reason=TRACEMALLOC_UNDER_ASAN)
def test_arrays_are_never_copied():
    # NumPy reports its data allocations to tracemalloc: a copy of any of
    # these 50 MB views would show in the peak.
    base = np.zeros((64, 200_000), np.float32)
    base[:, ::997] = 0.01
    views = [base, np.asfortranarray(base), base[::-1, ::-1], base.T[::2].T]
    conv = Converter()
    tracemalloc.start()
    try:
        for view in views:
            conv.convert_sparse_reps_to_json(view)
            conv.convert_sparse_reps_to_pseudo_text(view)
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    assert peak < 5_000_000


# ---- argument checks ----

@pytest.mark.parametrize("method", MATRIX_METHODS)
@pytest.mark.parametrize("bad", [
    [[0.5]],
    np.zeros(3, np.float32),
    np.zeros((1, 1, 1), np.float32),
    np.zeros((1, 1), np.float64),
    np.zeros((1, 1), np.int32),
    np.zeros((1, 1), np.dtype(">f4")),
    np.zeros((1, 1), np.dtype(">f2")),
])
def test_reps_must_be_a_2d_array_of_the_element_type(method, bad):
    with pytest.raises(TypeError) as info:
        getattr(Converter(), method)(bad)
    assert type(info.value) is TypeError


@pytest.mark.parametrize("method", MATRIX_METHODS)
def test_wrong_element_type_is_refused(method):
    other = np.float32 if method.endswith("f16") else np.float16
    with pytest.raises(TypeError):
        getattr(Converter(), method)(np.zeros((1, 1), other))


@pytest.mark.parametrize("call, exc", [
    (lambda c, r: c.convert_sparse_reps_to_json(r, 1.5), TypeError),
    (lambda c, r: c.convert_sparse_reps_to_json(r, 2 ** 31), OverflowError),
    (lambda c, r: c.convert_sparse_reps_to_json(r, convert_id_to_token=1), TypeError),
    (lambda c, r: c.convert_sparse_reps_to_pseudo_text(r, negative_prefix=b"n"), TypeError),
    (lambda c, r: c.convert_sparse_reps_to_json(), TypeError),
    (lambda c, r: c.convert_sparse_reps_to_json_f16(r, 1, True, True, "x", 6), TypeError),
    (lambda c, r: c.convert_json_reps_to_pseudo_text("ab"), TypeError),
    (lambda c, r: c.convert_json_reps_to_pseudo_text([["a"]]), TypeError),
    (lambda c, r: c.convert_json_reps_to_pseudo_text([{1: 1}]), TypeError),
    (lambda c, r: c.convert_json_reps_to_pseudo_text([{"a": "1"}]), TypeError),
    (lambda c, r: c.convert_json_reps_to_pseudo_text([{"a": 2 ** 31}]), OverflowError),
    (lambda c, r: Converter(None), TypeError),
    (lambda c, r: Converter({"1": "a"}), TypeError),
    (lambda c, r: Converter({1: 2}), TypeError),
    (lambda c, r: Converter({2 ** 31: "a"}), OverflowError),
])
def test_argument_errors(call, exc):
    # (their messages: test_texts.py)
    with pytest.raises(exc) as info:
        call(Converter(), np.zeros((1, 1), np.float32))
    assert type(info.value) is exc


def test_bool_scalars_and_keywords():
    reps = np.array([[-0.5, 0.5]], np.float32)
    conv = Converter({0: "x", 1: "y"})
    assert conv.convert_sparse_reps_to_json(reps=reps, quantization_factor=10, convert_id_to_token=np.True_,
                                            allow_negative_values=np.bool_(True), negative_prefix="-") \
        == [{"-x": 5, "y": 5}]


# ---- surface (its texts: test_texts.py) ----

def test_methods():
    assert {k for k in vars(Converter) if not k.startswith("__")} == set(MATRIX_METHODS) | {
        "convert_json_reps_to_pseudo_text"}
    for method in MATRIX_METHODS:
        assert list(inspect.signature(getattr(Converter, method)).parameters) == [
            "self", "reps", "quantization_factor", "convert_id_to_token", "allow_negative_values", "negative_prefix"]


# ---- resources and failures ----

def test_huge_pseudo_texts_raise_memory_error():
    conv = Converter()
    row = np.full((1, 16), np.inf, np.float32)  # 16 x 2^31 copies: far beyond any memory
    with pytest.raises(MemoryError):
        conv.convert_sparse_reps_to_pseudo_text(row)
    batch = np.zeros((64, 3), np.float16)
    batch[:, 1] = np.inf  # each row alone ~4 GB, the batch ~275 GB
    with pytest.raises(MemoryError):
        conv.convert_sparse_reps_to_pseudo_text_f16(batch)
    with pytest.raises(MemoryError):
        conv.convert_json_reps_to_pseudo_text([{"token%d" % i: 2 ** 31 - 1 for i in range(4)}] * 8)
    assert conv.convert_json_reps_to_pseudo_text([{"a": 2}]) == ["a a"]


def test_reference_counts_unchanged():
    conv = Converter({0: "a", 1: "b"})
    reps = np.array([[0.5, -0.5], [0.0, 0.0]], np.float32)
    view = reps[:, ::-1]
    reps_list = [{"a": 2}]
    before = [sys.getrefcount(o) for o in (conv, reps, view, reps_list)]
    for _ in range(50):
        conv.convert_sparse_reps_to_json(view, 10, True, True)
        conv.convert_sparse_reps_to_pseudo_text(view)
        conv.convert_json_reps_to_pseudo_text(reps_list)
        with pytest.raises(KeyError):
            Converter().convert_sparse_reps_to_pseudo_text_f32(reps, convert_id_to_token=True)
        with pytest.raises(TypeError):
            conv.convert_sparse_reps_to_json_f16(reps)
    gc.collect()
    assert [sys.getrefcount(o) for o in (conv, reps, view, reps_list)] == before


def test_import_does_not_import_numpy():
    code = textwrap.dedent("""
        import sys
        import quarnel
        assert "numpy" not in sys.modules, "imported at module import"
        c = quarnel.Converter({0: "a"})
        print(c.convert_json_reps_to_pseudo_text([{"a": 2}]), "numpy" in sys.modules)
        try:
            c.convert_sparse_reps_to_json([[1.0]])
        except TypeError as e:
            print(type(e).__name__, "numpy" in sys.modules)
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert out.splitlines() == ["['a a'] False", "TypeError True"]


def test_missing_numpy_is_an_import_error():
    code = textwrap.dedent("""
        import sys
        sys.modules["numpy"] = None  # as if NumPy were not installed
        for name in ("numpy._core", "numpy.core", "numpy._core._multiarray_umath", "numpy.core._multiarray_umath"):
            sys.modules[name] = None
        import quarnel
        try:
            quarnel.Converter().convert_sparse_reps_to_json([[1.0]])
        except ImportError as e:
            print("ImportError")
        print(quarnel.Converter().convert_json_reps_to_pseudo_text([{"b": 1}]))
    """)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert out.split() == ["ImportError", "['b']"]


def test_results_do_not_depend_on_the_worker_count():
    code = textwrap.dedent("""
        import hashlib, numpy as np, quarnel
        rng = np.random.default_rng(0)
        reps = (rng.random((300, 500)) * (rng.random((300, 500)) < 0.05)).astype(np.float32)
        c = quarnel.Converter({i: "t%d" % (i % 450) for i in range(500)})
        js = c.convert_sparse_reps_to_json(reps, 100, True)
        tx = c.convert_sparse_reps_to_pseudo_text(reps, 100, True)
        rows = repr([sorted(d.items()) for d in js]) + repr([sorted(t.split(" ")) for t in tx])
        print(len(js), hashlib.sha256(rows.encode()).hexdigest())
    """)
    runs = [subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True,
                           env=dict(os.environ, RAYON_NUM_THREADS=n)).stdout for n in ("1", "3")]
    assert runs[0] == runs[1] and runs[0].startswith("300 ")
