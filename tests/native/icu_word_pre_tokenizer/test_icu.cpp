// The pieces of ICUWordPreTokenizer: cleaning against ICU's categories,
// White_Space trimming, UTF-16 lowercasing against ICU's full case mapper,
// the per-thread segmenter clones, the batch loop.
#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/rbbi.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include "check.hpp"
#include "icu_word_pre_tokenizer/ascii_words.hpp"
#include "icu_word_pre_tokenizer/cleaning.hpp"
#include "icu_word_pre_tokenizer/icu_word_pre_tokenizer.hpp"
#include "icu_word_pre_tokenizer/white_space.hpp"
#include "icu_word_pre_tokenizer/word_segmenter.hpp"
#include "pool/interrupt.hpp"
#include "text/lowercase.hpp"
#include "codec/utf16.hpp"

using namespace quarnel::icu_word_pre_tokenizer;

// GCC 12 mistakes the destruction of the unused Error alternative of an
// inlined Result for a free of a non-heap pointer.
#pragma GCC diagnostic ignored "-Wfree-nonheap-object"

using namespace quarnel;
using namespace quarnel::icu_word_pre_tokenizer;

namespace {

std::u16string utf16(char32_t c) {
    char16_t units[2];
    return {units, codec::encode_utf16(c, units)};
}

// The straightforward cleaning: keep each character ICU does not put in
// Cc, Cs or Cn.
std::u16string reference_clean(std::u16string_view s) {
    std::u16string out;
    codec::decode_utf16(s, [&](char32_t c, std::size_t) {
        const auto type = u_charType(static_cast<UChar32>(c));
        if (type != U_CONTROL_CHAR && type != U_SURROGATE && type != U_UNASSIGNED) out += utf16(c);
    });
    return out;
}

std::u16string cleaned(std::u16string s) {
    s.resize(icu_word_pre_tokenizer::clean_in_place(s.data(), s.size()));
    return s;
}

std::u16string lower_full(std::u16string_view s) {
    std::u16string out;
    text::lowercase_append_full(s, out);
    return out;
}

// As the tokenizer lowercases: in place, else through the full mapper.
std::u16string lower(std::u16string s) {
    if (text::lowercase_in_place(s.data(), s.size())) return s;
    CHECK(s.find_first_of(u"\u0130\u03a3") != std::u16string::npos);  // only these need it
    return lower_full(s);
}

// Random text from pieces that stress a step: ASCII, controls, C1, Latin-1,
// noncharacters, unassigned, characters added in Unicode 15.0, lone and
// paired surrogates, sigma contexts, U+0130, supplementary letters.
std::u16string random_text(std::mt19937& rng) {
    static const std::vector<std::u16string> pieces = {
        u"a",      u"Bcdefgh", u" ",      u"\t",     u"\n",         u"\x7f",       u"\x01",    u"\u0085",
        u"\u00a0", u"\u00c9",  u"\u0378", u"\uffff", u"\ufdd0",     u"\u4e2d",     u"\U0001F600", u"\U000E0001",
        u"\U0010FFFF", u"\u2028", u"\u200b", u"\U0001FAE8", u"\U00031350", u"\u0cf3", u"\xd800", u"\xdc00",
        u"\u03a3", u"\u0391",  u"'",      u"\u0130", u"\U00010400", u"\U0001E900", u"\u1e9e",  u"\u0345"};
    std::u16string s;
    const int n = static_cast<int>(rng() % 24);
    for (int k = 0; k < n; ++k) s += pieces[rng() % pieces.size()];
    return s;
}

}  // namespace

TEST(cleaning_follows_icu_for_every_code_point) {
    int mismatches = 0;
    for (char32_t c = 0; c < 0x110000; ++c) {
        if (!check::visits(c)) continue;
        const auto type = u_charType(static_cast<UChar32>(c));
        const bool deleted = type == U_CONTROL_CHAR || type == U_SURROGATE || type == U_UNASSIGNED;
        const std::u16string one = u"ab" + utf16(c) + u"cd";
        if (icu_word_pre_tokenizer::is_deleted(c) != deleted || (cleaned(one) == one) == deleted) ++mismatches;
    }
    CHECK_EQ(mismatches, 0);
    // Added in Unicode 15.0 (U+1FAE8, U+31350, U+0CF3): kept by an ICU that
    // has them (72 and later). Noncharacters and whatever this ICU has not
    // assigned yet: deleted.
    for (const char32_t c : {U'\U0001FAE8', U'\U00031350', U'\u0CF3', U'\U0001FAF9', U'\u0378'})
        CHECK_EQ(cleaned(u"a" + utf16(c) + u"b") == u"ab", u_charType(static_cast<UChar32>(c)) == U_UNASSIGNED);
    CHECK_EQ(cleaned(u"a\uffffb\U0010FFFEc\ufdd0d"), u"abcd");
    CHECK_EQ(cleaned(u"a\tb\n\nc\x85\x9f" u"d"), u"abcd");
    CHECK_EQ(cleaned(u"keep\u2028\u200b\ue000\u00ad"), u"keep\u2028\u200b\ue000\u00ad");
    // Surrogates: a pair is a character; a half alone is deleted.
    CHECK_EQ(cleaned(u"x\xd800y\xdc00z\xdc00\xd800"), u"xyz");
    CHECK_EQ(cleaned(u""), u"");
}

TEST(cleaning_matches_the_reference_on_random_texts) {
    std::mt19937 rng(7);
    for (std::size_t round = 0; round < check::scaled(20000); ++round) {
        const std::u16string s = random_text(rng);
        if (cleaned(s) != reference_clean(s)) {
            CHECK(cleaned(s) == reference_clean(s));
            break;
        }
    }
}

TEST(white_space_trim) {
    CHECK_EQ(icu_word_pre_tokenizer::trim_white_space(u" \t\u00a0\u3000a b\u2029\u202f\u0085 "), u"a b");
    CHECK_EQ(icu_word_pre_tokenizer::trim_white_space(u"\u200b a"), u"\u200b a");  // ZERO WIDTH SPACE is not White_Space
    CHECK_EQ(icu_word_pre_tokenizer::trim_white_space(u"\u1680\u2000\u200a\u205f"), u"");
    CHECK_EQ(icu_word_pre_tokenizer::trim_white_space(u""), u"");
    // The listed set is ICU's White_Space property.
    for (char32_t c = 0; c < 0x110000; ++c)
        if (icu_word_pre_tokenizer::is_white_space(c) != static_cast<bool>(u_isUWhiteSpace(static_cast<UChar32>(c)))) {
            CHECK(false);
            break;
        }
}

TEST(utf16_lowercase_matches_icu_full_mapping) {
    // Every character alone and between letters (Final_Sigma needs context).
    int mismatches = 0;
    for (char32_t c = 0; c < 0x110000; ++c) {
        if (!check::visits(c)) continue;
        const std::u16string one = utf16(c), framed = u"A" + one + u"b";
        if (lower(one) != lower_full(one) || lower(framed) != lower_full(framed)) ++mismatches;
    }
    CHECK_EQ(mismatches, 0);
    CHECK_EQ(lower(u"\u0130"), u"i\u0307");
    CHECK_EQ(lower(u"\u0391\u03a3 \u0391"), u"\u03b1\u03c2 \u03b1");
    CHECK_EQ(lower(u"\u0391\u03a3\u0391"), u"\u03b1\u03c3\u03b1");
    CHECK_EQ(lower(u"\U00010400x\xd800"), u"\U00010428x\xd800");
    std::mt19937 rng(11);
    for (std::size_t round = 0; round < check::scaled(20000); ++round) {
        const std::u16string s = random_text(rng);
        if (lower(s) != lower_full(s)) {
            CHECK(lower(s) == lower_full(s));
            break;
        }
    }
    // The same mapping as the UTF-8 lowercasing.
    CHECK_EQ(text::lowercase("\u0391\u03a3 \u0130\U00010400"), "\u03b1\u03c2 i\u0307\U00010428");
}

TEST(utf16_helpers) {
    CHECK_EQ(codec::combine_surrogates(0xD83D, 0xDE00), U'\U0001F600');
    CHECK_EQ(utf16(U'\U0010FFFF'), u"\U0010FFFF");
    CHECK(codec::is_char_boundary(u"a\U0001F600b", 1));
    CHECK(!codec::is_char_boundary(u"a\U0001F600b", 2));
    CHECK(codec::is_char_boundary(u"a\U0001F600b", 3));
    CHECK(codec::is_char_boundary(u"\xdc00\xd800", 1));  // two lone halves, the wrong way round
}

TEST(segmenter_boundaries_cover_the_text) {
    const auto seg = WordSegmenter::create().value();
    for (std::u16string_view text : {u"Hello, World!", u"\u4eca\u5929\u5929\u6c14\u5f88\u597d",
                                     u"\u0e2a\u0e27\u0e31\u0e2a\u0e14\u0e35\u0e04\u0e23\u0e31\u0e1a", u"x",
                                     u"\U0001F469\u200D\U0001F4BB ok"}) {
        auto segs = seg.segments(text);
        std::size_t b = 0, e = 0, last = 0, n = 0;
        while (segs.next(b, e)) {
            CHECK_EQ(b, last);
            last = e;
            ++n;
        }
        CHECK_EQ(last, text.size());
        CHECK(n >= 1);
    }
}

TEST(boundary_contract) {
    const std::u16string_view text = u"a\u00e9\U0001F600b";  // 1 + 1 + 2 + 1 units
    CHECK(icu_word_pre_tokenizer::boundary_follows(text, 0, 1));
    CHECK(icu_word_pre_tokenizer::boundary_follows(text, 1, 2));
    CHECK(icu_word_pre_tokenizer::boundary_follows(text, 2, 4));
    CHECK(icu_word_pre_tokenizer::boundary_follows(text, 4, 5));
    CHECK(!icu_word_pre_tokenizer::boundary_follows(text, 0, 0));                          // not past the previous one
    CHECK(!icu_word_pre_tokenizer::boundary_follows(text, 2, 1));                          // backwards
    CHECK(!icu_word_pre_tokenizer::boundary_follows(text, 2, 3));                          // inside the pair
    CHECK(!icu_word_pre_tokenizer::boundary_follows(text, 4, 6));                          // past the end
    CHECK(!icu_word_pre_tokenizer::boundary_follows(text, 4, icu::BreakIterator::DONE));  // ended early
}

TEST(segmenter_clones_are_per_thread_and_bounded) {
    std::vector<icu_word_pre_tokenizer::WordSegmenter> segs;
    for (std::size_t i = 0; i < WordSegmenter::kClonesPerThread + 3; ++i) segs.push_back(WordSegmenter::create().value());
    for (std::size_t i = 1; i < segs.size(); ++i) CHECK(segs[i].id() != segs[i - 1].id());
    std::thread([&] {
        CHECK_EQ(WordSegmenter::thread_clone_count(), 0u);
        for (const auto& s : segs) {
            std::size_t b, e;
            auto it = s.segments(u"a b");
            while (it.next(b, e)) {
            }
        }
        CHECK_EQ(WordSegmenter::thread_clone_count(), WordSegmenter::kClonesPerThread);
    }).join();
}

namespace {

bool tokens_are(const std::vector<std::u16string>& list, std::initializer_list<std::u16string_view> want) {
    return std::equal(list.begin(), list.end(), want.begin(), want.end());
}

}  // namespace

TEST(tokenizer_steps) {
    icu_word_pre_tokenizer::StopwordSet stop;
    stop.insert(u"the");
    stop.insert(u",");
    const auto tok = ICUWordPreTokenizer::create(std::move(stop)).value();
    CHECK(tokens_are(tok.tokenize(u"The cat, the DOG", true, true), {u"cat", u"dog"}));
    CHECK(tokens_are(tok.tokenize(u"The cat, the DOG", false, false), {u"The", u"cat", u",", u"the", u"DOG"}));
    CHECK(tokens_are(tok.tokenize(u"  \u3000 ", false, true), {}));
    CHECK(tokens_are(tok.tokenize(u"line one\nline two", false, true), {u"line", u"oneline", u"two"}));
    if (u_charType(0x1FAE8) != U_UNASSIGNED)  // Unicode 15.0: ICU 72 and later
        CHECK(tokens_are(tok.tokenize(u"emoji\U0001FAE8inside", false, true), {u"emoji", u"\U0001FAE8", u"inside"}));
    else
        CHECK(tokens_are(tok.tokenize(u"emoji\U0001FAE8inside", false, true), {u"emojiinside"}));
    CHECK(tokens_are(tok.tokenize(u"\u105d\u102a", false, true), {u"\u105d\u102a"}));
}

TEST(batch_groups_texts_and_stops_between_them) {
    const auto tok = ICUWordPreTokenizer::create().value();
    auto texts = [] {
        Utf16List t;
        for (std::u16string_view s : {u"A b", u"", u"\t", u"c\nd e"}) t.push_back(s);
        return t;
    };
    Utf16List in = texts();
    Utf16TokenGroups out;
    tok.tokenize_batch(in, false, true, out);
    std::vector<std::u16string> tokens;
    std::vector<std::size_t> ends;
    for (std::size_t g = 0; g < out.size(); ++g) {
        for (std::size_t i = out.begin_of(g); i < out.groups[g].end; ++i) tokens.emplace_back(out.token(g, i));
        ends.push_back(tokens.size());
    }
    CHECK_EQ(ends, (std::vector<std::size_t>{2, 2, 2, 4}));
    CHECK(tokens_are(tokens, {u"a", u"b", u"cd", u"e"}));
    // A text whose lowercase is longer goes to the side buffer.
    in = Utf16List();
    in.push_back(u"\u0130x \u0130");
    in.push_back(u"Y z");
    tok.tokenize_batch(in, false, true, out);
    CHECK(out.groups[0].in_side && !out.groups[1].in_side);
    CHECK(out.token(0, 0) == u"i\u0307x" && out.token(0, 1) == u"i\u0307" && out.token(1, 2) == u"y");
    // An interruption point before each text: a poll that says stop ends
    // the batch by Interrupted.
    struct Poll {
        static bool stop(void*) { return true; }
    };
    pool::PollScope scope(&Poll::stop, nullptr);
    pool::checkpoint();  // starts the poll's first interval
    std::this_thread::sleep_for(pool::kPollInterval + std::chrono::milliseconds(10));
    in = texts();
    bool stopped = false;
    try {
        tok.tokenize_batch(in, false, true, out);
    } catch (const pool::Interrupted&) {
        stopped = true;
    }
    CHECK(stopped && out.size() == 0);
}

namespace {

std::unique_ptr<icu::BreakIterator> root_words() {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
    CHECK(U_SUCCESS(status) && it);
    return it;
}

// ICU's boundaries of `text`, and the fast path's.
std::vector<std::size_t> icu_boundaries(icu::BreakIterator& it, UText* ut, std::u16string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    utext_openUChars(ut, reinterpret_cast<const UChar*>(text.data()), static_cast<int64_t>(text.size()), &status);
    it.setText(ut, status);
    std::vector<std::size_t> out;
    it.first();
    for (int32_t b = it.next(); b != icu::BreakIterator::DONE; b = it.next()) out.push_back(static_cast<std::size_t>(b));
    return out;
}

std::vector<std::size_t> ascii_boundaries(const AsciiWords& model, std::u16string_view text) {
    std::vector<std::size_t> out;
    for (std::size_t b = 0; b < text.size();) out.push_back(b = model.segment_end(text, b));
    return out;
}

// Compares a fast path with an iterator (a clone of `words`) on texts it is
// handed.
class AsciiChecker {
public:
    AsciiChecker(const icu::BreakIterator& words, const AsciiWords& model) : it_(words.clone()), model_(model) {}
    ~AsciiChecker() { utext_close(&ut_); }

    void check(std::u16string_view text) {
        ++checked;
        if (ascii_boundaries(model_, text) != icu_boundaries(*it_, &ut_, text) && ++mismatches <= 5) {
            std::string shown(text.begin(), text.end());
            std::fprintf(stderr, "ASCII boundaries differ from ICU's on \"%s\"\n", shown.c_str());
        }
    }

    std::size_t checked = 0, mismatches = 0;

private:
    std::unique_ptr<icu::BreakIterator> it_;
    const AsciiWords& model_;
    UText ut_ = UTEXT_INITIALIZER;
};

// Every string of `length` printable ASCII characters whose first character
// is first_lo..first_hi.
void check_all(AsciiChecker& checker, std::size_t length, char16_t first_lo, char16_t first_hi) {
    std::u16string text(length, u' ');
    text[0] = first_lo;
    for (;;) {
        checker.check(text);
        // The next string: the last character counts fastest.
        std::size_t k = length - 1;
        while (k > 0 && text[k] == u'~') text[k--] = u' ';
        if (k == 0 && text[0] == first_hi) return;
        ++text[k];
    }
}

}  // namespace

// The fast path for printable ASCII against ICU's iterator: the classes
// read off ICU's root rules, on every string of up to four printable ASCII
// characters (on two threads), then random longer ones. A shrunk run
// (emulated builds) stops the exhaustive part at three characters: the
// 81 M strings of four take hours under emulation. The tokenizer uses the
// fast path exactly when it is right: any difference found here must have
// made the check at startup stand it down.
TEST(ascii_boundaries_match_icu) {
    const auto root = root_words();
    const AsciiWords model = AsciiWords::probe(*root);
    const AsciiWords* in_use = AsciiWords::of_root(*root);
    CHECK_EQ(in_use, WordSegmenter::create().value().ascii_words());
    const std::size_t longest = check::scale() > 1 ? 3 : 4;
    AsciiChecker low(*root, model), high(*root, model);
    std::thread other([&] {
        for (std::size_t length = 1; length <= longest; ++length) check_all(high, length, u'P', u'~');
    });
    for (std::size_t length = 1; length <= longest; ++length) check_all(low, length, u' ', u'O');
    other.join();
    std::size_t expected = 0;
    for (std::size_t length = 1, count = 95; length <= longest; ++length, count *= 95) expected += count;
    CHECK_EQ(low.checked + high.checked, expected);
    std::mt19937 rng(3);
    const std::u16string_view common = u"aZ09_.,;:'\"@ -!";
    std::u16string text;
    for (std::size_t round = 0; round < check::scaled(300000); ++round) {
        text.resize(5 + rng() % 12);
        for (auto& u : text) u = rng() % 4 ? common[rng() % common.size()] : static_cast<char16_t>(0x20 + rng() % 95);
        low.check(text);
    }
    const std::size_t mismatches = low.mismatches + high.mismatches;
    if (in_use) {
        CHECK_EQ(mismatches, 0u);
        for (char16_t c = u' '; c <= u'~'; ++c) CHECK_EQ(in_use->class_of(c), model.class_of(c));
    } else {
        std::fprintf(stderr, "the ASCII fast path stands down: ICU's word rules do not fit it\n");
        CHECK(mismatches > 0);
    }
}

// Word rules unlike ICU's root ones, within what the fast path can express:
// '@' and '#' are letters, ':' joins letters only, ',' and ';' digits only,
// '.' and '\'' both. The classes come from the rules, and the fast path
// gives their boundaries. Rules beyond it make it stand down.
TEST(ascii_classes_follow_the_rules_they_are_read_from) {
    auto rules = [](const char* text) {
        UParseError where;
        UErrorCode status = U_ZERO_ERROR;
        auto it = std::make_unique<icu::RuleBasedBreakIterator>(icu::UnicodeString(text, -1, US_INV), where, status);
        CHECK(U_SUCCESS(status));
        return it;
    };
    const auto other = rules(
        "!!chain;"
        "$L = [a-zA-Z\\u0040\\u0023]; $D = [0-9]; $W = [$L $D \\u005F];"
        "$ML = [\\u003A]; $MB = [\\u002E\\u0027]; $MN = [\\u002C\\u003B]; $S = [\\u0020];"
        "$S $S; $W $W; $L ($ML | $MB) $L; $D ($MN | $MB) $D;");
    const auto model = AsciiWords::derive(*other);
    CHECK(model.has_value());
    if (!model) return;
    using W = AsciiWords;
    CHECK_EQ(model->class_of(u'@'), W::kJoin | W::kLetter);
    CHECK_EQ(model->class_of(u'7'), W::kJoin | W::kDigit);
    CHECK_EQ(model->class_of(u'_'), W::kJoin);
    CHECK_EQ(model->class_of(u':'), W::kMidLetter);
    CHECK_EQ(model->class_of(u';'), W::kMidDigit);
    CHECK_EQ(model->class_of(u'.'), W::kMidLetter | W::kMidDigit);
    CHECK_EQ(model->class_of(u' '), W::kSpace);
    CHECK_EQ(model->class_of(u'!'), 0);
    AsciiChecker checker(*other, *model);
    for (std::size_t length = 1; length <= 3; ++length) check_all(checker, length, u' ', u'~');
    CHECK_EQ(checker.mismatches, 0u);
    // "ab" one segment but "ba" two: no class says that.
    CHECK(!AsciiWords::derive(*rules("!!chain; $A = [a]; $B = [b]; $A $B;")).has_value());
}
