"""Every Python entry point of quarnel, as tables that the hardening checks
read: the fuzz targets (tests/fuzz/), the stress, leak, size and interrupt
tests (test_hardening.py).

ENTRY_POINTS is read off the module itself: its classes, their methods and
each entry's parameters (names, which are required) from the text
signatures. What the module cannot tell is kept here: KINDS (the kind of
value each parameter takes, a key of VALID), BEHAVIOUR (the exception types
each entry may raise for bad input, and how to check its result), and the
STRESS, LEAK, HUGE and INTERRUPT tables. Adding a class means adding its
entries to each of them; test_typing.py fails while one is missing.

Generators draw from a `Source`: a `random.Random` in the tests, libFuzzer's
data in the fuzz targets, so the same tables drive both.
"""
from __future__ import annotations

import inspect
import operator
import random
from dataclasses import dataclass, field
from typing import Any, Callable

import numpy as np

import quarnel


# ---------------------------------------------------------------- sources


class Source:
    """Random choices; subclassed by the fuzz targets to draw from libFuzzer."""

    def __init__(self, seed=0):
        self.rng = random.Random(seed)

    def int(self, lo: int, hi: int) -> int:  # inclusive
        return self.rng.randint(lo, hi)

    def bytes(self, n: int) -> bytes:
        return bytes(self.rng.getrandbits(8) for _ in range(n))

    def bool(self) -> bool:
        return self.int(0, 1) == 1

    def pick(self, seq):
        return seq[self.int(0, len(seq) - 1)]


ALPHABET = ("abcXYZ019 .,'-_!\t\n\u00e9\u00c9\u0301\u03a3\u03c3\u0130\u00df\u4e2d\u6587\u0627"
            "\u200b\u00ad\U0001F600\u2028\u3000\u0e01\u0e32\uff21\u2160\u00bd\ufb01\x00\x85\ufffe")


def text(src: Source, max_len: int = 24) -> str:
    """Random Unicode: letters of many scripts, controls, lone surrogates and
    random UTF-8 decoded with surrogatepass (so surrogates get through)."""
    mode = src.int(0, 3)
    n = src.int(0, max_len)
    if mode == 0:
        return "".join(src.pick(ALPHABET) for _ in range(n))
    if mode == 1:
        return "".join(chr(src.int(0, 0x10FFFF)) for _ in range(n))
    raw = src.bytes(n)
    try:
        return raw.decode("utf-8", "surrogatepass")
    except UnicodeDecodeError:
        return raw.decode("utf-8", "surrogateescape")


PATTERN_PIECES = ["a", "b", "x*", ".", "\\w", "\\W", "\\s", "\\p{L}", "\\p{N}", "[", "]", "[a-z]", "(", ")",
                  "(?:", "|", "+", "*", "?", "{2,}", "{1,3}", "^", "$", "\\b", "(?m)", "(?i)", "(?=a)",
                  "(?<=a)", "\\1", "\\z", "\\A", "[^\\p{Z}\\p{C}]", "[\\p{L}\\p{N}\\p{M}]+", "\\", "\u00e9"]


def pattern(src: Source) -> str:
    return "".join(src.pick(PATTERN_PIECES) for _ in range(src.int(0, 6)))


def float_matrix(src: Source, dtype) -> np.ndarray:
    """A small 2-D matrix of the dtype in a random layout: C or Fortran
    order, transposed, reversed, sliced with a step, or zero-size."""
    rows, cols = src.int(0, 4), src.int(0, 12)
    specials = [0.0, 0.0, 0.0, 0.5, 0.29, 0.0049, -0.0049, 1e-4, -1e-4, 1e-5, 7.0, -3.5,
                float("inf"), float("-inf"), float("nan"), 6e4, -6e4, 3e38]
    with np.errstate(all="ignore"):
        base = np.array([[src.pick(specials) for _ in range(cols * 2 + 1)] for _ in range(rows * 2 + 1)],
                        dtype=np.float64).astype(dtype)
    layout = src.int(0, 5)
    if layout == 0:
        return np.ascontiguousarray(base[:rows, :cols])
    if layout == 1:
        return np.asfortranarray(base[:rows, :cols])
    if layout == 2:
        return base[::2, ::2][:rows, :cols]
    if layout == 3:
        return base[:cols, :rows].T
    if layout == 4:
        return base[:rows, ::-1][:, :cols]
    return np.broadcast_to(base[0, :cols], (rows, cols))


# Valid arguments, one generator per parameter kind. `limit` marks calls
# that must stay small (a custom pattern is matched over short texts only:
# a pathological one may backtrack for long).
VALID: dict[str, Callable[[Source], Any]] = {
    "text": lambda s: text(s),
    "texts": lambda s: [text(s) for _ in range(s.int(0, 6))],
    "bool": lambda s: s.pick([True, False, np.bool_(True), np.bool_(False)]),
    "pattern": pattern,
    "normalization_from": lambda s: s.pick(["nfd", "nfc", "nfkd", "NFKC", "Nfc", "nfx", "", "\u03a3"]),
    "corpus": lambda s: {s.pick(["d0", "d1", "d2", text(s, 3)]): [text(s, 6) for _ in range(s.int(0, 6))]
                         for _ in range(s.int(0, 4))},
    "qid_to_docids": lambda s: {s.pick(["q0", "q1", text(s, 2)]): [s.pick(["d0", "d1", "d2", "dx"])
                                                                    for _ in range(s.int(0, 4))]
                                for _ in range(s.int(0, 3))},
    "qid_to_answers": lambda s: {s.pick(["q0", "q1", text(s, 2)]): [text(s, 8) for _ in range(s.int(0, 3))]
                                 for _ in range(s.int(0, 3))},
    "int32": lambda s: s.pick([0, 1, 100, -1, -100, 1000000, 2**31 - 1, -2**31, s.int(-2**31, 2**31 - 1)]),
    "quantization": lambda s: s.pick([0, 1, 100, -100, 1000, s.int(-1000, 1000)]),
    "vocab": lambda s: {s.pick([0, 1, 2, 3, 5, 7, s.int(-2**31, 2**31 - 1)]): text(s, 6)
                        for _ in range(s.int(0, 8))},
    "f32_matrix": lambda s: float_matrix(s, np.float32),
    "f16_matrix": lambda s: float_matrix(s, np.float16),
    "json_reps": lambda s: [{text(s, 4): s.int(-3, 6) for _ in range(s.int(0, 4))} for _ in range(s.int(0, 4))],
    "str_set": lambda s: s.pick([set, frozenset])(text(s, 4) for _ in range(s.int(0, 5))),
}


# ---------------------------------------------------------------- entry points


@dataclass
class Param:
    name: str
    kind: str
    required: bool = False


@dataclass
class Behaviour:
    """What an entry may do with any arguments. `errors` lists the exception
    types it may raise for bad input (argument errors, invalid configuration,
    missing ids); PanicException is acceptable only where `may_panic(instance)`
    says so."""
    errors: tuple[type, ...]
    check: Callable[[Any, dict], None] | None = None  # result checker: (result, arguments by name)
    may_panic: Callable[[Any], bool] = lambda instance: False
    # Whether a call with these arguments (by name) has a result of sane
    # size; the fuzz targets skip the others.
    feasible: Callable[[dict], bool] = lambda args: True


@dataclass
class EntryPoint(Behaviour):
    """One Python entry: the constructor ("__new__"), a method or "__call__"."""
    cls: str = ""
    name: str = ""
    params: list[Param] = field(default_factory=list)


def _list_of_str(result, args):
    assert type(result) is list and all(type(t) is str for t in result), result


def _batch(result, args):
    assert type(result) is list and len(result) == len(args["texts"]), result
    for tokens in result:
        _list_of_str(tokens, args)


def _qrels(result, args):
    assert type(result) is dict and len(result) == len(args["qid_to_docids"]), result
    for docs in result.values():
        assert type(docs) is dict and all(type(k) is str and v in (0, 1) for k, v in docs.items()), docs


def _json_reps(result, args):
    assert type(result) is list and len(result) == args["reps"].shape[0], result
    for rep in result:
        assert type(rep) is dict and rep and all(type(k) is str and type(v) is int for k, v in rep.items())


def _texts_per_row(key):
    def check(result, args):
        assert type(result) is list and len(result) == len(args[key]), result
        assert all(type(t) is str for t in result)
    return check


# Pseudo text writes each token as many times as its frequency, which can
# reach 2**31 - 1 (+-inf, huge weights, huge factors): a valid call whose
# text would take gigabytes. The fuzz targets skip calls whose text could
# exceed this many bytes (an upper bound on the rendering, not its size).
PSEUDO_TEXT_BYTES = 1 << 22
# Longest token text of VALID["vocab"] in UTF-8 (6 characters), and of a
# decimal column id.
_TOKEN_BYTES = 24


def _as_int(value, default):
    """The int the module reads from `value` (PyLong_AsLong: an int's own
    value, else __index__), or None when it cannot read one (the call then
    fails before any work)."""
    if value is _ABSENT:
        return default
    if isinstance(value, int):
        return int.__int__(value)
    try:
        return operator.index(value)
    except Exception:
        return None


def _utf8_len(value) -> int:
    return len(str.encode(value, "utf-8", "surrogatepass")) if isinstance(value, str) else 0


_ABSENT = object()
_CAP = 2**31


def _small_text(args) -> bool:
    """Whether the pseudo text of a matrix call stays within
    PSEUDO_TEXT_BYTES: each kept cell repeats its key up to |x * q| + 1
    times (2**31 at most: +-inf and overflowing products saturate), NaN is
    never kept, negative products only with allow_negative_values."""
    reps = args.get("reps")
    q = _as_int(args.get("quantization_factor", _ABSENT), 100)
    if not isinstance(reps, np.ndarray) or reps.dtype.kind != "f" or reps.ndim != 2 or q is None:
        return True  # rejected by the argument checks
    allow = args.get("allow_negative_values", False)
    negatives = not (allow is False or (isinstance(allow, np.bool_) and not allow))
    with np.errstate(all="ignore"):
        prod = reps.astype(np.float64) * float(q)
        kept = (prod > 0) | (negatives & (prod < 0))
        repeats = np.where(kept & ~np.isnan(prod), np.minimum(np.abs(prod) + 1, _CAP), 0).sum()
    key = _TOKEN_BYTES + _utf8_len(args.get("negative_prefix", "neg_")) + 1
    return (repeats + reps.shape[0]) * key <= PSEUDO_TEXT_BYTES


def _small_json_text(args) -> bool:
    """The same bound for JSON reps given by the caller: a key is written
    as often as its value, read the way the module reads it."""
    reps = args.get("json_reps")
    if isinstance(reps, (list, tuple)):
        rows = list(list.__iter__(reps) if isinstance(reps, list) else tuple.__iter__(reps))
    else:
        rows = []
        try:
            rows = [reps[i] for i in range(min(len(reps), 1000))]
        except Exception:
            pass
    total = 0
    for row in rows:
        if not isinstance(row, dict):
            continue
        for key, value in dict.items(row):
            count = _as_int(value, 0)
            if count is not None and count > 0:
                total += min(count, _CAP) * (_utf8_len(key) + 1)
    return total <= PSEUDO_TEXT_BYTES


def _custom_pattern(instance) -> bool:
    return getattr(instance, "_quarnel_custom_pattern", False)


ARGS = (TypeError, UnicodeEncodeError, MemoryError)


# The kind of value each parameter takes, by parameter name (`reps` by the
# element type of its method).
KINDS: dict[str, str | Callable[[str], str]] = {
    "pattern": "pattern", "lowercase": "bool", "normalize": "bool", "normalization_from": "normalization_from",
    "text": "text", "texts": "texts", "remove_stopwords": "bool", "stopword_sets": "str_set",
    "docid_to_tokenized_corpus": "corpus", "qid_to_docids": "qid_to_docids", "qid_to_answers": "qid_to_answers",
    "vocab_dict": "vocab", "json_reps": "json_reps",
    "reps": lambda method: "f16_matrix" if method.endswith("_f16") else "f32_matrix",
    "quantization_factor": "quantization", "convert_id_to_token": "bool", "allow_negative_values": "bool",
    "negative_prefix": "text",
}

_MATRIX = [base + suffix for base in ("convert_sparse_reps_to_json", "convert_sparse_reps_to_pseudo_text")
           for suffix in ("", "_f32", "_f16")]

# What each entry may raise for bad input (argument errors, invalid
# configuration, missing ids) and how its result is checked.
BEHAVIOUR: dict[str, dict[str, Behaviour]] = {
    "RegexTokenizer": {
        "__new__": Behaviour(ARGS + (ValueError,)),
        "tokenize": Behaviour(ARGS, _list_of_str, _custom_pattern),
        "batch_tokenize": Behaviour(ARGS, _batch, _custom_pattern),
        "__call__": Behaviour(ARGS, _batch, _custom_pattern),
    },
    "QAAnnotator": {
        "__new__": Behaviour(ARGS + (ValueError,)),
        "annotate_non_optim": Behaviour(ARGS + (KeyError,), _qrels, _custom_pattern),
        "annotate": Behaviour(ARGS + (KeyError,), _qrels, _custom_pattern),
    },
    "Converter": {
        "__new__": Behaviour(ARGS + (OverflowError,)),
        **{name: Behaviour(ARGS + (OverflowError, KeyError), _texts_per_row("reps"), feasible=_small_text)
           if "pseudo_text" in name else Behaviour(ARGS + (OverflowError, KeyError), _json_reps)
           for name in _MATRIX},
        "convert_json_reps_to_pseudo_text": Behaviour(ARGS + (OverflowError,), _texts_per_row("json_reps"),
                                                       feasible=_small_json_text),
    },
    "ICUWordPreTokenizer": {
        "__new__": Behaviour(ARGS),
        "tokenize": Behaviour(ARGS, _list_of_str),
        "batch_tokenize": Behaviour(ARGS, _batch),
        "__call__": Behaviour(ARGS, _batch),
    },
}


def entry_names(cls) -> list[str]:
    """The constructor, the methods in the class's order, then the call."""
    names = ["__new__"] + [n for n, v in vars(cls).items() if not n.startswith("_") and callable(v)]
    return names + (["__call__"] if "__call__" in vars(cls) else [])


def signature_of(cls, name: str) -> list[inspect.Parameter]:
    # Calling an object has no text signature of its own: it takes what
    # batch_tokenize takes.
    target = cls if name == "__new__" else getattr(cls, "batch_tokenize" if name == "__call__" else name)
    params = list(inspect.signature(target).parameters.values())
    return params[1:] if params and params[0].name == "self" else params


def kind_of(method: str, param: str) -> str:
    kind = KINDS[param]
    return kind if isinstance(kind, str) else kind(method)


def derive_entry_points() -> dict[str, list[EntryPoint]]:
    """Every entry of every class of the module; a KeyError names the
    parameter or entry that the tables above lack."""
    out = {}
    for cls_name in quarnel.__all__:
        cls = getattr(quarnel, cls_name)
        out[cls_name] = []
        for name in entry_names(cls):
            params = [Param(p.name, kind_of(name, p.name), p.default is inspect.Parameter.empty)
                      for p in signature_of(cls, name)]
            out[cls_name].append(EntryPoint(**vars(BEHAVIOUR[cls_name][name]), cls=cls_name, name=name,
                                            params=params))
    return out


ENTRY_POINTS: dict[str, list[EntryPoint]] = derive_entry_points()


# Executions of each class's fuzz target in the test command's short
# fixed-seed run, the committed corpus's included: about 20 s each on the
# sanitizer build.
FUZZ_RUNS: dict[str, int] = {"RegexTokenizer": 8000, "QAAnnotator": 4500, "Converter": 20000,
                             "ICUWordPreTokenizer": 22000}


def invoke(entry: EntryPoint, instance, args: tuple, kwargs: dict):
    """Calls the entry: the constructor on the class, anything else on `instance`."""
    if entry.name == "__new__":
        return getattr(quarnel, entry.cls)(*args, **kwargs)
    if entry.name == "__call__":
        return instance(*args, **kwargs)
    return getattr(instance, entry.name)(*args, **kwargs)


def valid_arguments(entry: EntryPoint, src: Source) -> dict:
    """Valid values for the required parameters and a random subset of the rest."""
    return {p.name: VALID[p.kind](src) for p in entry.params if p.required or src.bool()}


def instance_for(cls_name: str, src: Source):
    """A valid instance of the class, built with random valid settings; the
    default pattern unless `src` picks a custom one (marked on the instance
    so the oracle knows a search may give up)."""
    new = ENTRY_POINTS[cls_name][0]
    for _ in range(20):
        kwargs = valid_arguments(new, src)
        try:
            obj = getattr(quarnel, cls_name)(**kwargs)
        except ValueError:
            continue
        if "pattern" in kwargs:
            return _Marked(obj)
        return obj
    return getattr(quarnel, cls_name)(*([{}] if new.params[0].required else []))


class _Marked:
    """An instance built with a custom pattern: forwards calls, marks itself."""

    _quarnel_custom_pattern = True

    def __init__(self, obj):
        self._obj = obj

    def __call__(self, *args, **kwargs):
        return self._obj(*args, **kwargs)

    def __getattr__(self, name):
        return getattr(self._obj, name)


# ---------------------------------------------------------------- stress

@dataclass
class Job:
    """A call for the stress test: `run(instances)` returns a result or raises
    `raises` (whose message is compared too, when `exact`)."""
    label: str
    run: Callable[[dict], Any]
    raises: type | None = None
    exact: bool = True


def _stress_corpus():
    return {f"d{i}": f"doc {i} has tokens {i % 7} and {i % 11} paris france".split() for i in range(400)}


def _stress_texts(n):
    return [f"Text {i}: \u00c9t\u00e9 \u039f\u0394\u039f\u03a3 caf\u00e9 {'word ' * (i % 9)}!" for i in range(n)]


STRESS: dict[str, Callable[[], tuple[dict, list[Job]]]] = {}


def _stress_regex():
    inst = {"tok": quarnel.RegexTokenizer(), "upper": quarnel.RegexTokenizer(lowercase=False)}
    texts = _stress_texts(300)
    return inst, [
        Job("tokenize", lambda i: i["tok"].tokenize(" ".join(texts[:40]))),
        Job("batch", lambda i: i["tok"].batch_tokenize(texts)),
        Job("call", lambda i: i["upper"](texts[:100])),
        Job("bad item", lambda i: i["tok"].batch_tokenize(texts[:50] + [None]), TypeError),
        Job("surrogate", lambda i: i["tok"].batch_tokenize(texts[:50] + ["\ud800"]), UnicodeEncodeError),
    ]


def _stress_qa():
    corpus = _stress_corpus()
    qa = quarnel.QAAnnotator(corpus)
    docids = {f"q{i}": [f"d{j}" for j in range(i, i + 30)] for i in range(120)}
    answers = {q: [f"tokens {int(q[1:]) % 7}", "Paris", "nothing here"] for q in docids}
    return {"qa": qa}, [
        Job("annotate", lambda i: i["qa"].annotate(docids, answers)),
        Job("non_optim", lambda i: i["qa"].annotate_non_optim(docids, answers)),
        Job("missing doc", lambda i: i["qa"].annotate({**docids, "qz": ["nope"]}, {**answers, "qz": ["x"]}),
            KeyError),
        Job("missing answers", lambda i: i["qa"].annotate({"q1": ["d1"]}, {}), KeyError),
    ]


def _stress_converter():
    conv = quarnel.Converter({i: f"t{i % 50}" for i in range(200)})
    rng = np.random.default_rng(3)
    reps = np.where(rng.random((64, 200)) < 0.1, rng.random((64, 200)), 0).astype(np.float32)
    return {"conv": conv}, [
        Job("json", lambda i: sorted(map(sorted, map(dict.items, i["conv"].convert_sparse_reps_to_json(reps))))),
        Job("json f16", lambda i: [sorted(r.items())
                                   for r in i["conv"].convert_sparse_reps_to_json_f16(reps.astype(np.float16))]),
        Job("pseudo", lambda i: [sorted(t.split()) for t in i["conv"].convert_sparse_reps_to_pseudo_text(
            reps, convert_id_to_token=True)]),
        Job("missing token", lambda i: quarnel.Converter().convert_sparse_reps_to_json(
            reps, convert_id_to_token=True), KeyError, exact=False),
    ]


def _stress_icu():
    icu = quarnel.ICUWordPreTokenizer({"the", "a"})
    texts = _stress_texts(200) + ["\u4e2d\u6587\u5206\u8bcd\u6d4b\u8bd5", "\u0e20\u0e32\u0e29\u0e32\u0e44\u0e17\u0e22"]
    return {"icu": icu}, [
        Job("tokenize", lambda i: i["icu"].tokenize(" ".join(texts[:40]), remove_stopwords=True)),
        Job("batch", lambda i: i["icu"].batch_tokenize(texts)),
        Job("bad item", lambda i: i["icu"].batch_tokenize(texts[:10] + [3]), TypeError),
    ]


STRESS.update(RegexTokenizer=_stress_regex, QAAnnotator=_stress_qa, Converter=_stress_converter,
              ICUWordPreTokenizer=_stress_icu)


# ---------------------------------------------------------------- leaks

@dataclass
class LeakCase:
    """Calls `run(*args)` many times; with `raises`, every call must raise it.
    The test watches resident memory and the reference counts of `args`."""
    label: str
    run: Callable
    args: tuple = ()
    raises: type | None = None
    scale: float = 1.0  # of the number of calls, for slow ones


LEAK: dict[str, Callable[[], list[LeakCase]]] = {}


def _leak_regex():
    R = quarnel.RegexTokenizer
    tok = R()
    text_ = "Some text, with punctuation! \u00e9\u03a3 " * 3
    texts = [text_, "other", ""]
    return [
        LeakCase("construct", lambda p: R(pattern=p), (r"\w+",)),
        LeakCase("bad pattern", lambda p: R(pattern=p), ("(",), ValueError),
        LeakCase("bad form", lambda f: R(pattern="a", normalization_from=f), ("bad",), ValueError),
        LeakCase("tokenize", tok.tokenize, (text_,)),
        LeakCase("batch", tok.batch_tokenize, (texts,)),
        LeakCase("call by keyword", lambda t: tok(texts=t), (texts,)),
        LeakCase("bad item", tok.batch_tokenize, (["x", 5],), TypeError),
        LeakCase("surrogate", tok.batch_tokenize, (["x", "\ud800"],), UnicodeEncodeError),
        LeakCase("twice", lambda t: tok.tokenize(t, text=t), (text_,), TypeError),
        LeakCase("panic", R(pattern="(a|aa)+$").tokenize, ("a" * 40 + "b",), BaseException, scale=0.02),
    ]


def _leak_qa():
    corpus = {f"d{i}": ["tok"] * 20 + [str(i)] for i in range(300)}
    docids = {f"q{i}": [f"d{j}" for j in range(i, i + 10)] for i in range(30)}
    answers = {q: ["tok 5", "7"] for q in docids}
    qa = quarnel.QAAnnotator(corpus)
    return [
        LeakCase("construct", quarnel.QAAnnotator, (corpus,)),
        LeakCase("bad corpus", quarnel.QAAnnotator, ({"d": ["a"], "e": [1]},), TypeError),
        LeakCase("bad pattern", lambda c: quarnel.QAAnnotator(c, pattern="["), (corpus,), ValueError),
        LeakCase("annotate", qa.annotate, (docids, answers)),
        LeakCase("non_optim", qa.annotate_non_optim, (docids, answers)),
        LeakCase("missing doc", qa.annotate, ({"q": ["nope"]}, {"q": ["x"]}), KeyError),
        LeakCase("missing answers", qa.annotate_non_optim, (docids, {}), KeyError),
        LeakCase("bad answers", qa.annotate, (docids, {"q0": [None]}), TypeError),
    ]


def _leak_converter():
    C = quarnel.Converter
    vocab = {i: f"tok{i}" for i in range(64)}
    conv = C(vocab)
    reps = np.zeros((8, 64), dtype=np.float32)
    reps[:, ::5] = 0.37
    reps[::2, 3] = -0.2
    return [
        LeakCase("construct", C, (vocab,)),
        LeakCase("bad vocab", C, ({1: "a", "x": "b"},), TypeError),
        LeakCase("big key", C, ({2**40: "a"},), OverflowError),
        LeakCase("json", conv.convert_sparse_reps_to_json, (reps,)),
        LeakCase("json f16", conv.convert_sparse_reps_to_json_f16, (reps.astype(np.float16),)),
        LeakCase("pseudo", lambda r: conv.convert_sparse_reps_to_pseudo_text(r, 100, True, True), (reps,)),
        LeakCase("missing token", lambda r: C().convert_sparse_reps_to_json(r, convert_id_to_token=True),
                 (reps,), KeyError),
        LeakCase("wrong dtype", conv.convert_sparse_reps_to_json, (reps.astype(np.float64),), TypeError),
        LeakCase("json reps", conv.convert_json_reps_to_pseudo_text, ([{"a": 3, "b": 1}, {}],)),
        LeakCase("bad json reps", conv.convert_json_reps_to_pseudo_text, ([{"a": 2**40}],), OverflowError),
    ]


def _leak_icu():
    I = quarnel.ICUWordPreTokenizer
    icu = I({"the"})
    text_ = "The cat, \u4e2d\u6587 \u0e20\u0e32\u0e29\u0e32 caf\u00e9! " * 3
    return [
        LeakCase("construct", I, ({"a", "b"},)),
        LeakCase("bad set", I, (["a"],), TypeError),
        LeakCase("tokenize", lambda t: icu.tokenize(t, remove_stopwords=True), (text_,)),
        LeakCase("batch", icu.batch_tokenize, ([text_, ""],)),
        LeakCase("bad item", icu, (["a", None],), TypeError),
    ]


LEAK.update(RegexTokenizer=_leak_regex, QAAnnotator=_leak_qa, Converter=_leak_converter,
            ICUWordPreTokenizer=_leak_icu)


# ---------------------------------------------------------------- adversarial sizes

@dataclass
class Huge:
    """A call on a very large input, run in a child process. `setup` builds
    the input (its size in bytes is `size(input)`), `run` does the call and
    returns a small summary that `expect` checks."""
    label: str
    setup: str          # Python source building `data` (numpy as np and quarnel imported)
    run: str            # Python expression over `data`, giving a small summary
    expect: Callable[[Any], bool] = field(default=lambda summary: True)


HUGE: dict[str, list[Huge]] = {
    "RegexTokenizer": [
        Huge("100 MB text", "data = 'Word, other w\u00f6rds! ' * (100_000_000 // 20)",
             "len(quarnel.RegexTokenizer().tokenize(data))", lambda n: n == 5 * 5_000_000),
        Huge("100 MB token", "data = 'a' * 100_000_000",
             "[len(t) for t in quarnel.RegexTokenizer().tokenize(data)]", lambda n: n == [100_000_000]),
        Huge("1 M documents", "data = ['doc %d has, words' % i for i in range(1_000_000)]",
             "sum(map(len, quarnel.RegexTokenizer().batch_tokenize(data)))", lambda n: n == 5_000_000),
    ],
    "QAAnnotator": [
        Huge("1 M documents",
             "data = {'d%d' % i: ['doc', str(i), 'has', 'words'] for i in range(1_000_000)}",
             "len(quarnel.QAAnnotator(data).annotate({'q': ['d%d' % i for i in range(0, 1_000_000, 997)]},"
             " {'q': ['7 has']})['q'])", lambda n: n == 1004),
    ],
    "Converter": [
        Huge("2 GB float16 matrix",
             "data = np.zeros((1024, 1 << 20), dtype=np.float16); data[::7, ::4099] = 0.5",
             "len(quarnel.Converter().convert_sparse_reps_to_json_f16(data))", lambda n: n == 1024),
        Huge("2 GB float32 matrix",
             "data = np.zeros((512, 1 << 20), dtype=np.float32); data[::5, ::3001] = 0.25",
             "len(quarnel.Converter().convert_sparse_reps_to_pseudo_text(data))", lambda n: n == 512),
    ],
    "ICUWordPreTokenizer": [
        Huge("100 MB text", "data = 'Word, other w\u00f6rds! ' * (100_000_000 // 20)",
             "len(quarnel.ICUWordPreTokenizer().tokenize(data))", lambda n: n > 0),
        Huge("100 MB token", "data = 'a' * 100_000_000",
             "[len(t) for t in quarnel.ICUWordPreTokenizer().tokenize(data)]", lambda n: n == [100_000_000]),
    ],
}


# ---------------------------------------------------------------- interrupts

# A call that keeps the interpreter lock released for a while, as source run
# in a child process with `quarnel` and `np` imported.
INTERRUPT: dict[str, str] = {
    "RegexTokenizer": "quarnel.RegexTokenizer().batch_tokenize(['Some words, and more! ' * 50] * 40000)",
    "QAAnnotator": "quarnel.QAAnnotator({'d%d' % i: ['w'] * 200 for i in range(2000)})"
                   ".annotate({'q%d' % i: ['d%d' % j for j in range(2000)] for i in range(40)},"
                   " {'q%d' % i: ['w w x'] for i in range(40)})",
    "Converter": "quarnel.Converter().convert_sparse_reps_to_pseudo_text(np.full((2000, 2000), 0.05, np.float32))",
    "ICUWordPreTokenizer": "quarnel.ICUWordPreTokenizer().batch_tokenize(['Some words, and more! ' * 50] * 4000)",
}
