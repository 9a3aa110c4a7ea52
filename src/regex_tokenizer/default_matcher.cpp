#include "regex_tokenizer/default_matcher.hpp"

#include <array>
#include <atomic>
#include <memory>

#include "regex/onig.hpp"
#include "text/lowercase.hpp"
#include "codec/utf8.hpp"

namespace quarnel::regex_tokenizer {

namespace {

struct Properties {
    regex::Property letter{"L"}, number{"N"}, mark{"M"}, separator{"Z"}, other{"C"};
};

CharClass classify_uncached(char32_t code) {
    static const Properties p;
    if (p.letter.contains(code) || p.number.contains(code) || p.mark.contains(code)) return CharClass::Word;
    if (p.separator.contains(code) || p.other.contains(code)) return CharClass::Skip;
    return CharClass::Single;
}

// ASCII is classified through a plain table, everything else through blocks
// of 256 code points filled on first use. Uniform blocks (most of the
// unassigned planes, CJK, Hangul, ...) share one static block per class.
constexpr std::size_t kBlockBits = 8;
constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;
constexpr std::size_t kBlocks = 0x110000 >> kBlockBits;

using Block = std::array<CharClass, kBlockSize>;

const std::array<Block, 3>& uniform_blocks() {
    static const std::array<Block, 3> u = [] {
        std::array<Block, 3> b;
        for (std::size_t k = 0; k < 3; ++k) b[k].fill(static_cast<CharClass>(k));
        return b;
    }();
    return u;
}

struct Tables {
    std::array<CharClass, 128> ascii;
    std::array<std::atomic<const Block*>, kBlocks> blocks;

    Tables() {
        for (char32_t c = 0; c < 128; ++c) ascii[c] = classify_uncached(c);
        for (auto& b : blocks) b.store(nullptr, std::memory_order_relaxed);
    }
};

Tables& tables() {
    // Never destroyed: other threads may still be tokenizing at exit.
    static Tables* t = new Tables();
    return *t;
}

const Block& fill_block(std::size_t index) {
    auto block = std::make_unique<Block>();
    char32_t base = static_cast<char32_t>(index << kBlockBits);
    for (std::size_t i = 0; i < kBlockSize; ++i) (*block)[i] = classify_uncached(base + static_cast<char32_t>(i));
    const Block* result = block.get();
    bool uniform = true;
    for (CharClass c : *block) uniform = uniform && c == (*block)[0];
    if (uniform) result = &uniform_blocks()[static_cast<std::size_t>((*block)[0])];

    std::atomic<const Block*>& slot = tables().blocks[index];
    const Block* expected = nullptr;
    if (slot.compare_exchange_strong(expected, result, std::memory_order_acq_rel, std::memory_order_acquire)) {
        if (!uniform) block.release();  // owned by the table from now on
        return *result;
    }
    return *expected;  // another thread got there first; same contents
}

inline CharClass classify_non_ascii(char32_t code) {
    if (code >= 0x110000) return classify_uncached(code);  // only from malformed input
    std::size_t index = code >> kBlockBits;
    const Block* b = tables().blocks[index].load(std::memory_order_acquire);
    if (!b) b = &fill_block(index);
    return (*b)[code & (kBlockSize - 1)];
}

inline void emit(TokenList& out, std::string_view token, bool ascii, bool lowercase) {
    if (!lowercase) {
        out.push_back(token);
        return;
    }
    if (ascii)
        codec::append_ascii_lower(out.open_bytes(), token);
    else
        text::lowercase_append(token, out.open_bytes());
    out.close_token();
}

}  // namespace

CharClass classify(char32_t code) {
    return code < 128 ? tables().ascii[code] : classify_non_ascii(code);
}

void tokenize(std::string_view text, bool lowercase, TokenList& out) {
    const Tables& t = tables();
    const char* s = text.data();
    const std::size_t n = text.size();

    // Class and length of the non-ASCII character at `at`.
    auto classify_at = [&](std::size_t at, std::size_t& len) -> CharClass {
        len = codec::kUtf8LeadLength[static_cast<unsigned char>(s[at])];
        // Malformed input, as the engine sees it: a lone byte >= 0x80, a
        // sequence cut off by the end of the text (taken whole) and a long
        // form of an ASCII character are in no property, so the negated
        // class takes them.
        if (len > n - at) {
            len = n - at;
            return CharClass::Single;
        }
        if (len == 1) return CharClass::Single;
        char32_t code = codec::decode_char(s + at, len);
        if (code < 0x80) return CharClass::Single;
        return classify_non_ascii(code);
    };

    std::size_t pos = 0;
    while (pos < n) {
        auto b = static_cast<unsigned char>(s[pos]);
        std::size_t len = 1;
        CharClass cls = b < 0x80 ? t.ascii[b] : classify_at(pos, len);
        if (cls == CharClass::Skip) {
            pos += len;
            continue;
        }
        if (cls == CharClass::Single) {
            emit(out, {s + pos, len}, b < 0x80, lowercase);
            pos += len;
            continue;
        }
        // A run of word characters, ASCII ones taken in a tight loop.
        std::size_t start = pos;
        bool ascii = b < 0x80;
        pos += len;
        while (pos < n) {
            while (pos < n && (b = static_cast<unsigned char>(s[pos])) < 0x80 && t.ascii[b] == CharClass::Word)
                ++pos;
            if (pos >= n || b < 0x80) break;
            if (classify_at(pos, len) != CharClass::Word) break;
            ascii = false;
            pos += len;
        }
        emit(out, {s + start, pos - start}, ascii, lowercase);
    }
}

}  // namespace quarnel::regex_tokenizer
