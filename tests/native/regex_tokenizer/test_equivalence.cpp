// The specialised default matcher against the engine: the same default
// pattern compiled by Oniguruma (with its leading (?im)) must give exactly
// the same tokens, for every code point, every code point next to letters,
// digits and marks, every multi-character case folding, and random texts.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <thread>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "append_utf8.hpp"
#include "check.hpp"
#include "helpers.hpp"
#include "regex_tokenizer/regex_tokenizer.hpp"
#include "text/lowercase.hpp"

using namespace quarnel::regex_tokenizer;

using namespace quarnel;
using namespace rt_test;

namespace {

using Matching = RegexTokenizer::Matching;

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void report(std::atomic<int>& reported, std::string_view text, const TokenList& fast, const TokenList& engine) {
    if (++reported > 5) return;
    std::string msg = "  differ on " + hex(text.substr(0, 64)) + "\n";
    auto dump = [&](const char* who, const TokenList& l) {
        msg += std::string("    ") + who + ":";
        for (std::size_t i = 0; i < l.size() && i < 12; ++i) msg += " [" + hex(l[i]) + "]";
        msg += "\n";
    };
    dump("fast", fast);
    dump("engine", engine);
    std::fputs(msg.c_str(), stderr);
}

// Fast and engine tokenizers for one setting.
struct Pair {
    RegexTokenizer fast, engine;
    mutable std::atomic<int> reported{0};

    Pair(bool lowercase, bool normalize, std::string_view form = "nfd")
        : fast(make(regex_tokenizer::kDefaultPattern, lowercase, normalize, form, Matching::Auto)),
          engine(make(regex_tokenizer::kDefaultPattern, lowercase, normalize, form, Matching::Engine)) {}

    bool agree(std::string_view text) const {
        TokenList a = fast.tokenize(text), b = engine.tokenize(text);
        if (same(a, b)) return true;
        report(reported, text, a, b);
        return false;
    }
};

// For the exhaustive runs, where the engine's time dominates: one engine
// search (case kept) checks the fast matcher both keeping case and
// lowercasing, the latter against the engine's tokens lowercased one by one
// (which is all the engine path does when lowercasing).
struct BothCases {
    RegexTokenizer fast_keep = make(kDefaultPattern, false, false, "nfd", Matching::Auto);
    RegexTokenizer fast_lower = make(kDefaultPattern, true, false, "nfd", Matching::Auto);
    RegexTokenizer engine = make(kDefaultPattern, false, false, "nfd", Matching::Engine);
    mutable std::atomic<int> reported{0};

    bool agree(std::string_view text) const {
        TokenList expected = engine.tokenize(text);
        TokenList keep = fast_keep.tokenize(text);
        if (!same(keep, expected)) {
            report(reported, text, keep, expected);
            return false;
        }
        TokenList expected_lower;
        for (std::size_t i = 0; i < expected.size(); ++i) expected_lower.push_back(text::lowercase(expected[i]));
        TokenList lower = fast_lower.tokenize(text);
        if (!same(lower, expected_lower)) {
            report(reported, text, lower, expected_lower);
            return false;
        }
        return true;
    }
};

// Runs count(begin, end) over [0, n) split between the cores; sums the results.
template <class Fn>
int parallel_sum(std::size_t n, Fn count) {
    std::size_t workers = std::max(1u, std::thread::hardware_concurrency());
    std::vector<int> sums(workers, 0);
    std::vector<std::thread> threads;
    for (std::size_t w = 0; w < workers; ++w)
        threads.emplace_back([&, w] { sums[w] = count(n * w / workers, n * (w + 1) / workers); });
    for (auto& t : threads) t.join();
    return std::accumulate(sums.begin(), sums.end(), 0);
}

// Checks `texts` joined by spaces in chunks: the space is a separator, so no
// token spans two pieces on either side and each piece is checked in turn.
template <class Checker>
int disagreements_joined(const Checker& p, const std::vector<std::string>& texts) {
    return parallel_sum(texts.size(), [&](std::size_t begin, std::size_t end) {
        int bad = 0;
        std::string chunk;
        for (std::size_t i = begin; i < end; ++i) {
            chunk += texts[i];
            chunk += ' ';
            if (chunk.size() > 4096 || i + 1 == end) {
                if (!p.agree(chunk)) ++bad;
                chunk.clear();
            }
        }
        return bad;
    });
}

std::vector<char32_t> all_code_points() {
    std::vector<char32_t> v;
    for (char32_t c = 0; c <= 0x10FFFF; ++c)
        if (!is_surrogate(c) && check::visits(c)) v.push_back(c);
    return v;
}

struct Folding {
    char32_t source;
    std::string target;  // several code points
};

std::vector<Folding> multi_char_foldings() {
    std::vector<Folding> out;
    std::ifstream in("/usr/share/unicode/CaseFolding.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::stringstream ss(line);
        std::string code, status, mapping;
        std::getline(ss, code, ';');
        std::getline(ss, status, ';');
        std::getline(ss, mapping, ';');
        if (status != " F") continue;
        Folding f{static_cast<char32_t>(std::stoul(code, nullptr, 16)), {}};
        std::stringstream ms(mapping);
        std::string cp;
        while (ms >> cp) codec::append_utf8(f.target, static_cast<char32_t>(std::stoul(cp, nullptr, 16)));
        out.push_back(std::move(f));
    }
    return out;
}

}  // namespace

TEST(equivalence_every_code_point_alone) {
    auto cps = all_code_points();
    BothCases p;
    int bad = parallel_sum(cps.size(), [&](std::size_t begin, std::size_t end) {
        int n = 0;
        for (std::size_t i = begin; i < end; ++i) n += !p.agree(u8(cps[i]));
        return n;
    });
    CHECK_EQ(bad, 0);
}

TEST(equivalence_every_code_point_with_neighbours) {
    auto cps = all_code_points();
    std::vector<std::string> texts;
    texts.reserve(cps.size() * 6);
    for (char32_t c : cps) {
        std::string s = u8(c);
        for (const char* n : {"a", "7", "\u0301"}) {
            texts.push_back(n + s);
            texts.push_back(s + n);
        }
    }
    CHECK_EQ(disagreements_joined(BothCases(), texts), 0);
}

TEST(equivalence_multi_char_case_foldings) {
    auto folds = multi_char_foldings();
    CHECK(folds.size() > 100);
    std::vector<std::string> texts;
    for (const auto& f : folds) {
        std::string src = u8(f.source), upper;
        for (const std::string& s : {f.target, src, f.target + src, src + f.target}) {
            for (const char* l : {"", "a", " ", "!", "1", "\u00AD", "\u0301"})
                for (const char* r : {"", "a", " ", "!", "1", "\u00AD", "\u0301"}) texts.push_back(l + s + r);
        }
        // Every code point of the folded sequence cut off by punctuation or
        // a control, on each side.
        std::size_t pos = 0;
        while (pos < f.target.size()) {
            std::size_t len = codec::char_length_at(f.target, pos);
            for (const char* cut : {".", "\x01", "\u2028"}) {
                texts.push_back(f.target.substr(0, pos) + cut + f.target.substr(pos));
                texts.push_back(f.target.substr(0, pos + len) + cut + f.target.substr(pos + len));
            }
            pos += len;
        }
    }
    for (bool lower : {false, true}) {
        Pair p(lower, false);
        int bad = 0;
        for (const auto& t : texts)  // alone, so that nothing joins them
            bad += !p.agree(t);
        CHECK_EQ(bad, 0);
        CHECK_EQ(disagreements_joined(p, texts), 0);
    }
}

TEST(equivalence_random_texts) {
    auto folds = multi_char_foldings();
    std::vector<std::pair<char32_t, char32_t>> ranges = {
        {0x20, 0x7E},      {0x20, 0x7E},       {0x41, 0x5A},       {0x61, 0x7A},     {0x30, 0x39},
        {0x00, 0x1F},      {0x7F, 0x9F},       {0xA0, 0xFF},       {0x100, 0x24F},   {0x370, 0x3FF},
        {0x400, 0x4FF},    {0x300, 0x36F},     {0x1AB0, 0x1AFF},   {0x4E00, 0x9FFF}, {0xAC00, 0xD7A3},
        {0x1F300, 0x1FAFF}, {0x2000, 0x206F},  {0xFE00, 0xFE0F},   {0xFF00, 0xFFEF}, {0xFFF0, 0xFFFF},
        {0xE000, 0xE0FF},  {0x10000, 0x1FFFF}, {0x20000, 0x3FFFF}, {0xE0000, 0xE01EF}, {0x10FFF0, 0x10FFFF},
        {0x0590, 0x08FF},  {0x0900, 0x0DFF},   {0x3000, 0x30FF},   {0x2070, 0x218F},
    };
    std::mt19937 rng(20240611);
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < check::scaled(6000); ++i) {
        std::string s;
        std::size_t len = 1 + pick(i % 10 == 0 ? 400 : 40);
        for (std::size_t k = 0; k < len; ++k) {
            std::size_t r = pick(ranges.size() + 3);
            if (r == ranges.size()) {
                s += folds[pick(folds.size())].target;
            } else if (r == ranges.size() + 1) {
                codec::append_utf8(s, folds[pick(folds.size())].source);
            } else {
                auto [lo, hi] = ranges[r < ranges.size() ? r : 0];
                char32_t c = lo + static_cast<char32_t>(pick(hi - lo + 1));
                if (!is_surrogate(c)) codec::append_utf8(s, c);
            }
        }
        texts.push_back(std::move(s));
    }
    for (bool lower : {false, true})
        for (bool normalize : {false, true})
            for (const char* form : {"nfd", "nfc", "nfkd", "nfkc"}) {
                if (!normalize && form != std::string_view("nfd")) continue;
                Pair p(lower, normalize, form);
                int bad = parallel_sum(texts.size(), [&](std::size_t begin, std::size_t end) {
                    int n = 0;
                    for (std::size_t i = begin; i < end; ++i) n += !p.agree(texts[i]);
                    return n;
                });
                CHECK_EQ(bad, 0);
            }
}

TEST(equivalence_malformed_utf8) {
    // Not something the binding sends, but the matcher must not read past the
    // text and should step through bytes the way the engine does.
    std::mt19937 rng(7);
    const unsigned char pieces[] = {'a', ' ', '.', 0x80, 0xAA, 0xBF, 0xC3, 0xA9, 0xC0, 0xE4, 0xB8, 0xAD,
                                    0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x90, 0xF8, 0xFC, 0xFE, 0xFF, 0xED, 0xA0,
                                    0xE0, 0x82, 0xF5, 0x81};
    BothCases p;
    int bad = 0;
    for (std::size_t i = 0; i < check::scaled(100000); ++i) {
        std::string s;
        std::size_t len = 1 + rng() % 16;
        for (std::size_t k = 0; k < len; ++k) s.push_back(static_cast<char>(pieces[rng() % sizeof pieces]));
        bad += !p.agree(s);
    }
    CHECK_EQ(bad, 0);
}
