"""quarnel's work over Arrow columns: texts read in place from any library
that offers the Arrow PyCapsule interface, results returned as Arrow columns
that those libraries read without copying."""

from typing import Protocol, final

import numpy
from numpy.typing import NDArray

from quarnel import Converter, ICUWordPreTokenizer, QAAnnotator, RegexTokenizer

class _ArrowArray(Protocol):
    def __arrow_c_array__(self, requested_schema: object | None = None) -> tuple[object, object]: ...

class _ArrowStream(Protocol):
    def __arrow_c_stream__(self, requested_schema: object | None = None) -> object: ...

# A column: an array (pyarrow.Array, a Column) or a stream of arrays of one
# type (pyarrow.ChunkedArray, polars.Series, a ChunkedColumn).
_Arrow = _ArrowArray | _ArrowStream

@final
class Column:
    """One Arrow array made and owned by quarnel."""

    @property
    def nbytes(self) -> int: ...
    @property
    def num_chunks(self) -> int: ...
    def __len__(self) -> int: ...
    def __arrow_c_schema__(self) -> object: ...
    def __arrow_c_array__(self, requested_schema: object | None = None) -> tuple[object, object]: ...
    def __arrow_c_stream__(self, requested_schema: object | None = None) -> object: ...

@final
class ChunkedColumn:
    """Several Arrow arrays of one type made and owned by quarnel."""

    @property
    def nbytes(self) -> int: ...
    @property
    def num_chunks(self) -> int: ...
    def __len__(self) -> int: ...
    def __arrow_c_schema__(self) -> object: ...
    def __arrow_c_stream__(self, requested_schema: object | None = None) -> object: ...

def tokenize(
    tokenizer: RegexTokenizer, texts: _Arrow, string_view: bool | numpy.bool_ = False
) -> Column | ChunkedColumn: ...
def pre_tokenize(
    pre_tokenizer: ICUWordPreTokenizer,
    texts: _Arrow,
    remove_stopwords: bool | numpy.bool_ = False,
    lowercase: bool | numpy.bool_ = True,
    string_view: bool | numpy.bool_ = False,
) -> Column | ChunkedColumn: ...
def annotator(
    docids: _Arrow,
    tokens: _Arrow,
    pattern: str = ...,
    lowercase: bool | numpy.bool_ = True,
    normalize: bool | numpy.bool_ = True,
    normalization_from: str = ...,
) -> QAAnnotator: ...
def annotate(annotator: QAAnnotator, qids: _Arrow, docids: _Arrow, answers: _Arrow) -> Column: ...
def sparse_to_maps(
    converter: Converter,
    reps: NDArray[numpy.float32] | NDArray[numpy.float16],
    quantization_factor: int = 100,
    convert_id_to_token: bool | numpy.bool_ = False,
    allow_negative_values: bool | numpy.bool_ = False,
    negative_prefix: str = "neg_",
) -> Column: ...
def sparse_to_pseudo_text(
    converter: Converter,
    reps: NDArray[numpy.float32] | NDArray[numpy.float16],
    quantization_factor: int = 100,
    convert_id_to_token: bool | numpy.bool_ = False,
    allow_negative_values: bool | numpy.bool_ = False,
    negative_prefix: str = "neg_",
) -> Column: ...
def _live_exports() -> int: ...
