#include "text/lowercase.hpp"

#include <climits>
#include <cstdint>
#include <cstring>

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include "core/fault.hpp"
#include "codec/utf16.hpp"
#include "codec/utf8.hpp"

namespace quarnel::text {

namespace {

// ICU's simple lowercase mapping of the Basic Multilingual Plane, read once
// (about a millisecond) and kept: simple mappings of BMP characters stay in
// the BMP. 0 marks "ask ICU" (never needed, but keeps the table honest).
const std::uint16_t* bmp_lower() {
    static const std::uint16_t* table = [] {
        auto* t = new std::uint16_t[0x10000];  // never freed: used until exit
        for (UChar32 c = 0; c < 0x10000; ++c) {
            const UChar32 l = u_tolower(c);
            t[c] = l < 0x10000 ? static_cast<std::uint16_t>(l) : 0;
        }
        return t;
    }();
    return table;
}

// The root full lowercase mapping differs from ICU's simple per-character
// mapping (u_tolower) only for U+0130 (two characters) and U+03A3 (final
// sigma depends on context); everything else maps character by character.
// Returns false, with `out` unchanged, when the text needs the full case
// mapper: it holds one of those two, or is not well-formed UTF-8.
bool lowercase_simple(std::string_view text, std::string& out) {
    const std::uint16_t* lower = bmp_lower();
    const std::size_t start = out.size();
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    // A lowercase character never takes more than 3/2 of its bytes (2 -> 3).
    out.resize(start + text.size() + text.size() / 2 + 4);
    auto* d = reinterpret_cast<unsigned char*>(out.data() + start);
    std::size_t at = 0;
    const std::size_t done = codec::decode_utf8(text, [&](char32_t cp, std::size_t len) {
        if (cp == 0x130 || cp == 0x3A3) return false;
        const char32_t mapped = cp < 0x80      ? static_cast<char32_t>(codec::ascii_lower(static_cast<char>(cp)))
                                : cp < 0x10000 && lower[cp] != 0 ? lower[cp]
                                                                 : static_cast<char32_t>(u_tolower(static_cast<UChar32>(cp)));
        if (mapped == cp) {
            for (std::size_t k = 0; k < len; ++k) d[k] = p[at + k];
            d += len;
        } else {
            d = codec::encode_utf8(mapped, d);
        }
        at += len;
        return true;
    });
    if (done < text.size()) {  // stopped early: leave it to the full mapper
        out.resize(start);
        return false;
    }
    out.resize(static_cast<std::size_t>(reinterpret_cast<char*>(d) - out.data()));
    return true;
}

}  // namespace

bool lowercase_in_place(char16_t* text, std::size_t n) noexcept {
    // First whether the simple mapping serves, and whether it is all ASCII.
    unsigned all = 0;
    bool special = false;
    for (std::size_t i = 0; i < n; ++i) {
        all |= text[i];
        special |= text[i] == 0x130 || text[i] == 0x3A3;
    }
    if (special) return false;
    if (all < 0x80) {
        for (std::size_t i = 0; i < n; ++i)
            text[i] = static_cast<char16_t>(text[i] + (static_cast<char16_t>(text[i] - u'A') < 26 ? 32 : 0));
        return true;
    }
    if (all >= 0xD800)  // supplementary characters: their lowercase must stay in their plane
        for (std::size_t i = 0; i + 1 < n; ++i)
            if (codec::is_lead_surrogate(text[i]) && codec::is_trail_surrogate(text[i + 1]) &&
                u_tolower(static_cast<UChar32>(codec::combine_surrogates(text[i], text[i + 1]))) < 0x10000)
                return false;
    const std::uint16_t* lower = bmp_lower();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t u = text[i];
        if (!codec::is_surrogate(u)) {
            text[i] = static_cast<char16_t>(lower[u]);
        } else if (codec::is_lead_surrogate(u) && i + 1 < n && codec::is_trail_surrogate(text[i + 1])) {
            codec::encode_utf16(static_cast<char32_t>(u_tolower(static_cast<UChar32>(codec::combine_surrogates(u, text[i + 1])))),
                         text + i);
            ++i;
        }  // else a lone surrogate, kept
    }
    return true;
}

void lowercase_append_full(std::u16string_view text, std::u16string& out) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX) / 2) fault("lowercase: string longer than 1 G code units");
    const std::size_t start = out.size();
    // Only U+0130 grows (to two units), so twice the length always suffices;
    // try the length plus a little first.
    std::size_t room = text.size() + 16;
    for (;;) {
        out.resize(start + room);
        UErrorCode status = U_ZERO_ERROR;
        // "" is the root locale, as above.
        const int32_t length = u_strToLower(reinterpret_cast<UChar*>(out.data() + start), static_cast<int32_t>(room),
                                            reinterpret_cast<const UChar*>(text.data()),
                                            static_cast<int32_t>(text.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR && static_cast<std::size_t>(length) > room) {
            room = static_cast<std::size_t>(length);
            continue;
        }
        if (U_FAILURE(status)) fault(std::string("lowercase: ICU case mapping failed: ") + u_errorName(status));
        out.resize(start + static_cast<std::size_t>(length));
        return;
    }
}

void lowercase_append(std::string_view text, std::string& out) {
    if (codec::is_ascii(text)) {
        codec::append_ascii_lower(out, text);
        return;
    }
    if (lowercase_simple(text, out)) return;
    lowercase_append_full(text, out);
}

void lowercase_append_full(std::string_view text, std::string& out) {
    if (text.size() > static_cast<std::size_t>(INT32_MAX)) fault("lowercase: string longer than 2 GiB");
    icu::StringByteSink<std::string> sink(&out, static_cast<int32_t>(text.size()));
    UErrorCode status = U_ZERO_ERROR;
    // "" is the root locale (nullptr would mean the process default locale,
    // which could bring in Turkish or Lithuanian tailorings).
    icu::CaseMap::utf8ToLower("", 0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink,
                              nullptr, status);
    if (U_FAILURE(status)) fault(std::string("lowercase: ICU case mapping failed: ") + u_errorName(status));
}

std::string lowercase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    lowercase_append(text, out);
    return out;
}

}  // namespace quarnel::text
