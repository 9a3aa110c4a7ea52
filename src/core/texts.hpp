// Every fixed text the module shows its users: docstrings, qualified names,
// the type names its messages use, and every message it raises itself.
//
// They are kept byte for byte, here and nowhere else: callers match on
// messages (`except` clauses that test the text, log scanners, their own
// tests), and stored results, generated docs and type checkers read the
// docstrings and signatures. tests/python/test_texts.py checks the running
// module against a snapshot of all of them; a change here is a change of
// that snapshot, made on purpose.
//
// Texts whose words depend on a call are functions of their variable parts.
// Messages of the libraries (Oniguruma's pattern errors, ICU's error names)
// and of the interpreter (UnicodeEncodeError, int conversion) pass through
// unchanged and are not listed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quarnel::texts {

// ---- the module ----

inline constexpr char kModuleDoc[] = "Expose the classes to Python.";
inline constexpr char kAllNotList[] = "__all__ must be a list";
inline constexpr char kInitialisedBefore[] = "the quarnel module may be initialized only once per interpreter process";
// A class's qualified name is this prefix and its name ("builtins.RegexTokenizer").
inline constexpr char kClassModulePrefix[] = "builtins.";

// ---- PanicException and internal faults ----

inline constexpr char kPanicName[] = "quarnel_runtime.PanicException";
inline constexpr char kPanicDoc[] =
    "The exception raised when native code called from Python fails in a way it cannot recover "
    "from (a broken internal invariant, an error reported by the regex engine during a search).\n\n"
    "Like SystemExit, this exception derives from BaseException rather than Exception, so that "
    "it usually propagates up the whole stack and ends the interpreter instead of being caught "
    "by a plain `except Exception`.";
inline constexpr char kPanicNoMessage[] = "native code failed with an internal fault that carries no message";
inline constexpr char kPanicAbort[] = "uncaught panic at ffi boundary\n";      // stderr, before abort()
inline constexpr char kInternalFault[] = "quarnel: internal fault: %s\n";       // stderr, printf format
inline constexpr char kNoPendingException[] = "attempted to fetch exception but none was set";
inline constexpr char kInterruptedWithoutException[] = "native work was interrupted without a pending exception";
// A PanicException's message when the regex engine fails during a search
// (its retry limit): this prefix, then the engine's own message.
inline constexpr char kRegexSearchError[] = "Onig: Regex search error: ";
inline constexpr char kRegexMessageNotUtf8[] = "Onig error string was invalid UTF-8";
// A PanicException's message when the pool's threads cannot be started:
// this, then which thread and the system's reason.
inline constexpr char kPoolNotStarted[] = "The global thread pool has not been initialized.";
inline constexpr char kDeallocatedInUse[] = "quarnel: an instance was deallocated while a call was using it";

// ---- binding the arguments of a call ("{entry}" is "Class.method()") ----

inline std::string too_many_positional(std::string_view entry, std::size_t required, std::size_t n,
                                       std::size_t given) {
    std::string msg = std::string(entry) + " takes ";
    msg += required == n ? std::to_string(n) : "from " + std::to_string(required) + " to " + std::to_string(n);
    return msg + " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
}
inline std::string keywords_not_strings(std::string_view entry) { return std::string(entry) + " keywords must be strings"; }
inline std::string multiple_values(std::string_view entry, std::string_view param) {
    return std::string(entry) + " got multiple values for argument '" + std::string(param) + "'";
}
inline std::string unexpected_keyword(std::string_view entry, std::string_view key) {
    return std::string(entry) + " got an unexpected keyword argument '" + std::string(key) + "'";
}
// `names` are the missing parameters, in order.
template <class Names>
std::string missing_required(std::string_view entry, const Names& names, std::size_t k) {
    std::string msg = std::string(entry) + " missing " + std::to_string(k) + " required positional argument" +
                      (k == 1 ? ": " : "s: ");
    for (std::size_t j = 0; j < k; ++j) {
        if (j > 0) msg += k == 2 ? " and " : (j + 1 == k ? ", and " : ", ");
        msg += "'";
        msg += names[j];
        msg += "'";
    }
    return msg;
}
// Put before the message of a failed conversion (a TypeError).
inline std::string argument_prefix(std::string_view param) { return "argument '" + std::string(param) + "': "; }

// ---- converting arguments ----

inline std::string cannot_convert(std::string_view type, std::string_view target) {
    std::string msg = "'";  // appended piece by piece: GCC 12 warns wrongly on "'" + std::string
    msg += type;
    msg += "' object cannot be converted to '";
    msg += target;
    msg += "'";
    return msg;
}
inline constexpr char kUnknownTypeName[] = "<failed to extract type name>";
// The targets that cannot_convert names.
inline constexpr char kPyString[] = "PyString";
inline constexpr char kPyBool[] = "PyBool";
inline constexpr char kSequence[] = "Sequence";
inline constexpr char kPyDict[] = "PyDict";
inline constexpr char kPySet[] = "PySet";
inline constexpr char kPyArray[] = "PyArray<T, D>";
inline constexpr char kArrowArray[] = "Arrow array";
inline constexpr char kStrAsSequence[] = "Can't extract `str` to `Vec`";
inline constexpr char kInt32Overflow[] = "out of range integral type conversion attempted";
inline constexpr char kArrayApiNotCapsule[] = "_ARRAY_API is not a PyCapsule object";
// `what` is "class" or "function".
inline std::string doc_has_nul(std::string_view what) { return std::string(what) + " doc cannot contain nul bytes"; }

// ---- RegexTokenizer ----

inline constexpr char kRegexTokenizerDoc[] =
    "The Python wrapper of the native `RegexTokenizer`.\n"
    "`RegexTokenizer` mimics the tokenization code of established open-domain question-answering code bases.\n"
    "It performs a regex-based tokenization of English string input.";
inline std::string invalid_normalization(std::string_view name) {
    return "Invalid normalization_from " + std::string(name);
}

// ---- ICUWordPreTokenizer ----

inline constexpr char kICUWordPreTokenizerDoc[] =
    "The Python wrapper of the native `ICUWordPreTokenizer`.\n"
    "`ICUWordPreTokenizer` cuts word boundaries with [ICU4C](https://icu.unicode.org/), "
    "International Components for Unicode.\n"
    "It supports cutting any language, backed by the dictionary models for Thai, Lao, Khmer and Burmese and "
    "by the dictionary model for Chinese and Japanese.\n"
    "It returns the list of words without whitespace.";
// Followed by ICU's name of the error.
inline constexpr char kNoWordBreakIterator[] = "cannot create the word break iterator: ";

// ---- QAAnnotator ----

#define QUARNEL_ANNOTATE_DOC_TAIL                                                                         \
    "\n"                                                                                                  \
    "## Pipelines:\n"                                                                                     \
    "    1. Tokenize answers with regex-based tokenizer.\n"                                               \
    "    2. Judge whether there is at least one answer in answers that is sub-strings of tokenized_corpus.\n" \
    "    3. Collecting and return query revelences (qrels).\n"                                            \
    "\n"                                                                                                  \
    "## Args:\n"                                                                                          \
    "    qid_to_docids (HashMap<String, Vec<String>>): qid -> [doc_id]. All retrieval results\n"         \
    "    qid_to_answers (HashMap<String, Vec<String>>): qid -> [answer_str].\n"                          \
    "\n"                                                                                                  \
    "## Returns:\n"                                                                                       \
    "    qrels (HashMap<String, HashMap<String, u32>>): qid -> doc_id -> 1/0 (revelent/irrevelent) "

inline constexpr char kQAAnnotatorDoc[] =
    "QAAnnotator uses a Regex-based tokenizer to cut the english texts, and judge whether the certain\n"
    "documents contains the answers by sub-string list matching.";
inline constexpr char kAnnotateNonOptimDoc[] =
    "Annotate the documents, judge whether the certain documents contains the answers by sub-string "
    "list matching, return qrels.\n" QUARNEL_ANNOTATE_DOC_TAIL;
inline constexpr char kAnnotateDoc[] =
    "Multi-threaded version of Annotate the documents, judge whether the certain documents \n"
    "contains the answers by sub-string list matching, return qrels.\n" QUARNEL_ANNOTATE_DOC_TAIL;
#undef QUARNEL_ANNOTATE_DOC_TAIL

inline std::string missing_answers(std::string_view qid) { return "Missing answers for QID: " + std::string(qid); }
inline std::string missing_document(std::string_view docid) {
    return "Missing tokenized corpus for docid: " + std::string(docid);
}

// ---- Converter ----

#define QUARNEL_OPTION_LINES                                                                                  \
    "    quantization_factor (i32): Upscaling factor. Quantized reps = (reps * quantization_factor).floor()\n" \
    "    convert_id_to_token (bool): True - Return token str; False - Return token_id str\n"                  \
    "    allow_negative_values (bool): Whether to preserve negative values.\n"                                \
    "    negative_prefix (&str): Sparse reps doesn't allow negative values. Thus the entry of negative value\n" \
    "                            will be `{negative_prefix}_{token}`."
#define QUARNEL_JSON_DOC(width, bits)                                                                   \
    "A " width " multi-threaded version of Convert sparse representations to quantized JSON format.\n" \
    "Format: `{token_id / token: int frequency}`, all keys are `str`.\n"                                 \
    "\n"                                                                                                 \
    "### Args:\n"                                                                                        \
    "    reps (PyReadonlyArray2<f" bits ">): Numpy f" bits " array, shape [batch_size, vocab_dim]\n" QUARNEL_OPTION_LINES
#define QUARNEL_TEXT_DOC(width, bits)                                                                                 \
    "A " width " multi-threaded version of Convert sparse representations to quantized pseudo text.\n"               \
    "Format: `token1 token1 ... token1 token2 token2 ... token2 ...`, each `tokenx` will be repeated `frequency times`.\n" \
    "\n"                                                                                                               \
    "### Args:\n"                                                                                                      \
    "\n"                                                                                                               \
    "    reps (PyReadonlyArray2<f" bits ">): Numpy f" bits " array, shape [batch_size, vocab_dim]\n" QUARNEL_OPTION_LINES

inline constexpr char kConverterDoc[] =
    "## Converter can convert sparse arrays to JSON / Pseudo String format efficiently\n"
    "\n"
    "### Args:\n"
    "    vocab_dict (Option<HashMap<i32, String>>): A map of `token_id -> token_str`\n";
inline constexpr char kJsonDoc[] = "Same as `self.convert_sparse_reps_to_json_f32`\n" QUARNEL_JSON_DOC("float32", "32");
inline constexpr char kJsonF32Doc[] = QUARNEL_JSON_DOC("float32", "32");
inline constexpr char kJsonF16Doc[] = QUARNEL_JSON_DOC("float16", "16");
inline constexpr char kTextDoc[] = "Same as `self.convert_sparse_reps_to_pseudo_text_f32`\n" QUARNEL_TEXT_DOC("float32", "32");
inline constexpr char kTextF32Doc[] = QUARNEL_TEXT_DOC("float32", "32");
inline constexpr char kTextF16Doc[] = QUARNEL_TEXT_DOC("float16", "16");
inline constexpr char kJsonToTextDoc[] =
    "Convert json reps to pseudo text\n"
    "\n"
    "### Args:\n"
    "    \n"
    "    json_reps (Vec<HashMap<String, i32>>): Format: `{token_id / token: int frequency}`, all keys are "
    "`str`.\n";
#undef QUARNEL_TEXT_DOC
#undef QUARNEL_JSON_DOC
#undef QUARNEL_OPTION_LINES

inline std::string token_not_in_vocab(std::size_t id) {
    return "Token id " + std::to_string(id) + " not found in vocab_dict.";
}
inline std::string too_many_columns(std::size_t cols, std::size_t max) {
    return "reps has " + std::to_string(cols) + " columns; at most " + std::to_string(max) + " are supported";
}
inline constexpr char kPseudoTextTooLarge[] =
    "cannot allocate the pseudo text: it needs more memory than this machine has";

// ---- quarnel.columnar ----

inline constexpr char kColumnarName[] = "quarnel.columnar";
inline constexpr char kColumnarDoc[] =
    "The classes' work over Arrow columns: texts read in place from pyarrow, Polars, DuckDB or any library that "
    "offers the Arrow PyCapsule interface, results returned as Arrow columns that those libraries read without "
    "copying.";
inline constexpr char kColumnarTokenizeDoc[] =
    "The tokens of every text of an Arrow column of strings (utf8, large_utf8 or utf8_view; any object offering "
    "`__arrow_c_array__` or `__arrow_c_stream__`), exactly as `tokenizer.batch_tokenize` gives them, as a column "
    "of type large_list<utf8>: a Column for one array, a ChunkedColumn (one array per chunk) for a stream. A "
    "null text gives a null row. With `string_view`, the tokens are utf8_view (large_list<utf8_view>): Polars "
    "takes those over without copying (it copies utf8 into views), at 16 bytes per token.";
inline constexpr char kColumnarPreTokenizeDoc[] =
    "The words of every text of an Arrow column of strings, exactly as `pre_tokenizer.batch_tokenize` gives them "
    "with the same flags, as a column of type large_list<utf8> or, with `string_view`, large_list<utf8_view> (see "
    "`tokenize`).";
inline constexpr char kColumnarAnnotatorDoc[] =
    "A `QAAnnotator` whose corpus is read from two Arrow columns of one row per document: `docids` (strings) and "
    "`tokens` (lists of strings: list or large_list of utf8, large_utf8 or utf8_view). A later row with the same "
    "id replaces an earlier one, as in a dict; a null token list is an empty document. The other arguments are "
    "the `QAAnnotator` constructor's.";
inline constexpr char kColumnarAnnotateDoc[] =
    "Judges a run given as Arrow columns of one row per retrieved document: `qids` and `docids` (strings), and "
    "`answers` (lists of strings), the answers of a question being those of its first row. Returns a Column of "
    "type struct<qid: utf8, docid: utf8, label: uint32>, one row per row of the run in its order, labelled as "
    "`annotator.annotate` labels it (1: the document holds an answer); the label is null where the question or "
    "document id is. A document missing from the corpus raises the KeyError `annotate` raises.";
inline constexpr char kColumnarSparseToMapsDoc[] =
    "The JSON reps of a float32 or float16 matrix (as `converter.convert_sparse_reps_to_json_f32` or `_f16` "
    "gives them, with the same options) as a Column of type map<utf8, int32>: one map per row, its entries in "
    "column order.";
inline constexpr char kColumnarSparseToTextDoc[] =
    "The pseudo texts of a float32 or float16 matrix (as `converter.convert_sparse_reps_to_pseudo_text_f32` or "
    "`_f16` gives them, with the same options) as a Column of type large_utf8.";
inline constexpr char kLiveExportsDoc[] =
    "_live_exports()\n--\n\nArrow structures handed out whose release callback has not run yet (for tests).";

// The result types.
inline constexpr char kColumnName[] = "quarnel.columnar.Column";
inline constexpr char kChunkedColumnName[] = "quarnel.columnar.ChunkedColumn";
inline constexpr char kColumnDoc[] =
    "A column of one Arrow array, made and owned by quarnel. Any library that reads "
    "the Arrow PyCapsule interface reads it without copying (`pyarrow.array(c)`, "
    "`polars.Series(c)`).";
inline constexpr char kChunkedColumnDoc[] =
    "A column of several Arrow arrays of one type, made and owned by quarnel. Any "
    "library that reads the Arrow PyCapsule interface reads it without copying "
    "(`pyarrow.chunked_array(c)`, `polars.Series(c)`).";
inline constexpr char kColumnSchemaDoc[] =
    "__arrow_c_schema__($self)\n--\n\nThe column's type, as a PyCapsule holding an ArrowSchema.";
inline constexpr char kColumnStreamDoc[] =
    "__arrow_c_stream__($self, requested_schema=None)\n--\n\nThe column's chunks, as a PyCapsule holding "
    "an ArrowArrayStream.";
inline constexpr char kColumnArrayDoc[] =
    "__arrow_c_array__($self, requested_schema=None)\n--\n\nThe column, as a pair of PyCapsules holding an "
    "ArrowSchema and an ArrowArray.";
inline constexpr char kColumnNbytesDoc[] = "Bytes of the buffers the column holds.";
inline constexpr char kColumnChunksDoc[] = "The number of arrays the column is made of.";
inline constexpr char kColumnRepr[] = "<%s %s, %zd rows in %zd chunk%s>";  // PyUnicode_FromFormat

// Reading Arrow input.
inline constexpr char kWrongCapsule[] = "expected a PyCapsule named '%s', got '%s'";  // PyErr_Format
inline constexpr char kArrayNotPair[] = "__arrow_c_array__() must return a tuple of two PyCapsules";
inline constexpr char kRowNote[] = "in row %zu of %s";  // PyUnicode_FromFormat: the note of a decoding error
inline std::string not_strings(std::string_view type) {
    return "expected a column of strings (utf8, large_utf8 or utf8_view), got " + std::string(type);
}
inline std::string not_string_lists(std::string_view type) {
    return "expected a column of lists of strings (list or large_list of utf8, large_utf8 or utf8_view), got " +
           std::string(type);
}
// "malformed utf8 array: offsets fall": a producer broke the format.
inline std::string malformed(std::string_view layout, std::string_view what) {
    return "malformed " + std::string(layout) + " array: " + std::string(what);
}
namespace broken {  // what malformed() says was wrong
inline constexpr char kReleased[] = "the array was released";
inline constexpr char kNegativeLengthOrOffset[] = "negative length or offset";
inline constexpr char kNegativeLength[] = "negative length";
inline constexpr char kNegativeOffset[] = "negative offset";
inline constexpr char kOffsetsFall[] = "offsets fall";
inline constexpr char kOffsetTooLarge[] = "offset too large";
inline constexpr char kOffsetsPastStrings[] = "offsets past the strings";
inline constexpr char kUnexpectedChildren[] = "unexpected children";
inline constexpr char kWrongChildren[] = "wrong children";
inline constexpr char kWrongBufferCount[] = "wrong number of buffers";
inline constexpr char kNoBuffers[] = "no buffers";
inline constexpr char kNoViews[] = "no views";
inline constexpr char kNoOffsets[] = "no offsets";
inline constexpr char kNoBufferSizes[] = "no buffer sizes";
inline constexpr char kViewOutsideData[] = "a view outside its data buffer";
inline constexpr char kNoData[] = "no data buffer";
}  // namespace broken
inline constexpr char kStreamFailed[] = "the stream reported an error";
inline constexpr char kStreamReleased[] = "malformed Arrow stream: released or without callbacks";
inline constexpr char kStreamWithoutSchema[] = "malformed Arrow stream: it gave no schema";
inline std::string row_counts_differ(std::string_view a, std::size_t na, std::string_view b, std::size_t nb) {
    return std::string(a) + " has " + std::to_string(na) + " rows but " + std::string(b) + " has " + std::to_string(nb);
}
inline std::string null_docid(std::size_t row) { return "docids: the document id of row " + std::to_string(row) + " is null"; }
inline std::string null_token(std::size_t row) { return "tokens: row " + std::to_string(row) + " holds a null token"; }

// Writing Arrow output.
inline std::string result_too_large(std::string_view what) {
    return "the result is too large for one Arrow array: " + std::string(what);
}
inline constexpr char kTooManyEntries[] = "2^31 entries or more";
inline constexpr char kKeysTooLarge[] = "keys of 2 GiB or more";
inline constexpr char kResultOutOfMemory[] = "cannot allocate the result: it needs more memory than this machine has";
inline constexpr char kChunkTooLargeForViews[] = "the tokens of one chunk hold 2 GiB or more: too many for utf8_view; use utf8";
inline constexpr char kStreamOutOfMemory[] = "out of memory";

}  // namespace quarnel::texts
