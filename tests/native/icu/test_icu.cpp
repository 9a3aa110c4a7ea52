// The pieces of ICUWordPreTokenizer: the cleaning scan against the engine,
// White_Space trimming, the per-thread segmenter clones.
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "check.hpp"
#include "icu/cleaning.hpp"
#include "icu/icu_word_pre_tokenizer.hpp"
#include "icu/white_space.hpp"
#include "icu/word_segmenter.hpp"
#include "text/utf8.hpp"

// GCC 12 mistakes the destruction of the unused Error alternative of an
// inlined Result for a free of a non-heap pointer.
#pragma GCC diagnostic ignored "-Wfree-nonheap-object"

using namespace quarnel;
using namespace quarnel::icu_text;

namespace {

std::string utf8(char32_t c) {
    std::string s;
    text::append_utf8(s, c);
    return s;
}

const Cleaner& cleaner() {
    static Cleaner c = Cleaner::create().value();
    return c;
}

std::string engine_clean(std::string_view text) {
    std::string out;
    cleaner().clean_with_engine(text, out);
    return out;
}

// The scan may only say "nothing to clean" when the engine agrees, and
// clean() must give the engine's result either way.
bool agrees(std::string_view text) {
    std::string storage;
    const std::string want = engine_clean(text);
    if (nothing_to_clean(text) && want != text) return false;
    return cleaner().clean(text, storage) == want;
}

}  // namespace

TEST(cleaning_scan_matches_engine_for_every_code_point) {
    int mismatches = 0;
    for (char32_t c = 0; c < 0x110000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;  // not encodable as UTF-8
        const std::string one = "ab" + utf8(c) + "cdefghij";  // also past the 8-byte ASCII step
        const bool engine_keeps = engine_clean(one) == one;
        if (nothing_to_clean(one) != engine_keeps) ++mismatches;
    }
    CHECK_EQ(mismatches, 0);
}

TEST(cleaning_scan_matches_engine_on_random_texts) {
    std::mt19937 rng(7);
    // Pieces that stress the scan: ASCII controls and DEL around the 8-byte
    // steps, C1 controls, noncharacters, unassigned, CJK, 4-byte characters.
    const std::vector<std::string> pieces = {"a", "bcdefgh", " ", "\t", "\n", "\x7f", "\x01", "\u0085", "\u00a0",
                                             "\u0378", "\uffff", "\ufdd0", "\u4e2d", "\U0001F600", "\U000E0001",
                                             "\U0010FFFF", "\u00e9", "\u2028", "\u200b"};
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int n = static_cast<int>(rng() % 24);
        for (int k = 0; k < n; ++k) text += pieces[rng() % pieces.size()];
        if (!agrees(text)) {
            CHECK(agrees(text));
            break;
        }
    }
    // Malformed UTF-8 goes to the engine.
    CHECK(!nothing_to_clean("ab\xff"));
    CHECK(!nothing_to_clean("\xe4\xb8"));
    CHECK(nothing_to_clean(""));
    CHECK(nothing_to_clean("plain ASCII text, long enough for words"));
}

TEST(cleaning_removes_runs) {
    std::string storage;
    CHECK_EQ(cleaner().clean("a\tb\n\nc\u0378\uffffd", storage), "abcd");
    CHECK_EQ(cleaner().clean("\x00\x01\x02", storage), "");
    CHECK_EQ(cleaner().clean("keep\u2028\u200b\ue000", storage), "keep\u2028\u200b\ue000");
}

TEST(white_space_trim) {
    CHECK_EQ(trim_white_space(" \t\u00a0\u3000a b\u2029\u202f\u0085 "), "a b");
    CHECK_EQ(trim_white_space("\u200b a"), "\u200b a");  // ZERO WIDTH SPACE is not White_Space
    CHECK_EQ(trim_white_space("\u1680\u2000\u200a\u205f"), "");
    CHECK_EQ(trim_white_space(""), "");
    CHECK_EQ(trim_white_space("\u00a1x\u00a1"), "\u00a1x\u00a1");
    // Every code point against the listed set, alone and between letters.
    for (char32_t c = 0; c < 0x110000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const std::string s = utf8(c);
        if ((trim_white_space(s).empty()) != is_white_space(c)) {
            CHECK(trim_white_space(s).empty() == is_white_space(c));
            break;
        }
        if (trim_white_space("x" + s + "y") != "x" + s + "y") CHECK(false);
    }
}

TEST(segmenter_boundaries_cover_the_text) {
    const auto seg = WordSegmenter::create().value();
    for (std::string_view text : {"Hello, World!", "\u4eca\u5929\u5929\u6c14\u5f88\u597d",
                                  "\u0e2a\u0e27\u0e31\u0e2a\u0e14\u0e35\u0e04\u0e23\u0e31\u0e1a", "x"}) {
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
    const std::string_view text = "a\u00e9\u4e2db";  // 1 + 2 + 3 + 1 bytes
    CHECK(boundary_follows(text, 0, 1));
    CHECK(boundary_follows(text, 1, 3));
    CHECK(boundary_follows(text, 3, 7));
    CHECK(!boundary_follows(text, 0, 0));                              // not past the previous one
    CHECK(!boundary_follows(text, 3, 1));                              // backwards
    CHECK(!boundary_follows(text, 1, 2));                              // inside the e-acute
    CHECK(!boundary_follows(text, 3, 5));                              // inside the ideograph
    CHECK(!boundary_follows(text, 3, 8));                              // past the end
    CHECK(!boundary_follows(text, 3, icu::BreakIterator::DONE));      // ended early
}

TEST(segmenter_clones_are_per_thread_and_bounded) {
    std::vector<WordSegmenter> segs;
    for (std::size_t i = 0; i < WordSegmenter::kClonesPerThread + 3; ++i) segs.push_back(WordSegmenter::create().value());
    for (std::size_t i = 1; i < segs.size(); ++i) CHECK(segs[i].id() != segs[i - 1].id());
    std::thread([&] {
        CHECK_EQ(WordSegmenter::thread_clone_count(), 0u);
        for (const auto& s : segs) {
            std::size_t b, e;
            auto it = s.segments("a b");
            while (it.next(b, e)) {
            }
        }
        CHECK_EQ(WordSegmenter::thread_clone_count(), WordSegmenter::kClonesPerThread);
    }).join();
}

// The tokens of `list` equal `want`.
bool tokens_are(const TokenList& list, std::initializer_list<std::string_view> want) {
    if (list.size() != want.size()) return false;
    std::size_t i = 0;
    for (std::string_view w : want)
        if (list[i++] != w) return false;
    return true;
}

TEST(tokenizer_steps) {
    StopwordSet stop;
    stop.insert("the");
    stop.insert(",");
    const auto tok = ICUWordPreTokenizer::create(std::move(stop)).value();
    CHECK(tokens_are(tok.tokenize("The cat, the DOG", true, true), {"cat", "dog"}));
    CHECK(tokens_are(tok.tokenize("The cat, the DOG", false, false), {"The", "cat", ",", "the", "DOG"}));
    CHECK(tokens_are(tok.tokenize("  \u3000 ", false, true), {}));
    CHECK(tokens_are(tok.tokenize("line one\nline two", false, true), {"line", "oneline", "two"}));
}
