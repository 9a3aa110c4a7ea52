#include "converter/pseudo_text.hpp"
#include "core/texts.hpp"

#if __has_include(<unistd.h>)
#include <unistd.h>
#endif

#include <cstdint>
#include <limits>

namespace quarnel::converter {

// Physical memory where the system tells it (Linux, macOS, the BSDs);
// elsewhere no limit.
std::size_t machine_memory() noexcept {
#if defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0) return static_cast<std::size_t>(pages) * static_cast<std::size_t>(page);
#endif
    return std::numeric_limits<std::size_t>::max();
}

Result<void> TextBatch::check_sizes(std::size_t memory_limit) const {
    // A text is handed over as a str: its length must fit a signed size.
    constexpr auto kMaxLength = static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());
    std::size_t total = 0;
    for (const Row& row : rows_) {
        std::size_t bytes = 0;
        if (!row.size || row.size->length > kMaxLength ||
            __builtin_mul_overflow(row.size->length, unit_size(row.size->max_char), &bytes) ||
            __builtin_add_overflow(total, bytes, &total) || total > memory_limit)
            return Error{ErrorKind::MemoryError, texts::kPseudoTextTooLarge};
    }
    return {};
}

void TextBatch::render(std::span<void* const> out) const {
    pool::map_ordered<char>(rows_.size(), [&](std::size_t i) {
        const Row& row = rows_[i];
        if (!out[i]) return '\0';
        const std::span<const Token> tokens(row.tokens);
        switch (unit_size(row.size->max_char)) {
            case 1: render_into(tokens, static_cast<std::uint8_t*>(out[i])); break;
            case 2: render_into(tokens, static_cast<std::uint16_t*>(out[i])); break;
            default: render_into(tokens, static_cast<std::uint32_t*>(out[i])); break;
        }
        return '\0';
    });
}

}  // namespace quarnel::converter
