// Appending one code point as UTF-8, for building test texts.
#pragma once

#include <string>

#include "codec/utf8.hpp"

namespace quarnel::codec {

inline void append_utf8(std::string& out, char32_t cp) {
    unsigned char buf[4];
    out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(encode_utf8(cp, buf) - buf));
}

}  // namespace quarnel::codec
