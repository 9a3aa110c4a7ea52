"""Every class and method of quarnel, and every function of quarnel.columnar,
with static types.

`mypy --strict examples/typed_usage.py` checks it against the installed
stub; running it prints a one-line summary per class.
"""

from __future__ import annotations

import numpy as np
from numpy.typing import NDArray

from quarnel import Converter, ICUWordPreTokenizer, QAAnnotator, RegexTokenizer


def regex_tokenizer() -> list[list[str]]:
    tok = RegexTokenizer(lowercase=True, normalize=True, normalization_from="NFKC")
    words: list[str] = tok.tokenize("Who wrote Hamlet?")
    batch: list[list[str]] = tok.batch_tokenize(["Shakespeare did.", "It was 1600."])
    called: list[list[str]] = tok(("A tuple", "of texts"))
    return [words, *batch, *called]


def qa_annotator() -> dict[str, dict[str, int]]:
    tok = RegexTokenizer()
    corpus: dict[str, list[str]] = {
        "d1": tok.tokenize("Hamlet was written by William Shakespeare."),
        "d2": tok.tokenize("Macbeth is a tragedy."),
    }
    annotator = QAAnnotator(corpus, lowercase=True)
    run: dict[str, list[str]] = {"q1": ["d1", "d2"]}
    answers: dict[str, list[str]] = {"q1": ["William Shakespeare"]}
    qrels = annotator.annotate(run, answers)
    assert qrels == annotator.annotate_non_optim(run, answers)
    return qrels


def converter() -> tuple[list[dict[str, int]], list[str]]:
    conv = Converter({0: "[PAD]", 1: "hamlet", 2: "play"})
    reps32: NDArray[np.float32] = np.array([[0.0, 1.25, 0.5]], dtype=np.float32)
    reps16: NDArray[np.float16] = reps32.astype(np.float16)
    json32 = conv.convert_sparse_reps_to_json(reps32, quantization_factor=100)
    json32b = conv.convert_sparse_reps_to_json_f32(reps32, convert_id_to_token=True)
    json16 = conv.convert_sparse_reps_to_json_f16(
        reps16, allow_negative_values=True, negative_prefix="neg_"
    )
    texts = conv.convert_sparse_reps_to_pseudo_text(reps32)
    texts += conv.convert_sparse_reps_to_pseudo_text_f32(reps32, 10, True)
    texts += conv.convert_sparse_reps_to_pseudo_text_f16(reps16)
    texts += conv.convert_json_reps_to_pseudo_text([{"hamlet": 2, "play": 1}])
    return json32 + json32b + json16, texts


def icu_word_pre_tokenizer() -> list[list[str]]:
    pre = ICUWordPreTokenizer(frozenset({"the", "a"}))
    words: list[str] = pre.tokenize("The play's the thing", remove_stopwords=True)
    batch = pre.batch_tokenize(["東京は日本の首都です", "สวัสดีครับ"], lowercase=False)
    called = pre(["Hello, World!"], remove_stopwords=False, lowercase=True)
    return [words, *batch, *called]


def columnar_functions() -> list[int]:
    # Columns made by quarnel are Arrow columns like any other: here they feed
    # each other (pyarrow, Polars or DuckDB columns go in the same way).
    from quarnel import columnar

    conv = Converter({0: "hamlet", 1: "play", 2: "prince"})
    reps: NDArray[np.float32] = np.array([[0.02, 0.0, 0.01], [0.0, 0.03, 0.0]], dtype=np.float32)
    texts: columnar.Column = columnar.sparse_to_pseudo_text(conv, reps, convert_id_to_token=True)
    maps = columnar.sparse_to_maps(conv, reps.astype(np.float16), allow_negative_values=True)
    tokens = columnar.tokenize(RegexTokenizer(), texts)
    words = columnar.pre_tokenize(ICUWordPreTokenizer(), texts, remove_stopwords=False, lowercase=True)
    annotator: QAAnnotator = columnar.annotator(texts, tokens, lowercase=True)
    labels = columnar.annotate(annotator, texts, texts, words)
    return [len(maps), len(tokens), len(words), len(labels), labels.nbytes > 0]


def main() -> None:
    print("RegexTokenizer:", regex_tokenizer())
    print("QAAnnotator:", qa_annotator())
    reps, texts = converter()
    print("Converter:", reps, texts)
    print("ICUWordPreTokenizer:", icu_word_pre_tokenizer())
    print("columnar:", columnar_functions())


if __name__ == "__main__":
    main()
