// RegexTokenizer behaviour: construction, the default pipeline, other
// patterns, engine faults and concurrent use.
#include <string>
#include <thread>
#include <vector>

#include "check.hpp"
#include "core/fault.hpp"
#include "helpers.hpp"
#include "regex_tokenizer/regex_tokenizer.hpp"

using namespace quarnel::regex_tokenizer;

using namespace quarnel;
using namespace rt_test;

namespace {

const RegexTokenizer& defaults() {
    static const RegexTokenizer t = make(kDefaultPattern);
    return t;
}

}  // namespace

TEST(tokenizer_default_examples) {
    const RegexTokenizer& t = defaults();
    CHECK(uses_default_matcher(t));
    CHECK_EQ(tokens(t, "Hello, World!"), (Strings{"hello", ",", "world", "!"}));
    CHECK_EQ(tokens(t, "don't stop"), (Strings{"don", "'", "t", "stop"}));
    CHECK_EQ(tokens(t, "U.S.A."), (Strings{"u", ".", "s", ".", "a", "."}));
    CHECK_EQ(tokens(t, "3.14"), (Strings{"3", ".", "14"}));
    CHECK(tokens(t, "").empty());
    CHECK(tokens(t, "   \t\n").empty());
    CHECK_EQ(tokens(t, "snake_case"), (Strings{"snake", "_", "case"}));
    // Precomposed é is decomposed (NFD) and the mark stays in the run.
    CHECK_EQ(tokens(t, "Caf\u00E9"), (Strings{"cafe\u0301"}));
    // Soft hyphen and ZWJ are format characters (Cf): dropped, and they split.
    CHECK_EQ(tokens(t, "co\u00ADop"), (Strings{"co", "op"}));
    CHECK_EQ(tokens(t, "ab\u200Dcd"), (Strings{"ab", "cd"}));
    // Emoji are symbols: one token each; ZWJ sequences fall apart.
    CHECK_EQ(tokens(t, "hi\U0001F600\U0001F600"), (Strings{"hi", "\U0001F600", "\U0001F600"}));
    CHECK_EQ(tokens(t, "\U0001F468\u200D\U0001F469"), (Strings{"\U0001F468", "\U0001F469"}));
    CHECK_EQ(tokens(t, "x\u00A0y\u3000z"), (Strings{"x", "y", "z"}));
    CHECK_EQ(tokens(t, "\u4E2D\u6587 \u0391\u0392"), (Strings{"\u4E2D\u6587", "\u03B1\u03B2"}));
}

TEST(tokenizer_lowercase_is_full_and_per_token) {
    const RegexTokenizer& t = defaults();
    // Final sigma: the last Σ of a word is ς, a lone Σ is σ.
    CHECK_EQ(tokens(t, "\u039F\u0394\u039F\u03A3"), (Strings{"\u03BF\u03B4\u03BF\u03C2"}));
    CHECK_EQ(tokens(t, "\u03A3"), (Strings{"\u03C3"}));
    // The context is the token alone: Σ after "Α." is a token of its own.
    CHECK_EQ(tokens(t, "\u0391.\u03A3"), (Strings{"\u03B1", ".", "\u03C3"}));
    // Multi-character mapping (İ → i + U+0307), with no Turkish tailoring of I.
    CHECK_EQ(tokens(t, "\u0130I"), (Strings{"i\u0307i"}));

    regex_tokenizer::RegexTokenizer keep = make(regex_tokenizer::kDefaultPattern, false);
    CHECK_EQ(tokens(keep, "Hello, World!"), (Strings{"Hello", ",", "World", "!"}));
    CHECK_EQ(tokens(keep, "\u039F\u0394\u039F\u03A3"), (Strings{"\u039F\u0394\u039F\u03A3"}));
}

TEST(tokenizer_normalization_forms) {
    regex_tokenizer::RegexTokenizer nfkc = make(regex_tokenizer::kDefaultPattern, true, true, "NFKC");
    CHECK_EQ(tokens(nfkc, "\uFB01ne \uFF28\uFF45\uFF4C\uFF4C\uFF4F"), (Strings{"fine", "hello"}));
    CHECK_EQ(tokens(nfkc, "Cafe\u0301"), (Strings{"caf\u00E9"}));

    regex_tokenizer::RegexTokenizer off = make(regex_tokenizer::kDefaultPattern, true, false, "nfkc");
    CHECK_EQ(tokens(off, "\uFB01ne \uFF28\uFF45"), (Strings{"\uFB01ne", "\uFF48\uFF45"}));
    CHECK_EQ(tokens(off, "Caf\u00E9"), (Strings{"caf\u00E9"}));

    regex_tokenizer::RegexTokenizer nfc = make(regex_tokenizer::kDefaultPattern, false, true, "nfc");
    CHECK_EQ(tokens(nfc, "Cafe\u0301"), (Strings{"Caf\u00E9"}));
    // Compatibility characters survive the canonical forms.
    CHECK_EQ(tokens(nfc, "\uFB01"), (Strings{"\uFB01"}));
    regex_tokenizer::RegexTokenizer nfkd = make(regex_tokenizer::kDefaultPattern, false, true, "Nfkd");
    CHECK_EQ(tokens(nfkd, "\uFB01\u00E9"), (Strings{"fie\u0301"}));
}

TEST(tokenizer_create_errors) {
    auto bad_form = RegexTokenizer::create(regex_tokenizer::kDefaultPattern, true, true, "NFX");
    CHECK(!bad_form.ok());
    CHECK(bad_form.error() == value_error("Invalid normalization_from nfx"));
    // Checked even when normalization is off.
    auto unused = RegexTokenizer::create(regex_tokenizer::kDefaultPattern, true, false, "xyz");
    CHECK(!unused.ok() && unused.error() == value_error("Invalid normalization_from xyz"));
    // Lowercased with the full mapping (final sigma included) before it is reported.
    auto greek = RegexTokenizer::create("a", true, false, "NF\u03A3");
    CHECK(!greek.ok() && greek.error().message == "Invalid normalization_from nf\u03C2");

    auto paren = RegexTokenizer::create("(", true, true, "nfd");
    CHECK(!paren.ok());
    CHECK(paren.error() == value_error("end pattern with unmatched parenthesis"));
    // A bad pattern wins over a bad form.
    auto both = RegexTokenizer::create("[a", true, true, "nope");
    CHECK(!both.ok() && both.error().message == "premature end of char-class");
}

TEST(tokenizer_other_patterns) {
    regex_tokenizer::RegexTokenizer star = make("x*", false, false);
    CHECK(!uses_default_matcher(star));
    CHECK_EQ(tokens(star, "axb"), (Strings{"", "x", ""}));
    CHECK_EQ(tokens(make("", false, false), "ab"), (Strings{"", "", ""}));
    CHECK_EQ(tokens(make("", false, false), "\u00E9\u4E2D"), (Strings{"", "", ""}));
    CHECK_EQ(tokens(make("a(b)", false, false), "ab"), (Strings{"ab"}));
    CHECK_EQ(tokens(make("\\w+", true, false), "Foo BAR \u0130x"), (Strings{"foo", "bar", "i\u0307x"}));
    // The regex sees the normalized, not the lowercased, text.
    CHECK_EQ(tokens(make("[A-Z]+", true, false), "abc DEF"), (Strings{"def"}));
    CHECK_EQ(tokens(make("\\p{M}", false, true, "nfd"), "\u00E9"), (Strings{"\u0301"}));
    CHECK(tokens(make("\\p{M}", false, true, "nfc"), "e\u0301").empty());
    // A pattern that merely looks like the default one goes through the engine.
    regex_tokenizer::RegexTokenizer similar = make("(?im)([\\p{L}\\p{N}\\p{M}]+)|([^\\p{Z}\\p{C}]) ");
    CHECK(!uses_default_matcher(similar));
    CHECK_EQ(tokens(similar, "Ab ! x"), (Strings{"ab", "! ", "x"}));
}

TEST(tokenizer_engine_fault_then_recovers) {
    // Exponential backtracking against the 10,000,000 retry limit of a match.
    regex_tokenizer::RegexTokenizer t = make("(a+)+b", false, false);
    std::string text(40, 'a');
    text += "cb";
    bool faulted = false;
    try {
        (void)t.tokenize(text);
    } catch (const Fault& f) {
        faulted = std::string(f.what()).starts_with("Onig: Regex search error: ");
        std::printf("  fault message: %s\n", f.what());
    }
    CHECK(faulted);
    CHECK_EQ(tokens(t, "aab cab"), (Strings{"aab", "ab"}));
}

TEST(tokenizer_moves) {
    regex_tokenizer::RegexTokenizer a = make("\\d+", false, false);
    regex_tokenizer::RegexTokenizer b = std::move(a);
    CHECK_EQ(tokens(b, "a12b3"), (Strings{"12", "3"}));
    regex_tokenizer::RegexTokenizer c = make(regex_tokenizer::kDefaultPattern);
    c = std::move(b);
    CHECK_EQ(tokens(c, "a12b3"), (Strings{"12", "3"}));
    std::vector<regex_tokenizer::RegexTokenizer> many;
    for (int i = 0; i < 20; ++i) many.push_back(make(i % 2 ? regex_tokenizer::kDefaultPattern : std::string_view("\\w")));
    CHECK_EQ(tokens(many[19], "Ab c"), (Strings{"ab", "c"}));
    CHECK_EQ(tokens(many[18], "Ab c"), (Strings{"a", "b", "c"}));
}

TEST(tokenizer_concurrent_use) {
    std::vector<std::string> texts;
    for (int i = 0; i < 64; ++i) {
        std::string s;
        for (int k = 0; k < 50; ++k)
            s += "Ca\u0301f\u00E9 \u039F\u0394\u039F\u03A3 n\u00B0" + std::to_string(i * k) + ", \U0001F600 Stra\u00DFe! ";
        texts.push_back(s);
    }
    for (auto matching : {RegexTokenizer::Matching::Auto, RegexTokenizer::Matching::Engine}) {
        regex_tokenizer::RegexTokenizer t = make(regex_tokenizer::kDefaultPattern, true, true, "nfkc", matching);
        std::vector<TokenList> expected;
        for (auto& s : texts) expected.push_back(t.tokenize(s));
        std::vector<int> mismatches(8, 0);
        std::vector<std::thread> threads;
        for (int th = 0; th < 8; ++th)
            threads.emplace_back([&, th] {
                for (int round = 0; round < 5; ++round)
                    for (std::size_t i = 0; i < texts.size(); ++i) {
                        std::size_t k = (i + static_cast<std::size_t>(th) * 7) % texts.size();
                        if (!same(t.tokenize(texts[k]), expected[k])) ++mismatches[th];
                    }
            });
        for (auto& th : threads) th.join();
        for (int m : mismatches) CHECK_EQ(m, 0);
    }
}

TEST(tokenizer_concurrent_compiles) {
    std::vector<std::thread> threads;
    std::vector<int> bad(6, 0);
    for (int th = 0; th < 6; ++th)
        threads.emplace_back([&, th] {
            for (int i = 0; i < 200; ++i) {
                std::string pattern = "(?i)[a-c]{" + std::to_string(1 + (i + th) % 3) + "}";
                auto r = RegexTokenizer::create(pattern, false, false, "nfd");
                if (!r.ok() || r->tokenize("ABCabc").size() != 6 / static_cast<std::size_t>(1 + (i + th) % 3))
                    ++bad[th];
                if (RegexTokenizer::create("(", false, false, "nfd").ok()) ++bad[th];
            }
        });
    for (auto& th : threads) th.join();
    for (int b : bad) CHECK_EQ(b, 0);
}

TEST(tokenizer_batch_in_order_and_faults_reach_the_caller) {
    const RegexTokenizer& t = defaults();
    CHECK(t.batch_tokenize({}).empty());
    std::vector<std::string> texts;
    for (int i = 0; i < 300; ++i) texts.push_back(i % 7 ? "Text " + std::to_string(i) + ", \u00C9t\u00E9!" : "");
    const std::vector<TokenList> batch = t.batch_tokenize(texts);
    CHECK_EQ(batch.size(), texts.size());
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) mismatches += !same(batch[i], t.tokenize(texts[i]));
    CHECK_EQ(mismatches, 0u);

    // An engine error in one text of a batch surfaces as the fault.
    regex_tokenizer::RegexTokenizer slow = make("(a+)+b", false, false);
    std::vector<std::string> mixed(40, "aab");
    mixed[17] = std::string(40, 'a') + "cb";
    bool faulted = false;
    try {
        (void)slow.batch_tokenize(mixed);
    } catch (const Fault&) {
        faulted = true;
    }
    CHECK(faulted);
    CHECK_EQ(slow.batch_tokenize(std::vector<std::string>(3, "aab")).size(), 3u);
}
