// Times the native part of a Converter JSON call: every row of a matrix
// converted to its entries (keep test, product and floor, keys) on the
// pool, exactly the work the call's workers do while the calling thread
// builds the dicts.
//
//   bench_convert FILE [--vocab VOCAB] [--repeat N]
//   bench_convert --print-threads
//
// FILE: a first line "rows cols f32|f16", then the matrix, row-major,
// little-endian. VOCAB: one token per line, line i the token of id i; with
// it the keys are tokens (convert_id_to_token), else decimal ids.
//
// The pool is started before timing; each repeat's result is freed outside
// the timed region. Prints one JSON object on stdout.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.hpp"
#include "converter/converter.hpp"
#include "pool/pool.hpp"

namespace {

using bench::Clock;
using bench::json_list;

[[noreturn]] void usage(const char* msg) {
    std::fprintf(stderr, "bench_convert: %s\nusage: bench_convert FILE [--vocab VOCAB] [--repeat N]\n", msg);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    const char* vocab_path = nullptr;
    int repeat = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--print-threads") {
            std::printf("{\"threads\": %zu}\n", quarnel::pool::num_threads());
            return 0;
        } else if (arg == "--vocab" && i + 1 < argc) {
            vocab_path = argv[++i];
        } else if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
        } else if (!arg.empty() && arg[0] != '-' && !path) {
            path = argv[i];
        } else {
            usage("bad argument");
        }
    }
    if (!path) usage("missing FILE");
    if (repeat < 1) usage("--repeat must be at least 1");

    std::ifstream in(path, std::ios::binary);
    std::size_t rows = 0, cols = 0;
    std::string type;
    if (!(in >> rows >> cols >> type) || (type != "f32" && type != "f16") || in.get() != '\n')
        usage("FILE must start with a line \"rows cols f32|f16\"");
    const auto element = type == "f32" ? quarnel::converter::Element::F32 : quarnel::converter::Element::F16;
    const std::size_t size = quarnel::converter::element_size(element);
    std::vector<char> data(rows * cols * size);
    if (!in.read(data.data(), static_cast<std::streamsize>(data.size()))) usage("FILE is shorter than its matrix");

    quarnel::converter::Converter::Vocab vocab;
    if (vocab_path) {
        std::size_t bytes = 0;
        std::vector<std::string> tokens = bench::read_lines("bench_convert", vocab_path, bytes);
        for (std::size_t id = 0; id < tokens.size(); ++id) vocab[static_cast<std::int32_t>(id)] = std::move(tokens[id]);
    }
    const quarnel::converter::Converter converter(std::move(vocab));
    quarnel::converter::ConvertOptions options;
    options.convert_id_to_token = vocab_path != nullptr;
    const quarnel::converter::MatrixView matrix{data.data(), rows, cols, static_cast<std::ptrdiff_t>(cols * size),
                                     static_cast<std::ptrdiff_t>(size), element};

    const std::size_t threads = quarnel::pool::num_threads();  // starts the pool
    std::vector<double> runs;
    std::size_t entries = 0;
    for (int r = 0; r < repeat; ++r) {
        // A fresh call each time: the token table starts empty, as in a call.
        const quarnel::converter::Conversion conversion(converter, matrix, options);
        const auto t0 = Clock::now();
        auto out = quarnel::pool::try_map_ordered<quarnel::converter::JsonRep>(rows, [&](std::size_t i) { return conversion.row(i); });
        runs.push_back(bench::seconds_since(t0));
        if (!out) {
            std::fprintf(stderr, "bench_convert: %s\n", out.error().message.c_str());
            return 1;
        }
        std::size_t count = 0;
        for (const auto& rep : out.value()) count += rep.size();
        if (r > 0 && count != entries) {
            std::fprintf(stderr, "bench_convert: entry count changed between repeats\n");
            return 1;
        }
        entries = count;
    }

    std::printf("{\"threads\": %zu, \"rows\": %zu, \"cols\": %zu, \"entries\": %zu, \"best_s\": %.9f, \"runs_s\": %s}\n",
                threads, rows, cols, entries, *std::min_element(runs.begin(), runs.end()), json_list(runs).c_str());
    return 0;
}
