// Arrow columns built by hand, as another library would hand them over:
// reading every layout in place, refusing malformed arrays, the token
// columns against the tokenizer text by text, and the release callbacks of
// exported arrays, each run exactly once.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "check.hpp"
#include "columnar/input.hpp"
#include "columnar/output.hpp"
#include "columnar/token_lists.hpp"
#include "columnar/tokenize.hpp"
#include "codec/utf8.hpp"

using namespace quarnel::regex_tokenizer;

using namespace quarnel;
using namespace quarnel::columnar;

namespace {

// A producer's array: buffers it owns, and a release that counts its calls.
struct Produced {
    std::vector<std::vector<char>> storage;
    std::vector<const void*> buffers;
    int* releases;
};

void release_produced(ArrowArray* a) {
    auto* p = static_cast<Produced*>(a->private_data);
    ++*p->releases;
    delete p;
    a->release = nullptr;
}

template <class T>
std::vector<char> bytes_of(const std::vector<T>& v) {
    std::vector<char> out(v.size() * sizeof(T) + 1);
    if (!v.empty()) std::memcpy(out.data(), v.data(), v.size() * sizeof(T));
    return out;
}

// texts as utf8 (32-bit offsets) or large_utf8; nulls where `valid` says so;
// `offset` rows of padding first (a slice).
template <class Offset>
ArrowArray offsets_array(const std::vector<std::string>& texts, const std::vector<bool>& valid, std::size_t offset,
                         int* releases) {
    auto* p = new Produced{{}, {}, releases};
    std::vector<Offset> offsets(offset + 1, 0);
    std::string data = std::string(offset, 'x');
    for (std::size_t i = 0; i < offset; ++i) offsets[i + 1] = static_cast<Offset>(i + 1);
    for (const std::string& t : texts) {
        data += t;
        offsets.push_back(static_cast<Offset>(data.size()));
    }
    std::vector<std::uint8_t> bits((offset + texts.size()) / 8 + 1, 0xFF);
    bool any_null = false;
    for (std::size_t i = 0; i < valid.size(); ++i)
        if (!valid[i]) {
            bits[(offset + i) / 8] &= static_cast<std::uint8_t>(~(1u << ((offset + i) % 8)));
            any_null = true;
        }
    p->storage = {bytes_of(bits), bytes_of(offsets), std::vector<char>(data.begin(), data.end())};
    p->storage[2].push_back('\0');
    p->buffers = {any_null ? p->storage[0].data() : nullptr, p->storage[1].data(), p->storage[2].data()};
    ArrowArray a{};
    a.length = static_cast<std::int64_t>(texts.size());
    a.null_count = any_null ? -1 : 0;
    a.offset = static_cast<std::int64_t>(offset);
    a.n_buffers = 3;
    a.buffers = p->buffers.data();
    a.private_data = p;
    a.release = &release_produced;
    return a;
}

// texts as utf8_view, the long ones in two data buffers.
ArrowArray view_array(const std::vector<std::string>& texts, int* releases) {
    auto* p = new Produced{{}, {}, releases};
    std::vector<char> views(16 * texts.size());
    std::string data[2];
    for (std::size_t i = 0; i < texts.size(); ++i) {
        char* v = views.data() + 16 * i;
        const auto length = static_cast<std::int32_t>(texts[i].size());
        std::memcpy(v, &length, 4);
        if (length <= 12) {
            std::memcpy(v + 4, texts[i].data(), texts[i].size());
            continue;
        }
        const std::int32_t buffer = static_cast<std::int32_t>(i % 2);
        const auto at = static_cast<std::int32_t>(data[buffer].size());
        data[buffer] += texts[i];
        std::memcpy(v + 4, texts[i].data(), 4);
        std::memcpy(v + 8, &buffer, 4);
        std::memcpy(v + 12, &at, 4);
    }
    std::vector<std::int64_t> sizes{static_cast<std::int64_t>(data[0].size()), static_cast<std::int64_t>(data[1].size())};
    p->storage = {views, std::vector<char>(data[0].begin(), data[0].end()),
                  std::vector<char>(data[1].begin(), data[1].end()), bytes_of(sizes)};
    for (auto& s : p->storage) s.push_back('\0');
    p->buffers = {nullptr, p->storage[0].data(), p->storage[1].data(), p->storage[2].data(), p->storage[3].data()};
    ArrowArray a{};
    a.length = static_cast<std::int64_t>(texts.size());
    a.n_buffers = 5;
    a.buffers = p->buffers.data();
    a.private_data = p;
    a.release = &release_produced;
    return a;
}

std::vector<std::string> random_texts(std::size_t n, unsigned seed) {
    static const char* pieces[] = {"a", "Word", " ", ", ", "don't", "3.14", "\xc3\xa9", "e\xcc\x81", "\xce\xa3",
                                   "\xe4\xb8\xad\xe6\x96\x87", "\xf0\x9f\x98\x80", "\t", "U.S.A.", "long-enough-word"};
    std::mt19937 rng(seed);
    std::vector<std::string> out;
    for (std::size_t i = 0; i < n; ++i) {
        std::string t;
        for (unsigned k = rng() % 30; k > 0; --k) t += pieces[rng() % std::size(pieces)];
        out.push_back(t);
    }
    return out;
}

ArrowSchema schema_of(const char* format) {
    ArrowSchema s{};
    s.format = format;
    s.release = [](ArrowSchema* self) { self->release = nullptr; };
    return s;
}

std::vector<std::string> list_row(const Node& list, std::size_t row) {
    const auto* lists = list.buffers[1].as<std::int64_t>();
    const Node& strings = *list.children[0];
    const auto* offsets = strings.buffers[1].as<std::int32_t>();
    const char* bytes = strings.buffers[2].as<char>();
    std::vector<std::string> out;
    for (auto t = lists[row]; t < lists[row + 1]; ++t) out.emplace_back(bytes + offsets[t], bytes + offsets[t + 1]);
    return out;
}

std::vector<std::string> tokens_of(const TokenList& l) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < l.size(); ++i) out.emplace_back(l[i]);
    return out;
}

}  // namespace

TEST(every_layout_reads_the_same_texts_in_place) {
    const auto texts = random_texts(200, 1);
    std::vector<bool> valid(texts.size(), true);
    for (std::size_t i = 0; i < valid.size(); i += 7) valid[i] = false;
    int releases = 0;
    {
        ArrowArray a32 = offsets_array<std::int32_t>(texts, valid, 5, &releases);
        ArrowArray a64 = offsets_array<std::int64_t>(texts, valid, 0, &releases);
        ArrowArray view = view_array(texts, &releases);
        auto c32 = StringChunk::open(StringLayout::Utf8, a32);
        auto c64 = StringChunk::open(StringLayout::LargeUtf8, a64);
        auto cv = StringChunk::open(StringLayout::Utf8View, view);
        CHECK(c32.ok() && c64.ok() && cv.ok());
        CHECK(c32->null_count() == 29 && c64->null_count() == 29 && cv->null_count() == 0);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            CHECK(c32->is_null(i) == !valid[i] && c64->is_null(i) == !valid[i]);
            if (valid[i]) CHECK((*c32)[i] == texts[i] && (*c64)[i] == texts[i]);
            CHECK((*cv)[i] == texts[i]);
        }
        // Owned: released once, when the owner goes.
        { auto owned = OwnedArray::take(&a32); CHECK(a32.release == nullptr); }
        CHECK(releases == 1);
        release_produced(&a64);
        release_produced(&view);
    }
    CHECK(releases == 3);
}

TEST(malformed_arrays_are_refused_before_any_read) {
    int releases = 0;
    ArrowArray a = offsets_array<std::int32_t>({"ab", "cd", "ef"}, {}, 0, &releases);
    auto* offsets = const_cast<std::int32_t*>(static_cast<const std::int32_t*>(a.buffers[1]));
    offsets[2] = 1;  // falls
    CHECK(!StringChunk::open(StringLayout::Utf8, a).ok());
    offsets[2] = 4;
    offsets[0] = -1;
    CHECK(!StringChunk::open(StringLayout::Utf8, a).ok());
    offsets[0] = 0;
    CHECK(StringChunk::open(StringLayout::Utf8, a).ok());
    a.n_buffers = 2;
    CHECK(!StringChunk::open(StringLayout::Utf8, a).ok());
    a.n_buffers = 3;
    a.release(&a);

    ArrowArray v = view_array({"a string longer than twelve bytes"}, &releases);
    auto* sizes = const_cast<std::int64_t*>(static_cast<const std::int64_t*>(v.buffers[4]));
    sizes[0] = 10;  // the view reaches past its buffer
    CHECK(!StringChunk::open(StringLayout::Utf8View, v).ok());
    v.release(&v);

    ArrowSchema binary = schema_of("z");
    auto refused = string_layout(binary);
    CHECK(!refused.ok() && refused.error().kind == ErrorKind::TypeError &&
          refused.error().message.find("binary") != std::string::npos);
}

TEST(utf8_check_agrees_with_strict_decoding) {
    CHECK(is_utf8("") && is_utf8("plain ascii text, long enough for words") && is_utf8("caf\xc3\xa9 \xf0\x9f\x98\x80"));
    for (const char* bad : {"\xff", "ab\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "abcdefgh\x80",
                            "\xe4\xb8"})
        CHECK(!is_utf8(bad));
    std::mt19937 rng(3);
    for (std::size_t n = 0; n < check::scaled(20000); ++n) {
        std::string s(rng() % 12, '\0');
        for (char& c : s) c = static_cast<char>(rng() % 4 == 0 ? 'a' : rng());
        CHECK(is_utf8(s) == codec::is_valid_utf8(s));
    }
}

TEST(token_columns_match_the_tokenizer_text_by_text_in_any_blocks) {
    auto tokenizer = RegexTokenizer::create(regex_tokenizer::kDefaultPattern, true, true, "nfd");
    CHECK(tokenizer.ok());
    const auto texts = random_texts(500, 2);
    std::vector<bool> valid(texts.size(), true);
    for (std::size_t i = 3; i < valid.size(); i += 11) valid[i] = false;
    int releases = 0;
    for (std::size_t block : {std::size_t{1}, std::size_t{100}, std::size_t{1} << 20}) {
        ArrowArray a = offsets_array<std::int32_t>(texts, valid, 3, &releases);
        ArrowSchema s = schema_of("u");
        auto column = StringColumn::from_array(OwnedSchema::take(&s), OwnedArray::take(&a));
        CHECK(column.ok());
        auto lists = token_lists(*column, [&](const StringChunk& chunk, std::size_t begin, std::size_t end,
                                              TokenBlock& out) {
            for (std::size_t i = begin; i < end; ++i) {
                if (!chunk.is_null(i)) tokenizer->tokenize_into(chunk[i], out.tokens);
                out.row_ends.push_back(static_cast<std::uint32_t>(out.tokens.size()));
            }
        }, false, block);
        CHECK(lists.ok() && lists->size() == 1);
        const Node& list = *lists->front();
        CHECK(list.length == static_cast<std::int64_t>(texts.size()) && list.null_count == 46);
        for (std::size_t i = 0; i < texts.size(); ++i)
            CHECK(list_row(list, i) == (valid[i] ? tokens_of(tokenizer->tokenize(texts[i])) : std::vector<std::string>{}));
    }
    CHECK(releases == 3);
}

TEST(exported_arrays_release_once_whoever_goes_first) {
    const std::int64_t before = live_exports();
    auto node = std::make_shared<Node>();
    {
        auto tokenizer = RegexTokenizer::create(regex_tokenizer::kDefaultPattern, true, true, "nfd");
        int releases = 0;
        ArrowArray a = offsets_array<std::int32_t>({"Hello, World!", "x"}, {}, 0, &releases);
        ArrowSchema s = schema_of("u");
        auto column = StringColumn::from_array(OwnedSchema::take(&s), OwnedArray::take(&a));
        auto lists = tokenize_column(*tokenizer, *column);
        CHECK(lists.ok());
        node = lists->front();
    }
    ArrowArray out;
    ArrowSchema type;
    export_array(node, &out);
    export_schema(*node, &type);
    CHECK(std::string(type.format) == "+L" && std::string(type.children[0]->format) == "u");
    CHECK(live_exports() == before + 4);  // both structures and their children
    std::weak_ptr<Node> weak = node;
    node.reset();
    CHECK(!weak.expired());  // the export keeps the buffers
    // A consumer moves the child out, releases the parent, then the child.
    ArrowArray child = *out.children[0];
    out.children[0]->release = nullptr;
    out.release(&out);
    CHECK(out.release == nullptr && !weak.expired() && child.length == 5);
    child.release(&child);
    CHECK(weak.expired());
    type.release(&type);
    CHECK(live_exports() == before);

    ArrowArrayStream stream;
    auto chunk = std::make_shared<Node>();
    chunk->format = "u";
    chunk->buffers.resize(3);
    export_stream({chunk, chunk}, nullptr, &stream);
    ArrowArray first;
    CHECK(stream.get_next(&stream, &first) == 0 && first.release);
    stream.release(&stream);  // the consumer stops early; its array stays valid
    CHECK(first.release != nullptr);
    first.release(&first);
    CHECK(live_exports() == before);
}
