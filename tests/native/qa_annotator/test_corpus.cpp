#include <random>
#include <string>
#include <vector>

#include "check.hpp"
#include "qa_annotator/corpus.hpp"
#include "qa_annotator/qa_annotator.hpp"

using namespace quarnel::qa_annotator;

using namespace quarnel;

namespace {

std::vector<std::string> tokens_of(const TokenView& v) {
    std::vector<std::string> out;
    for (std::uint32_t i = 0; i < v.size(); ++i) out.emplace_back(v[i]);
    return out;
}

TokenList list(std::initializer_list<const char*> tokens) {
    TokenList l;
    for (const char* t : tokens) l.push_back(t);
    return l;
}

}  // namespace

TEST(corpus_round_trips_many_documents) {
    std::mt19937 rng(5);
    std::vector<std::pair<std::string, std::vector<std::string>>> docs;
    // Fewer expected documents than given: the table must grow.
    Corpus::Builder b(10);
    for (int i = 0; i < 50000; ++i) {
        std::string id = "doc-" + std::to_string(i * 7919);
        std::vector<std::string> toks;
        b.begin(id);
        for (unsigned k = 0, n = rng() % 40; k < n; ++k) {
            std::string t(rng() % 9, static_cast<char>('a' + rng() % 26));
            b.add_token(t);
            toks.push_back(t);
        }
        b.end();
        docs.emplace_back(id, std::move(toks));
    }
    qa_annotator::Corpus c = std::move(b).finish();
    CHECK_EQ(c.size(), docs.size());
    bool all = true;
    for (auto& [id, toks] : docs) {
        auto v = c.find(id);
        all = all && v && tokens_of(*v) == toks;
    }
    CHECK(all);
    CHECK(!c.find("doc-1"));
    CHECK(!c.find(""));
    CHECK(!c.find(std::string("doc-0\0", 6)));
}

TEST(corpus_edge_cases) {
    Corpus::Builder b(4);
    b.begin("");
    b.add_token("");
    b.add_token("x");
    b.end();
    b.begin("dup");
    b.add_token("old");
    b.end();
    b.begin("dup");
    b.add_token("new");
    b.end();
    b.begin("empty");
    b.end();
    qa_annotator::Corpus c = std::move(b).finish();
    CHECK_EQ(c.size(), 3u);
    CHECK(tokens_of(*c.find("")) == (std::vector<std::string>{"", "x"}));
    CHECK(tokens_of(*c.find("dup")) == std::vector<std::string>{"new"});
    CHECK(c.find("empty") && c.find("empty")->empty());
    CHECK(!qa_annotator::Corpus().find("x"));
}

// Documents larger than an arena chunk get chunks of their own; the ones
// around them must stay where the table says.
TEST(corpus_documents_larger_than_a_chunk) {
    Corpus::Builder b(8);
    const std::string big_token(3 << 20, 'b');
    for (int i = 0; i < 6; ++i) {
        b.begin("small" + std::to_string(i));
        b.add_token(std::to_string(i));
        b.end();
        b.begin("big" + std::to_string(i));
        for (int k = 0; k <= i % 2; ++k) b.add_token(big_token);
        b.add_token("end" + std::to_string(i));
        b.end();
    }
    qa_annotator::Corpus c = std::move(b).finish();
    CHECK_EQ(c.size(), 12u);
    for (int i = 0; i < 6; ++i) {
        CHECK(tokens_of(*c.find("small" + std::to_string(i))) == std::vector<std::string>{std::to_string(i)});
        const auto big = tokens_of(*c.find("big" + std::to_string(i)));
        CHECK(big.size() == static_cast<std::size_t>(i % 2 + 2) && big.front() == big_token &&
              big.back() == "end" + std::to_string(i));
    }
}

TEST(judge_document_rules) {
    TokenList doc = list({"the", "cat", "sat", "on", "the", "mat"});
    const auto d = doc.view();
    auto judge = [&](std::vector<TokenList> answers, const TokenView& on) { return qa_annotator::judge_document(on, answers); };
    CHECK_EQ(judge({list({"the", "mat"})}, d), 1u);
    CHECK_EQ(judge({list({"mat"})}, d), 1u);
    CHECK_EQ(judge({list({"the", "cat", "sat", "on", "the", "mat"})}, d), 1u);
    CHECK_EQ(judge({list({"cat", "the"})}, d), 0u);
    CHECK_EQ(judge({list({"ca"})}, d), 0u);
    CHECK_EQ(judge({list({"mat", "x"})}, d), 0u);
    CHECK_EQ(judge({list({"the", "cat", "sat", "on", "the", "mat", "!"})}, d), 0u);
    CHECK_EQ(judge({}, d), 0u);
    CHECK_EQ(judge({list({"zz"}), list({})}, d), 1u);
    TokenList empty;
    CHECK_EQ(judge({list({})}, empty.view()), 1u);
    CHECK_EQ(judge({list({""})}, empty.view()), 0u);
    TokenList with_empty = list({"a", "", "b"});
    CHECK_EQ(judge({list({"", "b"})}, with_empty.view()), 1u);
    CHECK_EQ(judge({list({"a", "b"})}, with_empty.view()), 0u);
}

// The prepared scan must give the reference scan's label on every input:
// random documents and answers over a small alphabet of tokens chosen to
// collide on length and on their first 8 bytes.
TEST(answer_set_matches_reference_scan) {
    const std::vector<std::string> alphabet{"", "a", "b", "ab", "ba", "abcdefgh", "abcdefgi", "abcdefghX",
                                            "abcdefghY", "abcdefghijklmnopq", "\xc3\xa9", "a\0b"};
    std::mt19937 rng(42);
    Corpus::Builder builder(2000);
    std::vector<std::string> ids;
    for (int d = 0; d < 2000; ++d) {
        ids.push_back(std::to_string(d).insert(0, 1, 'd'));
        builder.begin(ids.back());
        for (unsigned k = 0, n = rng() % 14; k < n; ++k) builder.add_token(alphabet[rng() % alphabet.size()]);
        builder.end();
    }
    const Corpus corpus = std::move(builder).finish();
    int ones = 0, mismatches = 0;
    for (int q = 0; q < 3000; ++q) {
        std::vector<TokenList> answers(rng() % 4);
        for (auto& a : answers)
            for (unsigned k = 0, n = rng() % 4 == 0 ? 0 : 1 + rng() % 3; k < n; ++k) a.push_back(alphabet[rng() % alphabet.size()]);
        const std::vector<TokenList> copy = answers;
        const AnswerSet set(std::move(answers));
        for (int j = 0; j < 20; ++j) {
            const TokenView doc = *corpus.find(ids[rng() % ids.size()]);
            const std::uint32_t want = qa_annotator::judge_document(doc, copy);
            mismatches += set.judge(doc) != want;
            ones += want;
        }
    }
    CHECK_EQ(mismatches, 0);
    CHECK(ones > 5000 && ones < 55000);  // both labels well represented
}

// Long answers go through the KMP search: the same labels as the reference
// scan on random token lists and on repetitive ones (periodic documents
// with a few changed tokens, answers cut from them, self-overlapping
// answers), where a wrong fallback would skip or invent an occurrence.
TEST(long_answers_match_reference_scan) {
    std::mt19937 rng(7);
    const std::vector<std::string> alphabet{"a", "b", "", "abcdefghX", "abcdefghY"};
    const auto pick = [&](std::size_t k) { return alphabet[rng() % k]; };
    Corpus::Builder builder(3000);
    std::vector<std::vector<std::string>> docs;
    for (int d = 0; d < 3000; ++d) {
        std::vector<std::string> doc;
        const std::size_t k = 2 + rng() % 4;  // tokens drawn from the first k of the alphabet
        if (d % 2 == 0) {
            for (unsigned i = 0, n = rng() % 200; i < n; ++i) doc.push_back(pick(k));
        } else {
            std::vector<std::string> period;
            for (unsigned i = 0, p = 1 + rng() % 6; i < p; ++i) period.push_back(pick(k));
            for (unsigned i = 0, n = rng() % 200; i < n; ++i) doc.push_back(period[i % period.size()]);
            for (unsigned i = 0, c = rng() % 3; i < c && !doc.empty(); ++i) doc[rng() % doc.size()] = pick(k);
        }
        builder.begin(std::to_string(d));
        for (const std::string& t : doc) builder.add_token(t);
        builder.end();
        docs.push_back(std::move(doc));
    }
    const Corpus corpus = std::move(builder).finish();
    int ones = 0, mismatches = 0;
    for (int q = 0; q < 4000; ++q) {
        std::vector<TokenList> answers(1 + rng() % 3);
        for (TokenList& a : answers) {
            const std::size_t n = AnswerSet::kLongAnswer + rng() % 20;
            const std::vector<std::string>& source = docs[rng() % docs.size()];
            if (q % 2 == 0 && source.size() >= n) {  // a run of a document: often found elsewhere too
                const std::size_t start = rng() % (source.size() - n + 1);
                for (std::size_t i = 0; i < n; ++i) a.push_back(source[start + i]);
                if (rng() % 3 == 0) a.push_back(pick(2));
            } else {
                for (std::size_t i = 0; i < n; ++i) a.push_back(pick(2 + rng() % 4));
            }
        }
        if (q % 5 == 0) answers.push_back(list({"b", "a"}));  // a short answer beside the long ones
        const std::vector<TokenList> copy = answers;
        const AnswerSet set(std::move(answers));
        for (int j = 0; j < 10; ++j) {
            const TokenView doc = *corpus.find(std::to_string(rng() % docs.size()));
            const std::uint32_t want = qa_annotator::judge_document(doc, copy);
            mismatches += set.judge(doc) != want;
            ones += want;
        }
    }
    CHECK_EQ(mismatches, 0);
    CHECK(ones > 4000 && ones < 36000);  // both labels well represented
}
