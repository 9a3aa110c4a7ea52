// A call's conversion (the token table, merging of equal keys, the batch)
// against a straightforward one, and the planned pseudo-text batch.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "check.hpp"
#include "converter/converter.hpp"
#include "converter/pseudo_text.hpp"
#include "codec/utf8.hpp"

using namespace quarnel::converter;

using namespace quarnel;
using namespace quarnel::converter;

namespace {

using Entries = std::vector<std::pair<std::string, std::int32_t>>;

// Row r converted the plain way: every column in order, the vocabulary
// searched for each kept one, keys as strings, a later equal key replacing
// the value in place.
Result<Entries> reference_row(const Converter::Vocab& vocab, const std::vector<float>& m, std::size_t cols, std::size_t r,
                              const ConvertOptions& o) {
    Entries out;
    for (std::size_t c = 0; c < cols; ++c) {
        const float x = m[r * cols + c];
        if (!keep_f32(x, o.allow_negative_values)) continue;
        const std::int32_t k = quantize(x, static_cast<float>(o.quantization_factor));
        std::string text = std::to_string(c);
        if (o.convert_id_to_token) {
            const auto it = vocab.find(static_cast<std::int32_t>(c));
            if (it == vocab.end()) return key_error("Token id " + std::to_string(c) + " not found in vocab_dict.");
            text = it->second;
        }
        std::int32_t value = k;
        if (k < 0 && o.allow_negative_values) {
            text = o.negative_prefix + text;
            value = k == INT32_MIN ? INT32_MAX : -k;
        } else if (k <= 0) {
            continue;
        }
        bool found = false;
        for (auto& [t, v] : out)
            if (t == text) v = value, found = true;
        if (!found) out.emplace_back(text, value);
    }
    if (out.empty()) out.emplace_back(o.convert_id_to_token ? "[PAD]" : "-1", 1);
    return out;
}

// The rep's keys as strings, checking what the dict builder relies on: the
// ASCII flag, and one key text per key id, below key_ids().
Entries texts_of(const Conversion& conversion, const JsonRep& rep, std::map<std::size_t, std::string>& ids) {
    Entries out;
    std::string text;
    for (const RepEntry& e : rep) {
        CHECK_EQ(e.ascii, codec::is_ascii(e.base()));
        out.emplace_back(std::string(conversion.key(e, text)), e.value);
        const std::size_t id = Conversion::key_id(e, conversion.matrix().cols);
        CHECK(id < conversion.key_ids() && ids.try_emplace(id, text).first->second == text);
    }
    return out;
}

}  // namespace

TEST(conversion_matches_the_plain_conversion) {
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        // Every tenth matrix is wide, with weights at the edges of the vector
        // kernels' steps; every other wide one is read backwards.
        const bool wide = round % 10 == 9, backwards = round % 20 == 19;
        const std::size_t rows = rng() % 6, cols = wide ? 4096 + rng() % 300 : rng() % 40;
        const auto weight = [&] { return std::ldexp(static_cast<float>(static_cast<int>(rng() % 2001) - 1000), -8); };
        std::vector<float> m(rows * cols);
        for (float& x : m) x = rng() % (wide ? 300 : 3) ? 0.0f : weight();
        for (std::size_t r = 0; wide && r < rows; ++r)
            for (std::size_t c : {0, 2047, 2048, 4095, 4096}) m[r * cols + c] = weight();
        // Token texts drawn from a few, some with the prefix, some ids missing.
        Converter::Vocab vocab;
        for (std::size_t c = 0; c < cols; ++c) {
            if (rng() % (wide ? 2000 : 10) == 0) continue;
            char text[8];
            std::snprintf(text, sizeof text, "%s%u", std::vector<const char*>{"", "", "n", "é"}[rng() % 4],
                          static_cast<unsigned>(rng() % 12));
            vocab[static_cast<std::int32_t>(c)] = text;
        }
        const Converter conv(vocab);
        ConvertOptions o;
        o.quantization_factor = static_cast<std::int32_t>(rng() % 5) * 50 - 50;
        o.convert_id_to_token = rng() % 2;
        o.allow_negative_values = rng() % 2;
        o.negative_prefix = std::vector<std::string>{"neg_", "n", "", "1"}[rng() % 4];
        std::vector<float> reversed(m.rbegin(), m.rend());  // row r of m is row rows - 1 - r, backwards
        const MatrixView view = backwards && rows ? MatrixView{reinterpret_cast<const char*>(reversed.data() + reversed.size() - 1),
                                                       rows, cols, -static_cast<std::ptrdiff_t>(cols * 4), -4, Element::F32}
                                          : MatrixView{reinterpret_cast<const char*>(m.data()), rows, cols,
                                                       static_cast<std::ptrdiff_t>(cols * 4), 4, Element::F32};
        const Conversion conversion(conv, view, o);

        std::vector<Entries> want;
        std::optional<Error> want_error;
        for (std::size_t r = 0; r < rows && !want_error; ++r) {
            Result<Entries> e = reference_row(vocab, m, cols, r, o);
            if (e) want.push_back(std::move(e).value());
            else want_error = std::move(e).error();
        }
        // Unmerged rows, streamed in order; inserting their entries in order
        // into a map that keeps first places gives the merged rows.
        std::vector<Entries> streamed;
        std::map<std::size_t, std::string> ids;
        const Result<void> stream = conversion.stream([&](std::size_t r, JsonRep&& rep) -> Result<void> {
            CHECK_EQ(r, streamed.size());
            Entries& inserted = streamed.emplace_back();
            for (auto [t, v] : texts_of(conversion, rep, ids)) {
                bool found = false;
                for (auto& [t2, v2] : inserted)
                    if (t2 == t) v2 = v, found = true;
                if (!found) inserted.emplace_back(t, v);
            }
            return {};
        });
        Result<std::vector<JsonRep>> all = conversion.all_rows();
        CHECK_EQ(all.ok(), !want_error);
        CHECK_EQ(stream.ok(), !want_error);
        if (!all) {
            CHECK(all.error().kind == ErrorKind::KeyError && stream.error().kind == ErrorKind::KeyError);
            CHECK(all.error().message.starts_with("Token id "));
            continue;
        }
        CHECK(streamed == want);
        for (std::size_t r = 0; r < rows; ++r) CHECK(texts_of(conversion, all.value()[r], ids) == want[r]);
    }
}

TEST(text_batch_renders_exact_texts_within_the_memory_limit) {
    const std::vector<std::vector<Token>> rows{
        {{"", "a", 3}, {"neg_", "b", 1}}, {}, {{"", "é", 2}, {"", "", 1}}, {{"", "日本", 1}}, {{"", "😀", 2}}};
    const auto plan = [&](std::size_t limit) {
        return TextBatch::plan(
            rows.size(), [&](std::size_t i, std::vector<Token>& t) { t = rows[i]; }, limit);
    };
    Result<TextBatch> batch = plan(1000);
    CHECK(batch.ok());
    std::vector<std::vector<char>> storage;
    std::vector<void*> out;
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TextSize& s = batch->text_size(i);
        storage.emplace_back(s.length * unit_size(s.max_char));
        bytes += storage.back().size();
        out.push_back(s.length ? storage.back().data() : nullptr);
    }
    batch->render(out);
    const char32_t* want[] = {U"a a a neg_b", U"", U"é é ", U"日本", U"😀 😀"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TextSize& s = batch->text_size(i);
        std::u32string got;
        for (std::size_t k = 0; k < s.length; ++k) {
            const char* p = storage[i].data() + k * unit_size(s.max_char);
            char32_t cp = 0;
            std::memcpy(&cp, p, unit_size(s.max_char));  // little-endian
            got += cp;
        }
        CHECK(got == want[i]);
    }
    // The limit is on the bytes of all texts together.
    CHECK(plan(bytes).ok());
    Result<TextBatch> refused = plan(bytes - 1);
    CHECK(!refused.ok() && refused.error().kind == ErrorKind::MemoryError);
}

TEST(vocabulary_finds_every_id_and_only_those) {
    std::mt19937 rng(9);
    // Ids spread over the whole range (the hashed index), and ids filling
    // most of a range with holes (the table by id), from a negative one.
    Converter::Vocab sparse{{INT32_MIN, "min"}, {INT32_MAX, "max"}, {-1, ""}, {0, "zero"}};
    Converter::Vocab dense;
    for (int i = 0; i < 5000; ++i) {
        sparse.emplace(static_cast<std::int32_t>(rng()), std::to_string(i) + (i % 7 ? "t" : "é"));
        if (rng() % 3) dense.emplace(i - 20, std::to_string(i) + (i % 7 ? "t" : "é"));
    }
    for (const Converter::Vocab* map : {&sparse, &dense}) {
        const Vocabulary v(*map);
        CHECK_EQ(v.size(), map->size());
        CHECK_EQ(v.indices().size(), map->size());
        for (const auto& [id, text] : *map) {
            const std::uint32_t i = v.find(id);
            CHECK(i != Vocabulary::kNone && v.text(i) == text && v.ascii(i) == codec::is_ascii(text));
        }
        for (int k = 0; k < 5000; ++k) {
            const std::int64_t id = map == &dense ? std::int64_t{k} - 40 : static_cast<std::int32_t>(rng());
            CHECK_EQ(v.find(id) == Vocabulary::kNone, !map->contains(static_cast<std::int32_t>(id)));
        }
        CHECK_EQ(v.find(std::int64_t{INT32_MAX} + 1), Vocabulary::kNone);
        CHECK_EQ(v.find(std::int64_t{INT32_MIN} - 1), Vocabulary::kNone);
    }
    CHECK_EQ(Vocabulary({}).find(0), Vocabulary::kNone);
}
