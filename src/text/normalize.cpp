#include "text/normalize.hpp"

#include <array>
#include <climits>

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/stringpiece.h>
#include <unicode/utypes.h>

#include "core/fault.hpp"
#include "codec/utf8.hpp"

namespace quarnel::text {

namespace {

// ICU's process-wide singleton for a form (made on first request).
const icu::Normalizer2* fetch(NormalizationForm form) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = nullptr;
    switch (form) {
        case NormalizationForm::NFC: n = icu::Normalizer2::getNFCInstance(status); break;
        case NormalizationForm::NFD: n = icu::Normalizer2::getNFDInstance(status); break;
        case NormalizationForm::NFKC: n = icu::Normalizer2::getNFKCInstance(status); break;
        case NormalizationForm::NFKD: n = icu::Normalizer2::getNFKDInstance(status); break;
    }
    return U_SUCCESS(status) ? n : nullptr;
}

const icu::Normalizer2& normalizer(NormalizationForm form) {
    // Fetched once, under a C++ static's guard: fetching is thread-safe in
    // ICU too, but its guard is invisible to a ThreadSanitizer build (ICU
    // itself is not instrumented), which then sees threads that call a
    // normalizer for the first time at once race with its construction.
    // This guard it sees.
    static const std::array<const icu::Normalizer2*, 4> forms = {
        fetch(NormalizationForm::NFC), fetch(NormalizationForm::NFD), fetch(NormalizationForm::NFKC),
        fetch(NormalizationForm::NFKD)};
    const icu::Normalizer2* n = forms[static_cast<std::size_t>(form)];
    if (n == nullptr) fault("normalize: ICU normalizer unavailable (ICU's data could not be loaded)");
    return *n;
}

icu::StringPiece piece(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) fault("normalize: text longer than 2 GiB");
    return icu::StringPiece(text.data(), static_cast<int32_t>(text.size()));
}

}  // namespace

std::optional<NormalizationForm> parse_normalization_form(std::string_view name) {
    if (name == "nfd") return NormalizationForm::NFD;
    if (name == "nfc") return NormalizationForm::NFC;
    if (name == "nfkd") return NormalizationForm::NFKD;
    if (name == "nfkc") return NormalizationForm::NFKC;
    return std::nullopt;
}

bool is_normalized(NormalizationForm form, std::string_view text) {
    if (codec::is_ascii(text)) return true;
    UErrorCode status = U_ZERO_ERROR;
    bool yes = normalizer(form).isNormalizedUTF8(piece(text), status);
    if (U_FAILURE(status)) fault(std::string("normalize: ICU check failed: ") + u_errorName(status));
    return yes;
}

std::string_view normalize(NormalizationForm form, std::string_view text, std::string& storage) {
    if (is_normalized(form, text)) return text;
    storage.clear();
    icu::StringByteSink<std::string> sink(&storage, static_cast<int32_t>(text.size()));
    UErrorCode status = U_ZERO_ERROR;
    normalizer(form).normalizeUTF8(0, piece(text), sink, nullptr, status);
    if (U_FAILURE(status)) fault(std::string("normalize: ICU normalization failed: ") + u_errorName(status));
    return storage;
}

}  // namespace quarnel::text
