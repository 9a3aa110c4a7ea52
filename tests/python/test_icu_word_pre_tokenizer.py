"""ICUWordPreTokenizer from Python: documented behaviour, the scripts
written without spaces, Unicode word-break conformance, threads."""
import importlib.util
import random
import sys
from pathlib import Path

import pytest

from conftest import icu_child, icu_unassigned, in_threads, ticks_during
from quarnel import ICUWordPreTokenizer

TOK = ICUWordPreTokenizer()
WORD_BREAK_TEST = Path("/usr/share/unicode/auxiliary/WordBreakTest.txt")


@pytest.mark.parametrize(
    "text, tokens",
    [
        ("", []),
        (" \u00a0\u3000 \u00a0", []),
        ("\x00\t\n", []),
        ("Hello, World!", ["hello", ",", "world", "!"]),
        ("line one\nline two", ["line", "oneline", "two"]),
        ("a\tb", ["ab"]),
        ("a\uffffb", ["ab"]),
        ("a\u0378b", ["ab"]),
        ("a\u2028b", ["a", "b"]),
        ("don't", ["don't"]),
        ("3.14", ["3.14"]),
        ("\u039f\u0394\u039f\u03a3", ["\u03bf\u03b4\u03bf\u03c2"]),
        ("\u0130", ["i\u0307"]),
        # Final_Sigma looks at the whole text, across word boundaries: '^'
        # is case-ignorable and a segment of its own.
        ("\u0391^\u03a3", ["\u03b1", "^", "\u03c2"]),
        ("\u0391^\u03a3^\u0392", ["\u03b1", "^", "\u03c3", "^", "\u03b2"]),
        ("\u0391 \u03a3", ["\u03b1", "\u03c3"]),
        # Format and private-use characters stay; C1 controls go.
        ("a\u00adb \ue000", ["a\u00adb", "\ue000"]),
        ("x\u0085y", ["xy"]),
        ("\U0001F600 ok", ["\U0001F600", "ok"]),
    ],
)
def test_documented_tokens(text, tokens):
    assert TOK.tokenize(text) == tokens


def test_lowercase_off():
    assert TOK.tokenize("Hello, World!", lowercase=False) == ["Hello", ",", "World", "!"]
    assert TOK.tokenize("\u039f\u0394\u039f\u03a3", False, False) == ["\u039f\u0394\u039f\u03a3"]


def test_stopwords():
    the = ICUWordPreTokenizer({"the"})
    assert the.tokenize("The cat", remove_stopwords=True) == ["cat"]
    assert the.tokenize("The cat", remove_stopwords=True, lowercase=False) == ["The", "cat"]
    assert the.tokenize("The cat") == ["the", "cat"]
    assert ICUWordPreTokenizer({"The"}).tokenize("The cat", remove_stopwords=True) == ["the", "cat"]
    assert ICUWordPreTokenizer(stopword_sets={","}).tokenize("a, b", True) == ["a", "b"]
    assert ICUWordPreTokenizer(frozenset({"b"})).batch_tokenize(["a b"], True) == [["a"]]

    class MySet(set):
        pass

    words = TOK.tokenize(UNSPACED["Chinese"])
    assert ICUWordPreTokenizer(MySet({words[1]})).tokenize(UNSPACED["Chinese"], True) == words[:1] + words[2:]
    assert TOK.tokenize("the", remove_stopwords=True) == ["the"]  # no stop words at all


def test_batch_and_call():
    assert TOK.batch_tokenize(["a b", ""]) == [["a", "b"], []]
    assert TOK(["a b"]) == [["a", "b"]]
    assert TOK.batch_tokenize([]) == []
    assert TOK(("A b",), lowercase=False) == [["A", "b"]]
    texts = ["Hello, World!", "\u4eca\u5929\u5929\u6c14\u5f88\u597d", "", "ΟΔΟΣ x"]
    assert TOK.batch_tokenize(texts, True, False) == [TOK.tokenize(t, True, False) for t in texts]


@pytest.mark.parametrize(
    "call, error",
    [
        (lambda: TOK.batch_tokenize("a b"), TypeError),
        (lambda: TOK.batch_tokenize(["a", 1]), TypeError),
        (lambda: TOK({"a"}), TypeError),
        (lambda: TOK.tokenize(b"a"), TypeError),
        (lambda: TOK.tokenize("a", 1), TypeError),
        (lambda: TOK.tokenize("a", lowercase=None), TypeError),
        (lambda: ICUWordPreTokenizer(["the"]), TypeError),
        (lambda: ICUWordPreTokenizer({"a": 1}), TypeError),
        (lambda: ICUWordPreTokenizer(None), TypeError),
        (lambda: ICUWordPreTokenizer({1}), TypeError),
        (lambda: TOK.tokenize(), TypeError),
        (lambda: TOK.tokenize("a", True, True, 1), TypeError),
        (lambda: TOK(texts=["a"], text="b"), TypeError),
        (lambda: ICUWordPreTokenizer(set(), 1), TypeError),
        (lambda: TOK.batch_tokenize(["a"], texts=["b"]), TypeError),
    ],
)
def test_argument_errors(call, error):
    # (their messages: test_texts.py)
    with pytest.raises(error) as info:
        call()
    assert type(info.value) is error


def test_encoding_errors_and_receiver():
    with pytest.raises(UnicodeEncodeError):
        TOK.tokenize("a\ud800")
    with pytest.raises(UnicodeEncodeError):
        ICUWordPreTokenizer({"\udc00"})
    with pytest.raises(TypeError):
        ICUWordPreTokenizer.tokenize(object(), "a")


def test_class_surface():
    cls = ICUWordPreTokenizer
    assert cls.__base__ is object  # (its texts: test_texts.py)
    assert {k for k in vars(cls) if not k.startswith("__")} == {"tokenize", "batch_tokenize"}
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    with pytest.raises(AttributeError):
        TOK.stopwords = set()


# Text without spaces in each script that ICU cuts by dictionary, with the
# number of words it must at least give.
UNSPACED = {
    "Chinese": "\u6211\u4eec\u660e\u5929\u4e00\u8d77\u53bb\u56fe\u4e66\u9986\u770b\u4e66",
    "Japanese": "\u79c1\u306f\u6771\u4eac\u306e\u5927\u5b66\u3067\u65e5\u672c\u8a9e\u3092\u52c9\u5f37\u3057\u3066\u3044\u307e\u3059",
    "Thai": "\u0e09\u0e31\u0e19\u0e0a\u0e2d\u0e1a\u0e01\u0e34\u0e19\u0e02\u0e49\u0e32\u0e27\u0e40\u0e2b\u0e19\u0e35\u0e22\u0e27\u0e21\u0e32\u0e01",
    "Lao": "\u0e82\u0ec9\u0ead\u0e8d\u0eae\u0eb1\u0e81\u0e9b\u0eb0\u0ec0\u0e97\u0e94\u0ea5\u0eb2\u0ea7",
    "Khmer": "\u1781\u17d2\u1789\u17bb\u17c6\u1785\u17bc\u179b\u1785\u17b7\u178f\u17d2\u178f\u1797\u17b6\u179f\u17b6\u1781\u17d2\u1798\u17c2\u179a",
    "Burmese": "\u1000\u103b\u103d\u1014\u103a\u1010\u1031\u102c\u103a\u1019\u103c\u1014\u103a\u1019\u102c\u1005\u1000\u102c\u1038\u1015\u103c\u1031\u102c\u1010\u101a\u103a",
}


@pytest.mark.parametrize("language", sorted(UNSPACED))
def test_unspaced_scripts_come_back_as_several_words(language):
    text = UNSPACED[language]
    tokens = TOK.tokenize(text)
    assert len(tokens) >= 3, tokens
    assert "".join(tokens) == text
    # Between spaced words too, and the same words either way.
    assert TOK.tokenize(f"x {text} y") == ["x", *tokens, "y"]


def _word_break_cases():
    """(line number, text, segments) of each WordBreakTest.txt test line."""
    for number, line in enumerate(WORD_BREAK_TEST.read_text(encoding="utf-8").splitlines(), 1):
        line = line.split("#")[0].strip()
        if not line:
            continue
        segments, current = [], ""
        for item in line.split()[1:]:
            if item == "\u00f7":
                segments.append(current)
                current = ""
            elif item != "\u00d7":
                current += chr(int(item, 16))
        yield number, "".join(segments), segments


def _deleted_by_cleaning(c):
    return TOK.tokenize(f"a{c}a", lowercase=False) == ["aa"]


def _white_space_trimmed(s):
    return s.strip("\t\n\x0b\x0c\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007\u2008\u2009"
                   "\u200a\u2028\u2029\u202f\u205f\u3000")


# ICU's root word rules take U+003A COLON out of MidLetter (UAX #29 has it
# there; ICU keeps it only for the locales that write words with a colon,
# such as Swedish and Finnish), so letters around a colon are cut apart.
# Whether the ICU at hand does so is read off it; the lines this concerns
# are those where the file keeps a colon in one word with letters.
_COLON = "ICU root rules: U+003A COLON is not MidLetter, so 'a:a' is three words"
ICU_SPLITS_AT_COLON = TOK.tokenize("a:a", lowercase=False) != ["a:a"]


def _colon_joins_letters(segments):
    """Whether a segment holds a colon together with a letter or digit."""
    return any(":" in s and any(c.isalnum() for c in s) for s in segments)


def _expected_failure(segments):
    """Why ICU does not give the segments of a test line, or None."""
    return _COLON if ICU_SPLITS_AT_COLON and _colon_joins_letters(segments) else None


def _word_break_check(number, text, segments):
    want = [t for t in map(_white_space_trimmed, segments) if t]
    got = TOK.tokenize(text, lowercase=False)
    return got == want, f"line {number}: {[hex(ord(c)) for c in text]} want {want} got {got}"


needs_test_file = pytest.mark.skipif(not WORD_BREAK_TEST.is_file(), reason="Debian unicode-data is not installed")
WORD_BREAK_EXPECTED_FAILURES = [case for case in (_word_break_cases() if WORD_BREAK_TEST.is_file() else ())
                                if _expected_failure(case[2])]


@needs_test_file
def test_word_break_conformance():
    """Every line without characters that cleaning deletes, except the
    expected failures below."""
    checked, failures, deleted, expected = 0, [], {}, 0
    for number, text, segments in _word_break_cases():
        if _expected_failure(segments):
            expected += 1
            continue
        if any(deleted.setdefault(c, _deleted_by_cleaning(c)) for c in text):
            continue
        checked += 1
        ok, message = _word_break_check(number, text, segments)
        if not ok:
            failures.append(message)
    print(f"WordBreakTest: {checked} lines checked, {checked - len(failures)} pass "
          f"(and {expected} expected failures)")
    assert checked > 1300
    assert not failures, "\n".join(failures[:20])


@needs_test_file
@pytest.mark.parametrize("number, text, segments", WORD_BREAK_EXPECTED_FAILURES,
                         ids=[" ".join(f"{ord(c):04X}" for c in case[1]) for case in WORD_BREAK_EXPECTED_FAILURES])
def test_word_break_expected_failures(number, text, segments, request):
    request.node.add_marker(pytest.mark.xfail(reason=_expected_failure(segments), strict=True))
    ok, message = _word_break_check(number, text, segments)
    assert ok, message


def test_threads_share_one_object():
    texts = [" ".join(random.Random(i).choice(list(UNSPACED.values()) + ["Hello, World!", "ΟΔΟΣ"])
                      for _ in range(20)) for i in range(40)]
    want = [TOK.tokenize(t) for t in texts]
    failures = []

    def work(seed):
        order = list(range(len(texts)))
        random.Random(seed).shuffle(order)
        for _ in range(5):
            for i in order:
                if TOK.tokenize(texts[i]) != want[i]:
                    failures.append(i)
            if TOK.batch_tokenize(texts) != want:
                failures.append("batch")

    in_threads(4, work)
    assert not failures


def test_lock_released_while_tokenizing():
    texts = ["The quick brown fox jumps over the lazy dog. " * 40] * 1500

    def work():
        TOK.batch_tokenize(texts)
        TOK.tokenize(" ".join(texts[:300]))

    assert ticks_during(work, warm_up=lambda: TOK.batch_tokenize(texts[:10])) > 3


def test_many_objects_and_threads_keep_their_own_segmenters():
    # More objects than a thread caches clones of, created and dropped while
    # other threads tokenize: every object must keep cutting like a fresh one.
    words = UNSPACED["Thai"] + " " + UNSPACED["Chinese"]
    want = TOK.tokenize(words)
    failures = []

    def work():
        for k in range(30):
            tok = ICUWordPreTokenizer({str(k)})
            if tok.tokenize(words) != want or TOK.tokenize(words) != want:
                failures.append(k)

    in_threads(3, lambda _: work())
    assert not failures


def test_reference_counts_unchanged():
    tok = ICUWordPreTokenizer({"a"})
    text, texts = "some text here " * 3, ["one two", "\u6211\u4eec"]
    objs = (tok, text, texts)
    before = [sys.getrefcount(o) for o in objs]
    for _ in range(100):
        tok.tokenize(text, True)
        tok.batch_tokenize(texts)
        tok(texts)
        with pytest.raises(TypeError):
            tok.batch_tokenize(texts, lowercase=1)
    assert [sys.getrefcount(o) for o in objs] == before


# ------------------------------------------- against ICU over UTF-16 (PyICU)

needs_pyicu = pytest.mark.skipif(importlib.util.find_spec("icu") is None, reason="PyICU is not installed")


def icu_reference(texts, remove_stopwords=False, lowercase=True, stopwords=frozenset()):
    """icu_reference.py's tokens of `texts`."""
    return icu_child([], (list(texts), remove_stopwords, lowercase, set(stopwords)))


def _random_texts(seed, count):
    """Texts built from the pieces each step is sensitive to."""
    rng = random.Random(seed)
    letters = {"Burmese": (0x1000, 0x109F), "Khmer": (0x1780, 0x17DD), "Lao": (0x0E81, 0x0EDF),
               "Thai": (0x0E01, 0x0E5B)}
    pieces = [" ", "  ", "\u3000", "\t", "\n", "\x00", "\x7f", "\x85", "\x9f", "\ufdd0", "\uffff", "\U0010fffe",
              "\u0378", "\U0001faf9", "\u0301", " \u0301", "\u200d", "\u00ad", "\ue000", "\u2028",
              "\U0001F469\u200D\U0001F4BB", "\U0001F468\u200D\U0001F469\u200D\U0001F467", "\U0001F1EB\U0001F1F7",
              "\U0001F44D\U0001F3FD", "\U0001FAE8", "\U00031350", "\u0cf3", "A", "word", "Don't", "3.14", "1,000",
              "a:b", "e.g.", "\u0130", "\u03a3", "\u039f\u0394\u039f\u03a3", "\u6771\u4eac\u306f", "\u30ab\u30bf\u30ab\u30ca",
              "\ud55c\uad6d\uc5b4", ",", "!", "_", "@", "\U00010400"]
    for _ in range(count):
        parts = []
        for _ in range(rng.randint(0, 12)):
            if rng.random() < 0.3:
                lo, hi = letters[rng.choice(sorted(letters))]
                parts.append("".join(chr(rng.randint(lo, hi)) for _ in range(rng.randint(1, 8))))
            else:
                parts.append(rng.choice(pieces))
        yield "".join(parts)


def _differential_texts():
    yield from (text for _, text, _ in _word_break_cases()) if WORD_BREAK_TEST.is_file() else ()
    corpus = Path(__file__).resolve().parents[2] / "examples" / "data" / "multilingual.tsv"
    yield from (line.split("\t", 1)[1] for line in corpus.read_text(encoding="utf-8").splitlines()
                if line and not line.startswith("#"))
    yield from _random_texts(5, 4000)
    # Letter runs of the scripts cut by dictionary, as the iterator sees them
    # alone and between words.
    for lo, hi in ((0x1000, 0x102A), (0x1780, 0x17B3), (0x0E81, 0x0EAE), (0x0E01, 0x0E2E)):
        rng = random.Random(lo)
        for _ in range(300):
            run = "".join(chr(rng.randint(lo, hi + 20)) for _ in range(rng.randint(1, 8)))
            yield run
            yield f"x {run} y"


@needs_pyicu
def test_same_tokens_as_icu_over_utf16():
    texts = list(_differential_texts())
    assert len(texts) > 8000
    stop = frozenset({"the", ",", "\u0e01"})
    tok = ICUWordPreTokenizer(stop)
    for remove_stopwords, lowercase in ((False, True), (False, False), (True, True)):
        got = tok.batch_tokenize(texts, remove_stopwords, lowercase)
        want = icu_reference(texts, remove_stopwords, lowercase, stop)
        bad = [(t, g, w) for t, g, w in zip(texts, got, want) if g != w]
        assert not bad, bad[:5]
    assert [tok.tokenize(t) for t in texts[:500]] == tok.batch_tokenize(texts[:500])


@needs_pyicu
def test_long_texts_and_batches_beyond_the_kept_buffer():
    rng = random.Random(9)
    long_text = " ".join(_random_texts(7, 3000))  # about 100,000 characters
    assert [TOK.tokenize(long_text)] == icu_reference([long_text])
    # More than the 16 MB a thread keeps: the buffer is let go, and the next
    # call works on a fresh one.
    texts = [long_text[rng.randrange(1000):] for _ in range(90)]
    once = TOK.batch_tokenize(texts)
    assert once == TOK.batch_tokenize(texts) and once[0] == TOK.tokenize(texts[0])


def _icu_has(c):
    """Whether ICU has assigned `c` (conftest.icu_unassigned)."""
    return ord(c) not in icu_unassigned()


@pytest.mark.parametrize("text, tokens, without_recent", [
    # Characters added in Unicode 15.0: kept by an ICU that has them (ICU 72
    # and later), deleted as unassigned by an older one.
    ("emoji\U0001FAE8inside", ["emoji", "\U0001FAE8", "inside"], ["emojiinside"]),
    ("a\U00031350b", ["a", "\U00031350", "b"], ["ab"]),
    ("hello \U0001FAE8 world", ["hello", "\U0001FAE8", "world"], ["hello", "world"]),
    ("\u0c95\u0cf3", ["\u0c95\u0cf3"], ["\u0c95"]),
    # ICU's boundaries over UTF-16 for Burmese.
    ("\u105d\u102a", ["\u105d\u102a"], None),
    ("\u1000\u102a\u105d", ["\u1000\u102a\u105d"], None),
])
def test_unicode_15_characters_and_utf16_boundaries(text, tokens, without_recent):
    recent = "\U0001FAE8\U00031350\u0cf3"
    if not all(_icu_has(c) for c in recent if c in text):
        tokens = without_recent
    assert TOK.tokenize(text) == tokens


@pytest.mark.parametrize("text", ["a\ud800", "\ud800\udc00", "x\udfff y", "\U0001F600\ud800", "\udbff\udfff"])
def test_lone_surrogates_fail_even_where_they_would_pair(text):
    with pytest.raises(UnicodeEncodeError) as info:
        TOK.tokenize(text)
    assert info.value.reason == "surrogates not allowed" and info.value.object == text
    with pytest.raises(UnicodeEncodeError):
        TOK.batch_tokenize(["fine", text])
    with pytest.raises(UnicodeEncodeError):
        ICUWordPreTokenizer({"fine", text})


def test_results_are_canonical_strs():
    # Each token is built in the narrowest kind holding it: equal and
    # hashing equal to the same str made by Python.
    for text in ["ascii caf\u00e9 \u00ff\u00e9", "\u0100b \u4e2d\u6587 \U0001F600\U0001F600 x\U00010400",
                 "\u00e9\u4e2d \U0001F469\u200D\U0001F4BB"]:
        for token in TOK.tokenize(text, lowercase=False):
            same = "".join(list(token))
            assert token == same and hash(token) == hash(same) and sys.getsizeof(token) == sys.getsizeof(same)
