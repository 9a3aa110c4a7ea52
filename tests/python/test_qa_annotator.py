"""QAAnnotator: construction over a copied corpus, answer matching, qrels,
failures and concurrency."""
import inspect
import random

import pytest

from conftest import in_threads
from quarnel import QAAnnotator, RegexTokenizer

CORPUS = {
    "d1": ["paris", "is", "the", "capital", "of", "france", "."],
    "d2": ["the", "capital", "city", "of", "france", "is", "paris"],
    "d3": [],
    "d4": ["new", "york", "city"],
    "d5": ["York", "new"],
}


def reference_qrels(corpus, qid_to_docids, qid_to_answers, tokenizer):
    """The plain sliding-window way, for comparison."""
    qrels = {}
    for qid, docids in qid_to_docids.items():
        answers = [tokenizer.tokenize(a) for a in qid_to_answers[qid]]
        labels = {}
        for d in docids:
            doc = corpus[d]
            labels[d] = int(any(doc[i:i + len(a)] == a for a in answers for i in range(len(doc) - len(a) + 1))
                            or any(not a for a in answers))
        qrels[qid] = labels
    return qrels


@pytest.fixture(scope="module")
def qa():
    return QAAnnotator(CORPUS)


@pytest.mark.parametrize("method", ["annotate", "annotate_non_optim"])
def test_matching_rules(qa, method):
    run = getattr(qa, method)
    assert run({}, {"q": ["x"]}) == {}
    assert run({"q": []}, {"q": ["x"]}) == {"q": {}}
    assert run({"q": ["d1", "d2", "d1"]}, {"q": ["Paris"], "unused": []}) == {"q": {"d1": 1, "d2": 1}}
    # Whole, consecutive, in-order tokens only.
    assert run({"q": ["d1", "d2", "d4", "d5"]}, {"q": ["capital of France"]}) == {
        "q": {"d1": 1, "d2": 0, "d4": 0, "d5": 0}}
    assert run({"q": ["d1", "d4"]}, {"q": ["pari", "new york city town"]}) == {"q": {"d1": 0, "d4": 0}}
    # An empty answer matches everything, even an empty document; no answers match nothing.
    assert run({"q": ["d1", "d3"]}, {"q": ["", "zzz"]}) == {"q": {"d1": 1, "d3": 1}}
    assert run({"q": ["d1", "d3"]}, {"q": ["!!??"]}) == {"q": {"d1": 0, "d3": 0}}
    assert run({"q": ["d1", "d3"]}, {"q": []}) == {"q": {"d1": 0, "d3": 0}}
    # Corpus tokens are compared as stored: the lowercased answer misses "York".
    assert run({"q": ["d5"]}, {"q": ["York"]}) == {"q": {"d5": 0}}
    # Each question is judged against its own answers.
    assert run({"a": ["d4"], "b": ["d4"]}, {"a": ["York"], "b": ["paris"]}) == {"a": {"d4": 1}, "b": {"d4": 0}}


def test_tokenizer_settings_reach_answers_only():
    qa = QAAnnotator(CORPUS, lowercase=False)
    assert qa.annotate({"q": ["d5", "d4"]}, {"q": ["York"]}) == {"q": {"d5": 1, "d4": 0}}
    qa = QAAnnotator({"d": ["\ufb01ne"]}, normalization_from="nfkc")
    assert qa.annotate({"q": ["d"]}, {"q": ["\ufb01ne"]}) == {"q": {"d": 0}}
    qa = QAAnnotator({"d": ["a", "b"]}, pattern=r"\S+")
    assert qa.annotate({"q": ["d"]}, {"q": ["a b", "ab"]}) == {"q": {"d": 1}}
    defaults = QAAnnotator(CORPUS)
    explicit = QAAnnotator(CORPUS, r"(?im)([\p{L}\p{N}\p{M}]+)|([^\p{Z}\p{C}])", True, True, "nfd")
    args = ({"q": ["d1", "d2", "d4"]}, {"q": ["Capital, of", "NEW york"]})
    assert defaults.annotate(*args) == explicit.annotate(*args)


@pytest.mark.parametrize("method", ["annotate", "annotate_non_optim"])
def test_missing_ids(qa, method):
    run = getattr(qa, method)
    with pytest.raises(KeyError) as info:
        run({"q": ["d1"]}, {"other": ["x"]})
    assert info.value.args[0].endswith("QID: q")  # which id, of which kind
    with pytest.raises(KeyError) as info:
        run({"q": ["d1", "nope"]}, {"q": ["x"]})
    assert info.value.args[0].endswith("docid: nope")
    # Looked up even when the question has no answers.
    with pytest.raises(KeyError, match="docid: nope"):
        run({"q": ["nope"]}, {"q": []})
    # A question's answers are looked up before its documents.
    with pytest.raises(KeyError) as info:
        run({"q": ["nope"]}, {})
    assert info.value.args[0].endswith("QID: q")  # which id, of which kind
    # Empty document lists still need answers.
    with pytest.raises(KeyError, match="QID: q"):
        run({"q": []}, {})
    # The annotator still works afterwards.
    assert run({"q": ["d1"]}, {"q": ["paris"]}) == {"q": {"d1": 1}}


def test_one_error_reported_among_many():
    qa = QAAnnotator({f"d{i}": ["x"] for i in range(100)})
    docids = {f"q{i}": [f"d{j}" for j in range(100)] + [f"missing{i}"] for i in range(200)}
    answers = {f"q{i}": ["x"] for i in range(200)}
    for _ in range(20):
        with pytest.raises(KeyError) as info:
            qa.annotate(docids, answers)
        (msg,) = info.value.args
        assert "docid: missing" in msg


def test_empty_corpus():
    qa = QAAnnotator({})
    assert qa.annotate({"q": []}, {"q": ["a"]}) == {"q": {}}
    with pytest.raises(KeyError, match="docid: d"):
        qa.annotate({"q": ["d"]}, {"q": ["a"]})


@pytest.mark.parametrize(
    "args, kwargs, error",
    [
        ((["d"],), {}, TypeError),
        (({"d": "a b"},), {}, TypeError),
        (({1: ["a"]},), {}, TypeError),
        (({"d": ["a", 2]},), {}, TypeError),
        (({"d": {"a"}},), {}, TypeError),
        (({},), {"lowercase": 1}, TypeError),
        (({},), {"normalization_from": "nfx"}, ValueError),
        (({"d": 5},), {"lowercase": 1}, TypeError),
        ((), {}, TypeError),
        (({}, "p", True, True, "nfd", 1), {}, TypeError),
    ],
)
def test_construction_errors(args, kwargs, error):
    # (their messages: test_texts.py)
    with pytest.raises(error) as info:
        QAAnnotator(*args, **kwargs)
    assert type(info.value) is error


def test_construction_surrogates_and_pattern_errors():
    with pytest.raises(UnicodeEncodeError):
        QAAnnotator({"d\ud800": ["a"]})
    with pytest.raises(UnicodeEncodeError):
        QAAnnotator({"d": ["a", "\udc00"]})
    with pytest.raises(ValueError) as a:
        QAAnnotator({}, pattern="(")
    with pytest.raises(ValueError) as b:
        RegexTokenizer(pattern="(")
    assert str(a.value) == str(b.value)


@pytest.mark.parametrize("method", ["annotate", "annotate_non_optim"])
def test_call_errors(qa, method):
    run = getattr(qa, method)
    # (their messages: test_texts.py; each names the argument that failed)
    with pytest.raises(TypeError):
        run()
    with pytest.raises(TypeError, match="^argument 'qid_to_docids': "):
        run({"q": "d1"}, {"q": ["a"]})
    with pytest.raises(TypeError, match="^argument 'qid_to_answers': "):
        run({"q": ["d1"]}, {"q": "a"})
    with pytest.raises(TypeError, match="^argument 'qid_to_answers': "):
        run(qid_to_answers=[], qid_to_docids={})
    with pytest.raises(UnicodeEncodeError):
        run({"q": ["d1"]}, {"q": ["\ud800"]})
    with pytest.raises(TypeError):
        getattr(QAAnnotator, method)(RegexTokenizer(), {}, {})


def test_methods():  # (their texts: test_texts.py)
    for method in ("annotate", "annotate_non_optim"):
        assert list(inspect.signature(getattr(QAAnnotator, method)).parameters) == [
            "self", "qid_to_docids", "qid_to_answers"]


def test_corpus_is_copied():
    corpus = {"d": ["a", "b"], "e": ("c",)}
    qa = QAAnnotator(corpus)
    corpus["d"].clear()
    corpus["x"] = ["a"]
    del corpus["e"]
    assert qa.annotate({"q": ["d", "e"]}, {"q": ["a b", "c"]}) == {"q": {"d": 1, "e": 1}}
    with pytest.raises(KeyError):
        qa.annotate({"q": ["x"]}, {"q": ["a"]})


def _random_case(rng):
    vocab = ["a", "b", "c", "aa", "ab", "", "\u00e9", "B", "b c"]
    corpus = {f"d{i}": [rng.choice(vocab) for _ in range(rng.randrange(12))] for i in range(rng.randrange(1, 30))}
    qids = [f"q{i}" for i in range(rng.randrange(0, 25))]
    docids = {q: [rng.choice(list(corpus)) for _ in range(rng.randrange(0, 15))] for q in qids}
    answers = {q: [" ".join(rng.choice(vocab) for _ in range(rng.randrange(0, 4))) for _ in range(rng.randrange(0, 4))]
               for q in qids}
    return corpus, docids, answers


def test_parallel_sequential_and_reference_agree_on_generated_inputs():
    rng = random.Random(12345)
    tok = RegexTokenizer()
    for _ in range(300):
        corpus, docids, answers = _random_case(rng)
        qa = QAAnnotator(corpus)
        parallel = qa.annotate(docids, answers)
        assert parallel == qa.annotate_non_optim(docids, answers)
        assert parallel == reference_qrels(corpus, docids, answers, tok)


def test_threads_share_an_annotator():
    rng = random.Random(99)
    corpus = {f"d{i}": [rng.choice("abcdefgh") for _ in range(60)] for i in range(500)}
    docids = {f"q{i}": rng.sample(list(corpus), 40) for i in range(300)}
    answers = {q: ["".join(rng.choice("abcdefgh") + " " for _ in range(3))] for q in docids}
    qa = QAAnnotator(corpus)
    expected = qa.annotate_non_optim(docids, answers)
    results = []

    def worker():
        for _ in range(5):
            results.append(qa.annotate(docids, answers) == expected)
            with pytest.raises(KeyError):
                qa.annotate({"q": ["missing"]}, {"q": []})

    in_threads(6, lambda _: worker())
    assert results == [True] * 30
