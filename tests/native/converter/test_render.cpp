// The exact-size rendering against the plain one. (Row conversion is
// tested from Python, against a NumPy reference.)
#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "check.hpp"
#include "converter/render.hpp"
#include "converter/render_text.hpp"
#include "codec/utf8.hpp"

using namespace quarnel::converter;

using namespace quarnel;
using namespace quarnel::converter;

namespace {

std::u32string decode(std::string_view s) {
    std::u32string out;
    for (std::size_t pos = 0; pos < s.size();) {
        const std::size_t len = codec::char_length_at(s, pos);
        out += codec::decode_char(s.data() + pos, len);
        pos += len;
    }
    return out;
}

template <class Unit>
std::u32string rendered(const std::vector<Token>& tokens, std::size_t length) {
    std::vector<Unit> out(length + 1, Unit{0x7F});
    render_into(std::span(tokens), out.data());
    CHECK(out[length] == Unit{0x7F});  // nothing written past the end
    return std::u32string(out.begin(), out.end() - 1);
}

}  // namespace

TEST(exact_size_rendering_equals_the_plain_rendering) {
    const char* texts[] = {"", "a", "token", "é", "日本", "😀x", "neg_"};
    std::mt19937 rng(3);
    for (int round = 0; round < 3000; ++round) {
        std::vector<Token> tokens;
        for (unsigned i = 0, n = rng() % 6; i < n; ++i)
            tokens.push_back({texts[rng() % 7], texts[rng() % 7], static_cast<std::int32_t>(rng() % 7) - 2});
        const std::string plain = render_text(tokens);
        const auto size = measure(tokens);
        CHECK(size.has_value());
        const std::u32string want = decode(plain);
        CHECK_EQ(size->length, want.size());
        char32_t widest = 0;
        for (char32_t ch : want) widest = std::max(widest, ch);
        CHECK_EQ(size->max_char, widest < 0x80 && widest > 0 ? std::max(widest, size->max_char) : widest);
        CHECK((size->max_char < 0x80) == (widest < 0x80));
        if (widest < 0x100) CHECK(rendered<std::uint8_t>(tokens, size->length) == want);
        if (widest < 0x10000) CHECK(rendered<std::uint16_t>(tokens, size->length) == want);
        CHECK(rendered<std::uint32_t>(tokens, size->length) == want);
    }
}

TEST(rendering_rules_and_huge_sizes) {
    CHECK_EQ(render_text(std::vector<Token>{{"", "a", 3}, {"", "b", 1}}), "a a a b");
    CHECK_EQ(render_text(std::vector<Token>{{"", "a", 0}, {"", "b", -4}}), "");
    CHECK_EQ(render_text(std::vector<Token>{{"", "", 2}}), "");
    CHECK_EQ(render_text(std::vector<Token>{{"", "x", 1}, {"", "", 2}}), "x  ");
    const std::vector<Token> huge{{"", "token", 2147483647}, {"", "more", 2147483647}};
    CHECK_EQ(measure(huge)->length, 2147483647ull * 11 - 1);
}
