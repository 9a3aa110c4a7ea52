// Times the native part of RegexTokenizer work: the texts of FILE (UTF-8,
// one text per line, '\n'-separated) tokenized with the default tokenizer.
//
//   bench_tokenize FILE [--mode batch|single] [--repeat N] [--engine]
//   bench_tokenize --print-threads
//
// batch:  pool::map_ordered of tokenize over the lines, exactly the work
//         batch_tokenize does with the interpreter lock released.
// single: tokenize of all lines joined by single spaces, on the calling
//         thread (the work of one tokenize call on a long text).
// --engine: the default pattern searched by the regex engine instead of the
//         specialised default matcher (the same tokens), to time the one
//         against the other.
//
// The pool is started before timing; each repeat's result is freed outside
// the timed region. Prints one JSON object on stdout.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.hpp"
#include "pool/pool.hpp"
#include "regex_tokenizer/regex_tokenizer.hpp"

namespace {

using bench::Clock;
using bench::json_list;

[[noreturn]] void usage(const char* msg) {
    std::fprintf(stderr, "bench_tokenize: %s\nusage: bench_tokenize FILE [--mode batch|single] [--repeat N] [--engine]\n", msg);
    std::exit(2);
}


}  // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    std::string mode = "batch";
    int repeat = 5;
    auto matching = quarnel::regex_tokenizer::RegexTokenizer::Matching::Auto;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--print-threads") {
            std::printf("{\"threads\": %zu}\n", quarnel::pool::num_threads());
            return 0;
        } else if (arg == "--mode" && i + 1 < argc) {
            mode = argv[++i];
        } else if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
        } else if (arg == "--engine") {
            matching = quarnel::regex_tokenizer::RegexTokenizer::Matching::Engine;
        } else if (!arg.empty() && arg[0] != '-' && !path) {
            path = argv[i];
        } else {
            usage("bad argument");
        }
    }
    if (!path) usage("missing FILE");
    if (mode != "batch" && mode != "single") usage("--mode must be batch or single");
    if (repeat < 1) usage("--repeat must be at least 1");

    auto created = quarnel::regex_tokenizer::RegexTokenizer::create(quarnel::regex_tokenizer::kDefaultPattern, true, true,
                                                   quarnel::regex_tokenizer::kDefaultNormalization, matching);
    if (!created) {
        std::fprintf(stderr, "bench_tokenize: %s\n", created.error().message.c_str());
        return 1;
    }
    const quarnel::regex_tokenizer::RegexTokenizer tokenizer = std::move(created).value();

    std::size_t bytes = 0;
    std::vector<std::string> texts = bench::read_lines("bench_tokenize", path, bytes);
    std::string joined;
    if (mode == "single") {
        joined.reserve(bytes + texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (i) joined.push_back(' ');
            joined += texts[i];
        }
        bytes = joined.size();
    }

    const std::size_t threads = quarnel::pool::num_threads();  // starts the pool
    std::vector<double> runs;
    std::size_t tokens = 0;
    for (int r = 0; r < repeat; ++r) {
        std::size_t count = 0;
        if (mode == "batch") {
            const auto t0 = Clock::now();
            std::vector<quarnel::TokenList> out = quarnel::pool::map_ordered<quarnel::TokenList>(
                texts.size(), [&](std::size_t i) { return tokenizer.tokenize(texts[i]); });
            const auto t1 = Clock::now();
            runs.push_back(std::chrono::duration<double>(t1 - t0).count());
            for (const auto& list : out) count += list.size();
        } else {
            const auto t0 = Clock::now();
            quarnel::TokenList out = tokenizer.tokenize(joined);
            const auto t1 = Clock::now();
            runs.push_back(std::chrono::duration<double>(t1 - t0).count());
            count = out.size();
        }
        if (r > 0 && count != tokens) {
            std::fprintf(stderr, "bench_tokenize: token count changed between repeats\n");
            return 1;
        }
        tokens = count;
    }

    std::printf(
        "{\"mode\": \"%s\", \"engine\": %s, \"threads\": %zu, \"texts\": %zu, \"bytes\": %zu, \"tokens\": %zu, "
        "\"best_s\": %.9f, \"runs_s\": %s}\n",
        mode.c_str(), matching == quarnel::regex_tokenizer::RegexTokenizer::Matching::Engine ? "true" : "false", threads, mode == "batch" ? texts.size() : std::size_t{1}, bytes, tokens,
        *std::min_element(runs.begin(), runs.end()), json_list(runs).c_str());
    return 0;
}
