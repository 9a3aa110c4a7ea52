#include "text/lowercase.hpp"

#include <climits>

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/stringpiece.h>
#include <unicode/utypes.h>

#include "core/fault.hpp"
#include "text/utf8.hpp"

namespace quarnel::text {

void lowercase_append(std::string_view text, std::string& out) {
    if (is_ascii(text)) {
        append_ascii_lower(out, text);
        return;
    }
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
