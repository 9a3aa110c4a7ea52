// The shared helpers: lowercasing, normalization, UTF-8 scanning and the
// Oniguruma wrapper.
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unicode/locid.h>

#include "append_utf8.hpp"
#include "check.hpp"
#include "core/fault.hpp"
#include "helpers.hpp"
#include "regex/onig.hpp"
#include "text/lowercase.hpp"
#include "text/normalize.hpp"
#include "codec/utf8.hpp"

using namespace quarnel;
using namespace rt_test;

TEST(lowercase_mappings) {
    CHECK_EQ(text::lowercase("Hello WORLD 123 [@]"), "hello world 123 [@]");
    CHECK_EQ(text::lowercase(""), "");
    CHECK_EQ(text::lowercase("\u00C9COLE \u0411\u0423\u041A"), "\u00E9cole \u0431\u0443\u043A");
    CHECK_EQ(text::lowercase("\u0130"), "i\u0307");          // SpecialCasing, grows by a byte
    CHECK_EQ(text::lowercase("\u1E9E"), "\u00DF");           // capital sharp s
    CHECK_EQ(text::lowercase("\u2126\u212A"), "\u03C9k");    // Ohm and Kelvin signs
    CHECK_EQ(text::lowercase("\U00010400"), "\U00010428");  // Deseret, 4-byte
    // Final_Sigma: after a cased letter and not before one, ignoring
    // case-ignorables (the apostrophe, combining marks) on both sides.
    CHECK_EQ(text::lowercase("\u03A3"), "\u03C3");
    CHECK_EQ(text::lowercase("\u0391\u03A3"), "\u03B1\u03C2");
    CHECK_EQ(text::lowercase("\u0391\u03A3\u0391"), "\u03B1\u03C3\u03B1");
    CHECK_EQ(text::lowercase("\u0391\u03A3 \u0391"), "\u03B1\u03C2 \u03B1");
    CHECK_EQ(text::lowercase("\u0391\u0301\u03A3"), "\u03B1\u0301\u03C2");
    CHECK_EQ(text::lowercase("\u0391'\u03A3'"), "\u03B1'\u03C2'");
    CHECK_EQ(text::lowercase("\u0391\u03A3'\u0391"), "\u03B1\u03C3'\u03B1");
    CHECK_EQ(text::lowercase("1\u03A3"), "1\u03C3");

    std::string buf = "keep:";
    text::lowercase_append("AB", buf);
    text::lowercase_append("\u0391\u03A3", buf);
    CHECK_EQ(buf, "keep:ab\u03B1\u03C2");
}

TEST(lowercase_ignores_default_locale) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale saved = icu::Locale::getDefault();
    for (const char* loc : {"tr", "az", "lt"}) {
        icu::Locale::setDefault(icu::Locale(loc), status);
        CHECK_EQ(text::lowercase("I\u00CC\u0130"), "i\u00ECi\u0307");
    }
    icu::Locale::setDefault(saved, status);
    CHECK(U_SUCCESS(status));
}

TEST(normalize_returns_input_when_already_normalized) {
    using F = text::NormalizationForm;
    std::string storage = "untouched";
    std::string_view ascii = "plain ASCII text";
    CHECK(text::normalize(F::NFKC, ascii, storage).data() == ascii.data());
    std::string_view nfd = "cafe\u0301";
    CHECK(text::normalize(F::NFD, nfd, storage).data() == nfd.data());
    CHECK_EQ(storage, "untouched");
    std::string_view out = text::normalize(F::NFC, nfd, storage);
    CHECK(out.data() == storage.data());
    CHECK_EQ(out, "caf\u00E9");
    CHECK(text::is_normalized(F::NFC, out) && !text::is_normalized(F::NFD, out));

    CHECK(text::parse_normalization_form("nfkd") == F::NFKD && text::parse_normalization_form("nfc") == F::NFC);
    CHECK(!text::parse_normalization_form("NFKD"));
    CHECK(!text::parse_normalization_form("nf"));
}

TEST(utf8_scanning) {
    CHECK(codec::is_ascii("") && codec::is_ascii("0123456789abcdef\x7f"));
    CHECK(!codec::is_ascii("0123456789abcde\x80") && !codec::is_ascii("\xC3\xA9"));
    CHECK(codec::is_valid_utf8("a\u00E9\u4E2D\U0001F600"));
    for (const char* bad : {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\xFF"})
        CHECK(!codec::is_valid_utf8(bad));
    // A sequence cut short by the end of the text stays inside the text.
    CHECK_EQ(codec::char_length_at(std::string_view("a\xF0\x9F", 3), 1), 2u);
}

TEST(onig_compile_errors) {
    auto paren = regex::Regex::compile("(");
    CHECK(!paren.ok() && paren.error() == value_error("end pattern with unmatched parenthesis"));
    auto name = regex::Regex::compile("(?<n>a)\\k<m>");
    CHECK(!name.ok() && name.error().message == "undefined name <m> reference");
    auto prop = regex::Regex::compile("\\p{Nope}");
    CHECK(!prop.ok() && prop.error().message == "invalid character property name {Nope}");
    // The engine quotes the pattern and cuts the quote after a byte count,
    // here in the middle of an é.
    std::string long_name = "\\p{";
    for (int i = 0; i < 14; ++i) long_name += "\u00E9";
    long_name += "}";
    auto cut = regex::Regex::compile(long_name);
    CHECK(!cut.ok() && cut.error() == value_error("Onig error string was invalid UTF-8"));
}

TEST(onig_match_iteration) {
    auto collect = [](std::string_view pattern, std::string_view text) {
        auto re = regex::Regex::compile(pattern);
        std::vector<regex::Match> out;
        if (re.ok()) regex::for_each_match(*re, text, [&](const regex::Match& m) { out.push_back(m); });
        return out;
    };
    using M = std::vector<regex::Match>;
    CHECK_EQ(collect("x*", "axb"), (M{{0, 0}, {1, 2}, {3, 3}}));
    CHECK_EQ(collect("", ""), (M{{0, 0}}));
    // Stepping over an empty match moves by a whole character.
    CHECK_EQ(collect("", "\u00E9\U0001F600"), (M{{0, 0}, {2, 2}, {6, 6}}));
    CHECK_EQ(collect("a|", "ab"), (M{{0, 1}, {2, 2}}));
    CHECK_EQ(collect("\\b", "ab cd"), (M{{0, 0}, {2, 2}, {3, 3}, {5, 5}}));
    CHECK_EQ(collect("(?<=a)", "aaa"), (M{{1, 1}, {2, 2}, {3, 3}}));
    CHECK_EQ(collect("a(b)", "xabab"), (M{{1, 3}, {3, 5}}));
    CHECK_EQ(collect("$", "a\nb"), (M{{1, 1}, {3, 3}}));
    CHECK_EQ(collect("q", "abc"), M{});

    // A moved regex keeps working; the moved-from one is empty.
    auto re = regex::Regex::compile("b+");
    CHECK(re.ok());
    regex::Regex moved = std::move(*re);
    CHECK(re->empty() && !moved.empty());
    regex::SearchState state;
    regex::Match m;
    CHECK(!moved.empty() && state.search(moved, "abba", 0, m) && m == (regex::Match{1, 3}));
    CHECK(state.search(moved, "abbab", 3, m) && m == (regex::Match{4, 5}));
    CHECK(!state.search(moved, "abba", 3, m));
}

TEST(onig_search_error_is_a_fault) {
    auto re = regex::Regex::compile("(?:a|a)+c");
    CHECK(re.ok());
    std::string text(60, 'a');
    text += "!c";
    regex::SearchState state;
    regex::Match m;
    std::string what;
    try {
        state.search(*re, text, 0, m);
    } catch (const Fault& f) {
        what = f.what();
    }
    CHECK(what.starts_with("Onig: Regex search error: "));
    // The same state serves the next search.
    CHECK(state.search(*re, "aac", 0, m) && m == (regex::Match{0, 3}));
}

// The character-by-character path must agree with ICU's full case mapper on
// every code point, alone and between other characters, and on random text.
TEST(lowercase_fast_path_matches_full_mapper) {
    auto full = [](std::string_view s) {
        std::string out;
        text::lowercase_append_full(s, out);
        return out;
    };
    int mismatches = 0;
    std::string one, ctx;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        one.clear();
        codec::append_utf8(one, cp);
        ctx = "A" + one + "\u00C9";
        mismatches += text::lowercase(one) != full(one);
        mismatches += text::lowercase(ctx) != full(ctx);
    }
    CHECK_EQ(mismatches, 0);

    std::mt19937 rng(11);
    const char32_t pool[] = {'A', 'z', ' ', 0xC0, 0xDF, 0x130, 0x131, 0x3A3, 0x3C3, 0x391, 0x41F, 0x10A0,
                             0x1E9E, 0x2126, 0x24B6, 0xFF21, 0x10400, 0x1E900, 0x345, 0x301, '\''};
    for (int t = 0; t < 20000; ++t) {
        std::string s;
        for (unsigned k = 0, n = rng() % 12; k < n; ++k) codec::append_utf8(s, pool[rng() % std::size(pool)]);
        if (text::lowercase(s) != full(s)) ++mismatches;
    }
    CHECK_EQ(mismatches, 0);
}
