"""The module frame: registration, type properties, argument binding and
conversion messages, the call boundary."""
import inspect
import subprocess
import sys
import textwrap
import weakref

import numpy as np
import pytest

import quarnel
from quarnel import RegexTokenizer


def test_module_attributes():
    assert quarnel.__all__ == ["Converter", "RegexTokenizer", "QAAnnotator", "ICUWordPreTokenizer"]
    for name in quarnel.__all__:
        assert getattr(quarnel, name).__name__ == name
    assert not hasattr(quarnel, "PanicException")


@pytest.mark.parametrize("name", ["Converter", "RegexTokenizer", "QAAnnotator", "ICUWordPreTokenizer"])
def test_type_properties(name):
    cls = getattr(quarnel, name)
    assert cls.__base__ is object
    assert cls.__doc__ and not cls.__doc__.startswith(name + "(")
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    own = {k for k in vars(cls) if not k.startswith("__")}
    assert own == {"Converter": {"convert_sparse_reps_to_json", "convert_sparse_reps_to_json_f32",
                                 "convert_sparse_reps_to_json_f16", "convert_sparse_reps_to_pseudo_text",
                                 "convert_sparse_reps_to_pseudo_text_f32", "convert_sparse_reps_to_pseudo_text_f16",
                                 "convert_json_reps_to_pseudo_text"},
                   "RegexTokenizer": {"tokenize", "batch_tokenize"},
                   "QAAnnotator": {"annotate", "annotate_non_optim"},
                   "ICUWordPreTokenizer": {"tokenize", "batch_tokenize"}}[name]


def test_instances_have_no_dict_or_weakref():
    tok = RegexTokenizer()
    with pytest.raises(AttributeError):
        tok.foo = 1
    with pytest.raises(AttributeError):
        tok.tokenize = None
    with pytest.raises(TypeError):
        weakref.ref(tok)


def test_method_signatures():
    assert list(inspect.signature(RegexTokenizer.tokenize).parameters) == ["self", "text"]
    assert list(inspect.signature(RegexTokenizer.batch_tokenize).parameters) == ["self", "texts"]
    assert list(inspect.signature(RegexTokenizer).parameters) == ["pattern", "lowercase", "normalize",
                                                                  "normalization_from"]


def test_second_initialisation_is_refused():
    code = textwrap.dedent(
        """
        import sys, quarnel
        del sys.modules['quarnel']
        try:
            import quarnel
        except ImportError as e:
            print('ImportError', e)
        import importlib
        """
    )
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert out.startswith("ImportError")


@pytest.mark.parametrize(
    "call",
    [
        lambda t: t.tokenize(),
        lambda t: t.tokenize("a", "b"),
        lambda t: t.tokenize("a", text="b"),
        lambda t: t.tokenize(txt="b"),
        lambda t: RegexTokenizer(foo=1),
        lambda t: RegexTokenizer("a", True, True, "nfd", 5),
        lambda t: t(),
        lambda t: t(["a"], ["b"]),
        lambda t: RegexTokenizer(lowercase=1),
        lambda t: RegexTokenizer(pattern=None),
        lambda t: t.tokenize(3),
        lambda t: t.batch_tokenize("abc"),
        lambda t: t.batch_tokenize({"a"}),
        lambda t: t.batch_tokenize(["a", 1]),
        lambda t: t(x for x in ["a"]),
        lambda t: RegexTokenizer(pattern=1, lowercase=2),
    ],
)
def test_binding_and_conversion_errors_are_type_errors(call):
    # (their messages: test_texts.py)
    with pytest.raises(TypeError) as info:
        call(RegexTokenizer())
    assert type(info.value) is TypeError


def test_foreign_receivers_are_refused():
    # The interpreter's method descriptors check the receiver before the
    # module's own receiver check can run; either way it is a TypeError and
    # the native code never sees the foreign object.
    for call in (lambda: RegexTokenizer.tokenize(object(), "a"),
                 lambda: RegexTokenizer.batch_tokenize(3, ["a"]),
                 lambda: RegexTokenizer.__call__(object(), ["a"])):
        with pytest.raises(TypeError):
            call()


def test_qualname_of_nested_types_in_messages():
    class Outer:
        class Inner:
            pass

    with pytest.raises(TypeError) as info:
        RegexTokenizer().tokenize(Outer.Inner())
    assert "'test_qualname_of_nested_types_in_messages.<locals>.Outer.Inner'" in str(info.value)


def test_encoding_errors_pass_unchanged():
    with pytest.raises(UnicodeEncodeError):
        RegexTokenizer().tokenize("a\ud800b")
    with pytest.raises(UnicodeEncodeError):
        RegexTokenizer().batch_tokenize(["ok", "\udfff"])
    with pytest.raises(UnicodeEncodeError):
        RegexTokenizer(pattern="\ud800")


def test_sequences_and_bools_accepted():
    tok = RegexTokenizer()
    assert tok.batch_tokenize(("a b", "C")) == [["a", "b"], ["c"]]

    class Texts:  # a sequence that is neither list nor tuple
        def __len__(self):
            return 2

        def __getitem__(self, i):
            if i >= 2:
                raise IndexError
            return ["x y", "Z"][i]

    assert tok.batch_tokenize(Texts()) == [["x", "y"], ["z"]]
    assert tok.batch_tokenize(["s", type("S", (str,), {})("Sub Str")]) == [["s"], ["sub", "str"]]
    assert RegexTokenizer(lowercase=np.bool_(False)).tokenize("Ab") == ["Ab"]
    assert RegexTokenizer(lowercase=np.True_).tokenize("Ab") == ["ab"]
    with pytest.raises(TypeError):
        RegexTokenizer(lowercase=np.int64(1))


def test_panic_exception():
    tok = RegexTokenizer(pattern="(a|aa)+$")
    with pytest.raises(BaseException) as info:
        tok.tokenize("a" * 50 + "b")
    exc = info.value
    assert not isinstance(exc, Exception)
    assert type(exc).__name__ == "PanicException"
    assert type(exc).__module__ != "quarnel"
    assert type(exc).__bases__ == (BaseException,)
    assert str(exc).startswith("Onig: Regex search error: ")
    assert exc.args == (str(exc),)
    # The same class every time, and the process goes on working.
    with pytest.raises(BaseException) as again:
        tok.batch_tokenize(["ok", "a" * 50 + "b"])
    assert type(again.value) is type(exc)
    assert tok.tokenize("aab") == []
    assert RegexTokenizer().tokenize("still works") == ["still", "works"]


def test_argument_error_rule_keeps_cause_and_other_types():
    class Items:  # a sequence whose items fail while being read
        def __init__(self, exc):
            self.exc = exc

        def __len__(self):
            return 1

        def __getitem__(self, i):
            try:
                raise KeyError("inner")
            except KeyError as cause:
                raise self.exc from cause

    tok = RegexTokenizer()
    with pytest.raises(TypeError) as info:
        tok.batch_tokenize(Items(TypeError("bad item")))
    assert str(info.value) == "argument 'texts': bad item"
    assert isinstance(info.value.__cause__, KeyError)

    class MyTypeError(TypeError):
        pass

    for exc in (ValueError("v"), MyTypeError("sub")):  # not exactly TypeError: unchanged
        with pytest.raises(type(exc)) as info:
            tok.batch_tokenize(Items(exc))
        assert str(info.value) == str(exc)
