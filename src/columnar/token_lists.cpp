#include "columnar/token_lists.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "converter/pseudo_text.hpp"
#include "codec/utf8.hpp"
#include "core/texts.hpp"

namespace quarnel::columnar {

bool is_utf8(std::string_view text) noexcept {
    const char* p = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        while (i + 8 <= n && (load_unaligned<std::uint64_t>(p + i) & 0x8080808080808080ull) == 0) i += 8;
        if (i == n) break;
        if (static_cast<unsigned char>(p[i]) < 0x80) {
            ++i;
            continue;
        }
        // One character, decoded strictly (0 bytes: malformed).
        std::size_t length = 0;
        codec::decode_utf8(text.substr(i, std::min<std::size_t>(4, n - i)), [&](char32_t, std::size_t len) {
            length = len;
            return false;
        });
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::optional<std::pair<std::size_t, std::size_t>> first_invalid_row(const StringColumn& column) noexcept {
    const auto& chunks = column.chunks();
    for (std::size_t c = 0; c < chunks.size(); ++c)
        for (std::size_t i = 0; i < chunks[c].size(); ++i)
            if (!chunks[c].is_null(i) && !is_utf8(chunks[c][i])) return std::pair{c, i};
    return std::nullopt;
}

std::vector<BlockRange> cut_blocks(const StringColumn& column, std::size_t target_bytes) {
    std::vector<BlockRange> blocks;
    const auto& chunks = column.chunks();
    for (std::size_t c = 0; c < chunks.size(); ++c) {
        const StringChunk& chunk = chunks[c];
        std::size_t begin = 0;
        while (begin < chunk.size()) {
            // Grow the block row by row; texts are usually short, so take
            // them in steps and measure each step at once.
            std::size_t end = begin, bytes = 0;
            while (end < chunk.size() && bytes < target_bytes) {
                const std::size_t step = std::min<std::size_t>(64, chunk.size() - end);
                bytes += chunk.text_bytes(end, end + step);
                end += step;
            }
            blocks.push_back({c, begin, end});
            begin = end;
        }
    }
    return blocks;
}

Result<void> check_room(std::size_t rows, std::size_t text_bytes) {
    // The list offsets, and about the text again for the tokens and their
    // offsets (tokens hold at most the text's bytes, plus an offset each).
    std::size_t need = 0;
    if (__builtin_mul_overflow(rows + 1, std::size_t{8}, &need) || __builtin_add_overflow(need, text_bytes, &need) ||
        __builtin_add_overflow(need, text_bytes, &need) || need > converter::machine_memory())
        return Error{ErrorKind::MemoryError, texts::kResultOutOfMemory};
    return {};
}

ListBuilder::ListBuilder(const StringChunk& chunk)
    : rows_(chunk.size()), list_offsets_(8 * (chunk.size() + 1)), null_count_(chunk.null_count()) {
    list_offsets_.as<std::int64_t>()[0] = 0;
    if (chunk.has_nulls()) validity_ = validity_bitmap(rows_, [&](std::size_t i) { return !chunk.is_null(i); });
    reserve_tokens(1);
}

void ListBuilder::reserve_tokens(std::size_t more) {
    const std::size_t need = tokens_ + more + 1;  // and the closing offset
    if (need <= token_capacity_) return;
    token_capacity_ = std::max(need, 2 * token_capacity_);
    offsets_.resize(token_capacity_ * (wide_ ? 8 : 4));
    if (tokens_ == 0) {
        if (wide_) offsets_.as<std::int64_t>()[0] = 0;
        else offsets_.as<std::int32_t>()[0] = 0;
    }
}

void ListBuilder::reserve_bytes(std::size_t more) {
    const std::size_t need = size_ + more;
    if (need <= byte_capacity_) return;
    byte_capacity_ = std::max(need, 2 * byte_capacity_);
    bytes_.resize(byte_capacity_);
}

void ListBuilder::widen() {
    offsets_.resize(token_capacity_ * 8);
    const auto* narrow = offsets_.as<std::int32_t>();
    auto* wide = offsets_.as<std::int64_t>();
    for (std::size_t i = tokens_ + 1; i-- > 0;) wide[i] = narrow[i];  // back to front: in place
    wide_ = true;
}

void ListBuilder::append(const TokenBlock& block) {
    const TokenView tokens = block.tokens.view();
    const std::size_t bytes = block.tokens.bytes().size();
    reserve_tokens(tokens.size());
    reserve_bytes(bytes);
    if (!wide_ && size_ + bytes > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) widen();
    if (bytes) std::memcpy(bytes_.as<char>() + size_, block.tokens.bytes().data(), bytes);
    const auto base = static_cast<std::int64_t>(size_);
    if (wide_) {
        std::int64_t* out = offsets_.as<std::int64_t>() + tokens_ + 1;
        for (std::uint32_t i = 0; i < tokens.size(); ++i) out[i] = base + tokens.offsets[i + 1];
    } else {
        std::int32_t* out = offsets_.as<std::int32_t>() + tokens_ + 1;
        const auto base32 = static_cast<std::int32_t>(base);
        for (std::uint32_t i = 0; i < tokens.size(); ++i)
            out[i] = base32 + static_cast<std::int32_t>(tokens.offsets[i + 1]);
    }
    auto* lists = list_offsets_.as<std::int64_t>() + row_ + 1;
    const auto first = static_cast<std::int64_t>(tokens_);
    for (std::size_t i = 0; i < block.row_ends.size(); ++i) lists[i] = first + block.row_ends[i];
    row_ += block.row_ends.size();
    tokens_ += tokens.size();
    size_ += bytes;
}

std::shared_ptr<Node> ListBuilder::finish() {
    if (row_ != rows_) fault("token lists: a chunk was finished before all its rows were appended");
    offsets_.resize((tokens_ + 1) * (wide_ ? 8 : 4));
    bytes_.resize(size_);
    auto strings = std::make_shared<Node>();
    strings->format = wide_ ? "U" : "u";
    strings->name = "item";
    strings->length = static_cast<std::int64_t>(tokens_);
    strings->buffers.emplace_back();
    strings->buffers.push_back(std::move(offsets_));
    strings->buffers.push_back(std::move(bytes_));
    auto list = std::make_shared<Node>();
    list->format = "+L";
    list->length = static_cast<std::int64_t>(rows_);
    list->null_count = static_cast<std::int64_t>(null_count_);
    list->buffers.push_back(std::move(validity_));
    list->buffers.push_back(std::move(list_offsets_));
    list->children.push_back(std::move(strings));
    return list;
}

void unify_string_offsets(std::vector<std::shared_ptr<Node>>& lists) {
    bool any_wide = false;
    for (const auto& l : lists) any_wide |= std::string_view(l->children[0]->format) == "U";
    if (!any_wide) return;
    for (auto& l : lists) {
        Node& s = *l->children[0];
        if (std::string_view(s.format) == "U") continue;
        const std::size_t n = static_cast<std::size_t>(s.length) + 1;
        Buffer wide(8 * n);
        const auto* narrow = s.buffers[1].as<std::int32_t>();
        for (std::size_t i = 0; i < n; ++i) wide.as<std::int64_t>()[i] = narrow[i];
        s.buffers[1] = std::move(wide);
        s.format = "U";
    }
}

Result<void> strings_to_views(std::vector<std::shared_ptr<Node>>& lists) {
    for (auto& l : lists) {
        Node& s = *l->children[0];
        if (std::string_view(s.format) == "U")
            return value_error(texts::kChunkTooLargeForViews);
        const auto n = static_cast<std::size_t>(s.length);
        const auto* offsets = s.buffers[1].as<std::int32_t>();
        const char* data = s.buffers[2].as<char>();
        Buffer views(16 * n);
        char* const out = views.as<char>();
        // Pieces of tokens on the pool: this pass writes 16 bytes per token.
        constexpr std::size_t kPiece = std::size_t{1} << 16;
        pool::map_ordered<char>((n + kPiece - 1) / kPiece, [&](std::size_t piece) {
            const std::size_t end = std::min(n, (piece + 1) * kPiece);
            for (std::size_t i = piece * kPiece; i < end; ++i) {
                // The string's first 16 bytes (the buffer's slack covers the
                // last ones), kept up to its length when it goes inline.
                const std::int32_t at = offsets[i];
                const auto length = static_cast<std::uint32_t>(offsets[i + 1] - at);
                std::uint64_t w0, w1;
                std::memcpy(&w0, data + at, 8);
                std::memcpy(&w1, data + at + 8, 8);
                std::uint64_t a, b;
                if (length <= 12) {
                    w0 &= length >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * length)) - 1;
                    w1 &= length <= 8 ? 0 : (std::uint64_t{1} << (8 * (length - 8))) - 1;
                    a = length | (w0 << 32);
                    b = (w0 >> 32) | (w1 << 32);
                } else {
                    a = length | (w0 << 32);  // the prefix
                    b = static_cast<std::uint64_t>(static_cast<std::uint32_t>(at)) << 32;  // buffer 0, offset
                }
                std::memcpy(out + 16 * i, &a, 8);
                std::memcpy(out + 16 * i + 8, &b, 8);
            }
            return '\0';
        });
        Buffer sizes(8);
        *sizes.as<std::int64_t>() = static_cast<std::int64_t>(s.buffers[2].size());
        s.format = "vu";
        s.buffers[1] = std::move(views);
        s.buffers.push_back(std::move(sizes));  // validity, views, data, sizes
    }
    return {};
}

}  // namespace quarnel::columnar
