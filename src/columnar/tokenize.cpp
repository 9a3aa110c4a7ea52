#include "columnar/tokenize.hpp"

#include "columnar/token_lists.hpp"
#include "codec/utf16.hpp"
#include "codec/utf8.hpp"

namespace quarnel::columnar {

using icu_word_pre_tokenizer::ICUWordPreTokenizer;
using regex_tokenizer::RegexTokenizer;

Result<std::vector<std::shared_ptr<Node>>> tokenize_column(const RegexTokenizer& tokenizer,
                                                           const StringColumn& texts, bool views) {
    return token_lists(texts, [&](const StringChunk& chunk, std::size_t begin, std::size_t end, TokenBlock& block) {
        for (std::size_t i = begin; i < end; ++i) {
            if (!chunk.is_null(i)) tokenizer.tokenize_into(chunk[i], block.tokens);
            block.row_ends.push_back(static_cast<std::uint32_t>(block.tokens.size()));
        }
    }, views);
}

namespace {

// The UTF-16 form of valid UTF-8, appended.
void append_utf16(std::string_view utf8, std::u16string& out) {
    const std::size_t start = out.size();
    out.resize(start + utf8.size());  // never more units than bytes
    char16_t* d = out.data() + start;
    if (codec::is_ascii(utf8)) {
        for (char c : utf8) *d++ = static_cast<unsigned char>(c);
    } else {
        codec::decode_utf8(utf8, [&](char32_t cp, std::size_t) {
            d = codec::encode_utf16(cp, d);
            return true;
        });
    }
    out.resize(static_cast<std::size_t>(d - out.data()));
}

// The UTF-8 form of UTF-16 without lone surrogates, appended.
void append_utf8(std::u16string_view utf16, std::string& out) {
    const std::size_t start = out.size();
    out.resize(start + 3 * utf16.size());
    auto* d = reinterpret_cast<unsigned char*>(out.data() + start);
    codec::decode_utf16(utf16, [&](char32_t cp, std::size_t) { d = codec::encode_utf8(cp, d); });
    out.resize(static_cast<std::size_t>(reinterpret_cast<char*>(d) - out.data()));
}

}  // namespace

Result<std::vector<std::shared_ptr<Node>>> pre_tokenize_column(const ICUWordPreTokenizer& tokenizer,
                                                               const StringColumn& texts, bool remove_stopwords,
                                                               bool lowercase, bool views) {
    return token_lists(texts, [&](const StringChunk& chunk, std::size_t begin, std::size_t end, TokenBlock& block) {
        Utf16List list;
        list.reserve(end - begin, chunk.text_bytes(begin, end));
        for (std::size_t i = begin; i < end; ++i) {
            if (chunk.is_null(i)) continue;
            append_utf16(chunk[i], list.open_bytes());
            list.close_token();
        }
        Utf16TokenGroups groups;
        tokenizer.tokenize_batch(list, remove_stopwords, lowercase, groups);
        std::size_t group = 0;
        for (std::size_t i = begin; i < end; ++i) {
            if (!chunk.is_null(i)) {
                for (std::size_t t = groups.begin_of(group); t < groups.groups[group].end; ++t) {
                    append_utf8(groups.token(group, t), block.tokens.open_bytes());
                    block.tokens.close_token();
                }
                ++group;
            }
            block.row_ends.push_back(static_cast<std::uint32_t>(block.tokens.size()));
        }
    }, views);
}

}  // namespace quarnel::columnar
