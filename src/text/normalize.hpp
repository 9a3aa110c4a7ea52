// Unicode normalization (NFC, NFD, NFKC, NFKD) of UTF-8 text through ICU.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarnel::text {

enum class NormalizationForm : std::uint8_t { NFC, NFD, NFKC, NFKD };

// Parses a lowercase form name: "nfc", "nfd", "nfkc" or "nfkd".
std::optional<NormalizationForm> parse_normalization_form(std::string_view name);

bool is_normalized(NormalizationForm form, std::string_view text);

// Returns `text` itself when it is already in `form` (always so for ASCII);
// otherwise writes the normalized text into `storage` (replacing its
// contents) and returns a view of it.
std::string_view normalize(NormalizationForm form, std::string_view text, std::string& storage);

}  // namespace quarnel::text
