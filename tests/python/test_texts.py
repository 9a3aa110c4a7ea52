"""Every fixed text the module shows, against one snapshot (texts.json).

Docstrings, text signatures, qualified names, and each message as a call
actually raises it. Callers match on these texts, so none changes by
accident: a deliberate change is made in src/core/texts.hpp and recorded
with `QUARNEL_UPDATE_TEXTS=1 pytest tests/python/test_texts.py`. Messages
that come from the libraries (Oniguruma, ICU) or from the interpreter alone
are not recorded; the other tests check what those calls do.
"""
import ast
import json
import os
import subprocess
import sys
from pathlib import Path

import numpy as np

import quarnel
from quarnel import Converter, ICUWordPreTokenizer, QAAnnotator, RegexTokenizer

SNAPSHOT = Path(__file__).with_name("texts.json")

TOK = RegexTokenizer()
ICU = ICUWordPreTokenizer()
QA = QAAnnotator({"d": ["a"]})
F32 = np.zeros((1, 1), np.float32)


class Outer:
    class Inner:
        pass


# label -> a call that fails; recorded as "ExceptionType: message".
CALLS = {
    # binding
    "missing one": lambda: TOK.tokenize(),
    "missing two": lambda: QA.annotate(),
    "missing one of new": lambda: QAAnnotator(),
    "takes exactly": lambda: TOK.tokenize("a", "b"),
    "takes one was": lambda: Converter(None, 1),
    "takes from to": lambda: RegexTokenizer("a", True, True, "nfd", 5),
    "multiple values": lambda: TOK.tokenize("a", text="b"),
    "unexpected keyword": lambda: TOK.tokenize(txt="b"),
    "unexpected keyword of call": lambda: ICU(texts=["a"], text="b"),
    "unexpected keyword of new": lambda: RegexTokenizer(foo=1),
    # conversion
    "PyString": lambda: TOK.tokenize(3),
    "PyString item": lambda: TOK.batch_tokenize(["a", 1]),
    "PyString nested type": lambda: TOK.tokenize(Outer.Inner()),
    "PyBool": lambda: RegexTokenizer(lowercase=1),
    "PyBool numpy": lambda: RegexTokenizer(lowercase=np.int64(1)),
    "Sequence": lambda: TOK.batch_tokenize({"a"}),
    "Sequence generator": lambda: TOK(x for x in ["a"]),
    "str as Vec": lambda: TOK.batch_tokenize("abc"),
    "PyDict": lambda: QA.annotate({}, []),
    "PyDict item": lambda: Converter().convert_json_reps_to_pseudo_text([["a"]]),
    "PySet": lambda: ICUWordPreTokenizer(None),
    "PyArray": lambda: Converter().convert_sparse_reps_to_json(np.zeros(3, np.float32)),
    "PyArray element type": lambda: Converter().convert_sparse_reps_to_json_f16(F32),
    "int": lambda: Converter().convert_sparse_reps_to_json(F32, 1.5),
    "int32 range": lambda: Converter().convert_sparse_reps_to_json(F32, 2 ** 31),
    "receiver": lambda: RegexTokenizer.__call__(object(), ["a"]),
    "ICU PyString": lambda: ICU.tokenize(b"a"),
    "ICU PyString item": lambda: ICU.batch_tokenize(["a", 1]),
    "ICU str as Vec": lambda: ICU.batch_tokenize("a b"),
    "ICU Sequence": lambda: ICU({"a"}),
    "ICU PyBool": lambda: ICU.tokenize("a", lowercase=None),
    "ICU PySet": lambda: ICUWordPreTokenizer(["the"]),
    "ICU PySet item": lambda: ICUWordPreTokenizer({1}),
    "corpus PyDict": lambda: QAAnnotator(["d"]),
    "corpus str as Vec": lambda: QAAnnotator({"d": "a b"}),
    "corpus key": lambda: QAAnnotator({1: ["a"]}),
    "corpus item": lambda: QAAnnotator({"d": ["a", 2]}),
    "corpus Sequence": lambda: QAAnnotator({"d": {"a"}}),
    "corpus not a sequence": lambda: QAAnnotator({"d": 5}),
    "run str as Vec": lambda: QA.annotate({"q": "d1"}, {"q": ["a"]}),
    "json_reps key": lambda: Converter().convert_json_reps_to_pseudo_text([{1: 1}]),
    "json_reps value": lambda: Converter().convert_json_reps_to_pseudo_text([{"a": "1"}]),
    "json_reps range": lambda: Converter().convert_json_reps_to_pseudo_text([{"a": 2 ** 31}]),
    "vocab_dict PyDict": lambda: Converter(None),
    "vocab_dict key": lambda: Converter({"1": "a"}),
    "vocab_dict value": lambda: Converter({1: 2}),
    "negative_prefix": lambda: Converter().convert_sparse_reps_to_pseudo_text(F32, negative_prefix=b"n"),
    # the classes
    "normalization_from": lambda: RegexTokenizer(normalization_from="NFX"),
    "normalization_from of QAAnnotator": lambda: QAAnnotator({}, normalization_from="x"),
    "missing answers": lambda: QA.annotate({"q": ["d"]}, {}),
    "missing document": lambda: QA.annotate_non_optim({"q": ["e"]}, {"q": ["a"]}),
    "token id": lambda: Converter({0: "a"}).convert_sparse_reps_to_json(np.ones((1, 2), np.float32),
                                                                        convert_id_to_token=True),
    "columns": lambda: Converter().convert_sparse_reps_to_json_f16(
        np.lib.stride_tricks.as_strided(np.ones(1, np.float16), shape=(2, 2 ** 32 - 1), strides=(0, 0))),
    "pseudo text size": lambda: Converter().convert_sparse_reps_to_pseudo_text(np.full((1, 16), np.inf, np.float32)),
}


def columnar_calls(columnar, pa):
    return {
        "columnar not strings": lambda: columnar.tokenize(TOK, pa.array([1, 2])),
        "columnar dictionary": lambda: columnar.tokenize(TOK, pa.array(["a"]).dictionary_encode()),
        "columnar not an array": lambda: columnar.tokenize(TOK, ["a list"]),
        "columnar receiver": lambda: columnar.tokenize(ICU, pa.array(["a"])),
        "columnar not string lists": lambda: columnar.annotator(pa.array(["d"]), pa.array(["a"])),
        "columnar row counts": lambda: columnar.annotator(pa.array(["d"]), pa.array([["a"], ["b"]])),
        "columnar null docid": lambda: columnar.annotator(pa.array([None], pa.string()), pa.array([["a"]])),
        "columnar null token": lambda: columnar.annotator(pa.array(["d"]), pa.array([["a", None]])),
        "columnar missing document": lambda: columnar.annotate(columnar.annotator(pa.array(["d"]), pa.array([["a"]])),
                                                               pa.array(["q"]), pa.array(["e"]), pa.array([["a"]])),
        "columnar missing": lambda: columnar.sparse_to_maps(Converter()),
        "columnar missing four": lambda: columnar.annotate(),
    }


def raised(call):
    try:
        call()
    except BaseException as e:  # noqa: B036 - PanicException derives from BaseException
        text = f"{type(e).__name__}: {e}"
        return text + "".join(f"\nnote: {n}" for n in getattr(e, "__notes__", []))
    return "no exception"


def documented(out, prefix, obj):
    for attr in ("__qualname__", "__module__", "__doc__", "__text_signature__"):
        value = getattr(obj, attr, None)
        if value is not None:
            out[f"{prefix}.{attr}"] = value


def current_texts():
    out = {"quarnel.__doc__": quarnel.__doc__}
    for name in quarnel.__all__:
        cls = getattr(quarnel, name)
        documented(out, name, cls)
        for attr in sorted(vars(cls)):
            if not attr.startswith("__"):
                documented(out, f"{name}.{attr}", getattr(cls, attr))
    for label, call in CALLS.items():
        out[f"raises {label}"] = raised(call)

    panic = RegexTokenizer(pattern="(a|aa)+$")
    try:
        panic.tokenize("a" * 50 + "b")
    except BaseException as e:  # noqa: B036
        documented(out, "PanicException", type(e))
        out["PanicException message prefix"] = str(e)[:len("Onig: Regex search error: ")]
    out["raises second initialisation"] = subprocess.run(
        [sys.executable, "-c", "import sys, quarnel\ndel sys.modules['quarnel']\n"
         "try:\n    import quarnel\nexcept ImportError as e:\n    print(f'{type(e).__name__}: {e}')"],
        capture_output=True, text=True, check=True).stdout.strip()

    try:
        import pyarrow as pa
    except ImportError:
        return out
    from quarnel import columnar
    out["columnar.__doc__"] = columnar.__doc__
    for name in sorted(vars(columnar)):
        if not name.startswith("__") and callable(getattr(columnar, name)):
            documented(out, f"columnar.{name}", getattr(columnar, name))
    for column, cls in ((columnar.tokenize(TOK, pa.array(["a b"])), "Column"),
                        (columnar.tokenize(TOK, pa.chunked_array([["a"], ["b"]])), "ChunkedColumn")):
        kind = type(column)
        for attr in sorted(vars(kind)):
            if attr.startswith("__arrow") or attr in ("nbytes", "num_chunks"):
                out[f"columnar.{cls}.{attr}.__doc__"] = getattr(kind, attr).__doc__
        out[f"columnar.{cls} repr"] = repr(column)
    bad = pa.Array.from_buffers(pa.string(), 2, [None, pa.py_buffer(np.array([0, 2, 3], np.int32)),
                                                 pa.py_buffer(b"ok\xff")])
    out["raises columnar not utf-8 note"] = raised(lambda: columnar.tokenize(TOK, bad)).split("\n", 1)[1]
    for label, call in columnar_calls(columnar, pa).items():
        out[f"raises {label}"] = raised(call)
    return out


def test_the_stub_says_what_the_module_says():
    stub = Path(quarnel.__file__).with_name("__init__.pyi")
    assert ast.get_docstring(ast.parse(stub.read_text()), clean=False) == quarnel.__doc__


def test_every_fixed_text_matches_the_snapshot():
    texts = current_texts()
    if os.environ.get("QUARNEL_UPDATE_TEXTS"):
        SNAPSHOT.write_text(json.dumps(texts, indent=1, ensure_ascii=False) + "\n")
    expected = json.loads(SNAPSHOT.read_text())
    if "columnar.__doc__" not in texts:  # no pyarrow here
        expected = {k: v for k, v in expected.items() if "columnar" not in k}
    changed = {k: (expected.get(k), texts.get(k)) for k in expected.keys() | texts.keys()
               if expected.get(k) != texts.get(k)}
    assert not changed, "\n".join(f"{k}:\n  snapshot {v[0]!r}\n  module   {v[1]!r}" for k, v in sorted(changed.items()))
