// The tokenizers over columns of texts: per text, the same tokens as the
// classes' batch calls, as large_list<utf8> arrays, or large_list<utf8_view>
// with `views` (token_lists.hpp).
#pragma once

#include <memory>
#include <vector>

#include "columnar/input.hpp"
#include "columnar/output.hpp"
#include "core/result.hpp"
#include "icu_word_pre_tokenizer/icu_word_pre_tokenizer.hpp"
#include "regex_tokenizer/regex_tokenizer.hpp"

namespace quarnel::columnar {

using icu_word_pre_tokenizer::ICUWordPreTokenizer;
using regex_tokenizer::RegexTokenizer;

// RegexTokenizer::tokenize of every text, on the pool.
Result<std::vector<std::shared_ptr<Node>>> tokenize_column(const RegexTokenizer& tokenizer,
                                                           const StringColumn& texts, bool views = false);

// ICUWordPreTokenizer's tokens of every text, blocks of texts on the pool
// (each block in order on one thread, as tokenize_batch does).
Result<std::vector<std::shared_ptr<Node>>> pre_tokenize_column(const ICUWordPreTokenizer& tokenizer,
                                                               const StringColumn& texts, bool remove_stopwords,
                                                               bool lowercase, bool views = false);

}  // namespace quarnel::columnar
