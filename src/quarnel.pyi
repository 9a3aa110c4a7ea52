"""Expose the classes to Python."""

from collections.abc import Sequence
from typing import final
import numpy
from numpy.typing import NDArray

__all__ = ["Converter", "RegexTokenizer", "QAAnnotator", "ICUWordPreTokenizer"]

# A dict (or subclass) from str to any sequence of str. The union spells out
# the usual value types because dict is invariant in its value type.
_StrListDict = (
    dict[str, list[str]] | dict[str, tuple[str, ...]] | dict[str, Sequence[str]]
)
_Qrels = dict[str, dict[str, int]]

# Every class takes its arguments in __new__ (it has no __init__ of its own)
# and cannot be subclassed.

@final
class Converter:
    """Converts sparse representation batches to JSON reps and pseudo text."""

    def __new__(cls, vocab_dict: dict[int, str] = ...) -> Converter: ...
    def convert_sparse_reps_to_json(
        self,
        reps: NDArray[numpy.float32],
        quantization_factor: int = 100,
        convert_id_to_token: bool | numpy.bool_ = False,
        allow_negative_values: bool | numpy.bool_ = False,
        negative_prefix: str = "neg_",
    ) -> list[dict[str, int]]: ...
    def convert_sparse_reps_to_json_f32(
        self,
        reps: NDArray[numpy.float32],
        quantization_factor: int = 100,
        convert_id_to_token: bool | numpy.bool_ = False,
        allow_negative_values: bool | numpy.bool_ = False,
        negative_prefix: str = "neg_",
    ) -> list[dict[str, int]]: ...
    def convert_sparse_reps_to_json_f16(
        self,
        reps: NDArray[numpy.float16],
        quantization_factor: int = 100,
        convert_id_to_token: bool | numpy.bool_ = False,
        allow_negative_values: bool | numpy.bool_ = False,
        negative_prefix: str = "neg_",
    ) -> list[dict[str, int]]: ...
    def convert_sparse_reps_to_pseudo_text(
        self,
        reps: NDArray[numpy.float32],
        quantization_factor: int = 100,
        convert_id_to_token: bool | numpy.bool_ = False,
        allow_negative_values: bool | numpy.bool_ = False,
        negative_prefix: str = "neg_",
    ) -> list[str]: ...
    def convert_sparse_reps_to_pseudo_text_f32(
        self,
        reps: NDArray[numpy.float32],
        quantization_factor: int = 100,
        convert_id_to_token: bool | numpy.bool_ = False,
        allow_negative_values: bool | numpy.bool_ = False,
        negative_prefix: str = "neg_",
    ) -> list[str]: ...
    def convert_sparse_reps_to_pseudo_text_f16(
        self,
        reps: NDArray[numpy.float16],
        quantization_factor: int = 100,
        convert_id_to_token: bool | numpy.bool_ = False,
        allow_negative_values: bool | numpy.bool_ = False,
        negative_prefix: str = "neg_",
    ) -> list[str]: ...
    def convert_json_reps_to_pseudo_text(
        self, json_reps: Sequence[dict[str, int]]
    ) -> list[str]: ...

@final
class RegexTokenizer:
    """Regex-based tokenization of English text."""

    def __new__(
        cls,
        pattern: str = ...,
        lowercase: bool | numpy.bool_ = True,
        normalize: bool | numpy.bool_ = True,
        normalization_from: str = ...,
    ) -> RegexTokenizer: ...
    def tokenize(self, text: str) -> list[str]: ...
    def batch_tokenize(self, texts: Sequence[str]) -> list[list[str]]: ...
    def __call__(self, texts: Sequence[str]) -> list[list[str]]: ...

@final
class QAAnnotator:
    """Judges whether retrieved documents contain the answers; returns qrels."""

    def __new__(
        cls,
        docid_to_tokenized_corpus: _StrListDict,
        pattern: str = ...,
        lowercase: bool | numpy.bool_ = True,
        normalize: bool | numpy.bool_ = True,
        normalization_from: str = ...,
    ) -> QAAnnotator: ...
    def annotate_non_optim(
        self, qid_to_docids: _StrListDict, qid_to_answers: _StrListDict
    ) -> _Qrels: ...
    def annotate(
        self, qid_to_docids: _StrListDict, qid_to_answers: _StrListDict
    ) -> _Qrels: ...

@final
class ICUWordPreTokenizer:
    """Multilingual word pre-tokenization with ICU's word segmenter."""

    def __new__(cls, stopword_sets: set[str] | frozenset[str] = ...) -> ICUWordPreTokenizer: ...
    def tokenize(
        self,
        text: str,
        remove_stopwords: bool | numpy.bool_ = False,
        lowercase: bool | numpy.bool_ = True,
    ) -> list[str]: ...
    def batch_tokenize(
        self,
        texts: Sequence[str],
        remove_stopwords: bool | numpy.bool_ = False,
        lowercase: bool | numpy.bool_ = True,
    ) -> list[list[str]]: ...
    def __call__(
        self,
        texts: Sequence[str],
        remove_stopwords: bool | numpy.bool_ = False,
        lowercase: bool | numpy.bool_ = True,
    ) -> list[list[str]]: ...
