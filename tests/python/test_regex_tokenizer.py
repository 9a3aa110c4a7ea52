"""RegexTokenizer from Python: documented behaviour, Unicode conformance
(normalization and lowercasing), threads and the interpreter lock."""
import bz2
import os
import random
import sys
import unicodedata

import pytest

from conftest import icu_unassigned, in_threads, ticks_during
from quarnel import RegexTokenizer

DEFAULT = RegexTokenizer()


@pytest.mark.parametrize(
    "text, tokens",
    [
        ("Hello, World!", ["hello", ",", "world", "!"]),
        ("don't stop", ["don", "'", "t", "stop"]),
        ("U.S.A.", ["u", ".", "s", ".", "a", "."]),
        ("3.14", ["3", ".", "14"]),
        ("", []),
        ("   \t\n", []),
        ("Caf\u00e9", ["cafe\u0301"]),
        ("co\u00adop", ["co", "op"]),
        ("a\u200db", ["a", "b"]),
        ("hi\U0001F600there", ["hi", "\U0001F600", "there"]),
        ("snake_case", ["snake", "_", "case"]),
        ("\u039f\u0394\u039f\u03a3", ["\u03bf\u03b4\u03bf\u03c2"]),
        ("\u03a3", ["\u03c3"]),
        ("\u0130stanbul", ["i\u0307stanbul"]),
        ("x\u2028y\u00a0z", ["x", "y", "z"]),
    ],
)
def test_default_tokenization(text, tokens):
    assert DEFAULT.tokenize(text) == tokens


def test_settings():
    assert RegexTokenizer(lowercase=False).tokenize("Hello World") == ["Hello", "World"]
    nfkc = RegexTokenizer(normalization_from="NFKC")
    assert nfkc.tokenize("\ufb01ne \uff21\uff22") == ["fine", "ab"]
    assert RegexTokenizer(normalize=False, normalization_from="nfkc").tokenize("\ufb01ne") == ["\ufb01ne"]
    assert RegexTokenizer(normalization_from="nfc").tokenize("Cafe\u0301") == ["caf\u00e9"]
    assert RegexTokenizer(normalize=False).tokenize("Caf\u00e9") == ["caf\u00e9"]
    assert RegexTokenizer(pattern="x*").tokenize("axb") == ["", "x", ""]
    assert RegexTokenizer(pattern="a(b)").tokenize("ab") == ["ab"]
    assert RegexTokenizer(pattern="").tokenize("ab") == ["", "", ""]
    assert RegexTokenizer(pattern="", normalize=False).tokenize("\u00e9") == ["", ""]
    assert RegexTokenizer(pattern=r"\w+", lowercase=False).tokenize("Ab cD") == ["Ab", "cD"]


def test_configuration_errors():
    # (the message, the name lowercased: test_texts.py)
    with pytest.raises(ValueError):
        RegexTokenizer(normalize=False, normalization_from="xyz")
    with pytest.raises(ValueError):
        RegexTokenizer(normalization_from="NFX")
    with pytest.raises(ValueError) as info:
        RegexTokenizer(normalization_from="\u03a3\u03a3")
    assert str(info.value).endswith(" \u03c3\u03c2")  # lowercased as ICU lowercases
    with pytest.raises(ValueError) as info:
        RegexTokenizer(pattern="(")
    assert "end pattern with unmatched parenthesis" in str(info.value)
    with pytest.raises(ValueError):
        RegexTokenizer(pattern="[a")


def test_batches():
    tok = RegexTokenizer()
    assert tok.batch_tokenize([]) == []
    assert tok.batch_tokenize(["a b", "", "C"]) == [["a", "b"], [], ["c"]]
    assert tok(["a"]) == tok.batch_tokenize(["a"]) == [["a"]]
    texts = [f"Text number {i}, with {'words ' * (i % 7)}!" for i in range(3000)]
    assert tok(texts) == [tok.tokenize(t) for t in texts]


def _normalization_cases():
    path = "/usr/share/unicode/NormalizationTest.txt.bz2"
    if not os.path.exists(path):
        path = path[:-4]
    opener = bz2.open if path.endswith(".bz2") else open
    with opener(path, "rt", encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line or line.startswith("@"):
                continue
            cols = ["".join(chr(int(cp, 16)) for cp in col.split()) for col in line.split(";")[:5]]
            yield cols


def test_normalization_conformance():
    """Every line of Unicode's NormalizationTest.txt, through the tokenizer with
    a whole-text pattern: NFC c2 = c1, c3 = c2 ...; NFD c3 = c1 ...; etc."""
    forms = {f: RegexTokenizer(pattern=r"(?m)\A.*\z", lowercase=False, normalization_from=f)
             for f in ("nfc", "nfd", "nfkc", "nfkd")}
    expected_col = {  # form -> for each source column, the expected column
        "nfc": (1, 1, 1, 3, 3),
        "nfd": (2, 2, 2, 4, 4),
        "nfkc": (3, 3, 3, 3, 3),
        "nfkd": (4, 4, 4, 4, 4),
    }
    cases = list(_normalization_cases())
    assert len(cases) > 19000
    for form, tok in forms.items():
        sources = [c[i] for c in cases for i in range(5)]
        got = tok.batch_tokenize(sources)
        want = [[c[expected_col[form][i]]] for c in cases for i in range(5)]
        bad = [(s, g, w) for s, g, w in zip(sources, got, want) if g != w]
        assert not bad[:5], form


def _assigned_in_both(cp):
    # Python's tables and ICU's (which lowercases and normalizes here) are
    # of Unicode versions of their own: compare what both have assigned.
    return unicodedata.category(chr(cp)) not in ("Cn", "Cs") and cp not in icu_unassigned()


def test_lowercase_matches_python_for_every_code_point():
    tok = RegexTokenizer(pattern=r"(?m)\A.*\z", normalize=False)
    cps = [cp for cp in range(sys.maxunicode + 1) if _assigned_in_both(cp) and cp != 0x3A3]
    got = tok.batch_tokenize([chr(cp) for cp in cps])
    mismatches = [(hex(cp), g) for cp, g in zip(cps, got) if g != [chr(cp).lower()]]
    assert mismatches == []


def test_final_sigma_in_context():
    whole = RegexTokenizer(pattern=r"(?m)\A.*\z", normalize=False)
    for text in ["\u03a3", "A\u03a3", "A\u03a3B", "A\u03a3'", "A'\u03a3", "A\u03a3 B", "\u03a3A", "1\u03a3",
                 "\u039f\u0394\u039f\u03a3.", "A\u0301\u03a3\u0301"]:
        assert whole.tokenize(text) == [text.lower()], text
    # Per token: the context is the token alone, not the surrounding text.
    assert DEFAULT.tokenize("\u03a3\u03a3 \u03a3") == ["\u03c3\u03c2", "\u03c3"]


def test_random_texts_against_python_reference():
    """Default pattern vs. the pure-Python way on random mixed text."""
    regex = pytest.importorskip("regex")
    ref = regex.compile(r"(?im)([\p{L}\p{N}\p{M}]+)|([^\p{Z}\p{C}])")
    rng = random.Random(7)
    alphabet = ("abcXYZ019 .,'-_!\t\n\u00e9\u00c9\u0301\u03a3\u03c3\u0130\u00df\u4e2d\u6587\u0627\u0644"
                "\u200b\u00ad\U0001F600\u2028\u3000\u0e01\u0e32\uff21\u2160\u00bd")
    texts = ["".join(rng.choice(alphabet) for _ in range(rng.randrange(40))) for _ in range(3000)]

    def python_way(t):
        t = unicodedata.normalize("NFD", t)
        return [m.group(0).lower() for m in ref.finditer(t)]

    for t, got in zip(texts, DEFAULT.batch_tokenize(texts)):
        # Skip code points whose Unicode version differs between the libraries.
        if any(not _assigned_in_both(ord(c)) for c in t):
            continue
        assert got == python_way(t), repr(t)


def test_lock_released_and_threads_share_a_tokenizer():
    tok = RegexTokenizer()
    texts = ["The quick brown fox jumps over the lazy dog. " * 40] * 4000
    assert ticks_during(lambda: tok.batch_tokenize(texts), warm_up=lambda: tok.batch_tokenize(texts)) > 3

    expected = tok.batch_tokenize(texts[:50])
    results = []

    def worker():
        for _ in range(5):
            results.append(tok.batch_tokenize(texts[:50]) == expected and tok.tokenize(texts[0]) == expected[0])

    in_threads(6, lambda _: worker())
    assert results == [True] * 30


# Forking while the pool's threads run is the point here: the module's fork
# handler must leave the child a pool of its own (CPython 3.12+ warns).
@pytest.mark.filterwarnings("ignore:This process .* is multi-threaded:DeprecationWarning")
def test_batches_work_in_forked_children():
    # multiprocessing's default start method on Linux forks a process that
    # has none of the parent's worker threads; its batches must still run.
    import multiprocessing

    tok = RegexTokenizer()
    tok.batch_tokenize(["start the pool in the parent"])
    ctx = multiprocessing.get_context("fork")
    with ctx.Pool(2) as pool:
        got = pool.map(_tokenize_in_child, [["A b", "c"], ["d, e"]], chunksize=1)
    assert got == [[["a", "b"], ["c"]], [["d", ",", "e"]]]


def _tokenize_in_child(texts):
    return RegexTokenizer().batch_tokenize(texts)
