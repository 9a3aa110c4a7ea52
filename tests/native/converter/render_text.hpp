// The rendering written the plain way, one string appended copy by copy:
// what the measured, in-place renderers of converter/render.hpp must give.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "converter/render.hpp"

using namespace quarnel::converter;

namespace quarnel::converter {

inline std::string render_text(std::span<const Token> tokens) {
    std::string out;
    for (const Token& t : tokens) {
        for (std::int32_t i = 0; i < t.count; ++i) {
            if (!out.empty()) out += ' ';
            out += t.prefix;
            out += t.text;
        }
    }
    return out;
}

}  // namespace quarnel::converter
