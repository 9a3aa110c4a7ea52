// Times the native part of QAAnnotator work on a workload read from FILE.
//
//   bench_annotate FILE [--repeat N] [--non-optim-repeat N]
//   bench_annotate --print-threads
//
// FILE is UTF-8 text, one record per line, fields separated by tabs:
//   D <docid> <token token ...>     a corpus document, tokens separated by spaces
//   Q <qid> <docid docid ...>       a question's retrieved documents, in rank order
//   A <qid> <answer> [<answer> ...] a question's answer strings (not tokenized)
// Document ids, question ids and tokens contain no whitespace; answers no
// tab or newline.
//
// Reports the native corpus construction time (Corpus::Builder fed from the
// parsed lines), Corpus::memory_bytes(), the best time of annotate (three
// nested stages on the pool) and of annotate_non_optim (calling thread), and
// the number of positive labels as a checksum. Each repeat's qrels are
// freed outside the timed region. Prints one JSON object on stdout.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench_common.hpp"
#include "pool/pool.hpp"
#include "qa_annotator/corpus.hpp"
#include "qa_annotator/qa_annotator.hpp"
#include "regex_tokenizer/regex_tokenizer.hpp"

namespace {

using bench::Clock;
using bench::json_list;

[[noreturn]] void usage(const char* msg) {
    std::fprintf(stderr, "bench_annotate: %s\nusage: bench_annotate FILE [--repeat N] [--non-optim-repeat N]\n", msg);
    std::exit(2);
}

// Splits `s` on `sep`, calling f(piece) for every piece (empty ones included).
template <class F>
void split(std::string_view s, char sep, F&& f) {
    std::size_t start = 0;
    while (true) {
        const std::size_t pos = s.find(sep, start);
        if (pos == std::string_view::npos) {
            f(s.substr(start));
            return;
        }
        f(s.substr(start, pos - start));
        start = pos + 1;
    }
}

struct DocLine {
    std::string_view id;
    std::string_view tokens;  // space-separated
};

struct Input {
    std::string text;
    std::vector<DocLine> docs;
    quarnel::qa_annotator::QidToDocids retrieved;
    quarnel::qa_annotator::QidToAnswers answers;
};

Input read_input(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) usage("cannot open input file");
    Input input;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    input.text = std::move(buffer).str();

    std::string_view rest = input.text;
    std::size_t line_no = 0;
    while (!rest.empty()) {
        ++line_no;
        const std::size_t nl = rest.find('\n');
        const std::string_view line = rest.substr(0, nl);
        rest = nl == std::string_view::npos ? std::string_view{} : rest.substr(nl + 1);
        if (line.empty()) continue;
        std::vector<std::string_view> fields;
        split(line, '\t', [&](std::string_view f) { fields.push_back(f); });
        if (fields.size() < 2 || fields[0].size() != 1) {
            std::fprintf(stderr, "bench_annotate: bad record on line %zu\n", line_no);
            std::exit(2);
        }
        switch (fields[0][0]) {
            case 'D':
                input.docs.push_back({fields[1], fields.size() > 2 ? fields[2] : std::string_view{}});
                break;
            case 'Q': {
                quarnel::TokenList docids;
                if (fields.size() > 2 && !fields[2].empty())
                    split(fields[2], ' ', [&](std::string_view id) { docids.push_back(id); });
                input.retrieved.emplace_back(std::string(fields[1]), std::move(docids));
                break;
            }
            case 'A': {
                quarnel::TokenList texts;
                for (std::size_t i = 2; i < fields.size(); ++i) texts.push_back(fields[i]);
                input.answers.insert_or_assign(std::string(fields[1]), std::move(texts));
                break;
            }
            default:
                std::fprintf(stderr, "bench_annotate: unknown record kind on line %zu\n", line_no);
                std::exit(2);
        }
    }
    return input;
}

std::size_t positives(const quarnel::qa_annotator::Qrels& qrels) {
    std::size_t n = 0;
    for (const auto& [qid, labels] : qrels)
        for (const auto& [docid, label] : labels) n += label;
    return n;
}

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

}  // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    int repeat = 5;
    int non_optim_repeat = 2;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--print-threads") {
            std::printf("{\"threads\": %zu}\n", quarnel::pool::num_threads());
            return 0;
        } else if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
        } else if (arg == "--non-optim-repeat" && i + 1 < argc) {
            non_optim_repeat = std::atoi(argv[++i]);
        } else if (!arg.empty() && arg[0] != '-' && !path) {
            path = argv[i];
        } else {
            usage("bad argument");
        }
    }
    if (!path) usage("missing FILE");
    if (repeat < 1 || non_optim_repeat < 0) usage("bad repeat count");

    const Input input = read_input(path);

    // Corpus construction from the parsed lines.
    std::size_t corpus_tokens = 0;
    const auto b0 = Clock::now();
    quarnel::qa_annotator::Corpus::Builder builder(input.docs.size());
    for (const DocLine& doc : input.docs) {
        builder.begin(doc.id);
        if (!doc.tokens.empty()) {
            split(doc.tokens, ' ', [&](std::string_view token) {
                builder.add_token(token);
                ++corpus_tokens;
            });
        }
        builder.end();
    }
    quarnel::qa_annotator::Corpus corpus = std::move(builder).finish();
    const auto b1 = Clock::now();
    const std::size_t corpus_docs = corpus.size();
    const std::size_t corpus_memory = corpus.memory_bytes();

    auto tokenizer = quarnel::regex_tokenizer::RegexTokenizer::create(quarnel::regex_tokenizer::kDefaultPattern, true, true,
                                                     quarnel::regex_tokenizer::kDefaultNormalization);
    if (!tokenizer) {
        std::fprintf(stderr, "bench_annotate: %s\n", tokenizer.error().message.c_str());
        return 1;
    }
    const quarnel::qa_annotator::QAAnnotator annotator(std::move(tokenizer).value(), std::move(corpus));

    std::size_t pairs = 0;
    for (const auto& entry : input.retrieved) pairs += entry.second.size();

    const std::size_t threads = quarnel::pool::num_threads();  // starts the pool
    std::vector<double> runs;
    std::size_t checksum = 0;
    for (int r = 0; r < repeat; ++r) {
        const auto t0 = Clock::now();
        auto qrels = annotator.annotate(input.retrieved, input.answers);
        const auto t1 = Clock::now();
        if (!qrels) {
            std::fprintf(stderr, "bench_annotate: %s\n", qrels.error().message.c_str());
            return 1;
        }
        runs.push_back(seconds(t0, t1));
        const std::size_t p = positives(qrels.value());
        if (r > 0 && p != checksum) {
            std::fprintf(stderr, "bench_annotate: qrels changed between repeats\n");
            return 1;
        }
        checksum = p;
    }

    std::vector<double> non_optim_runs;
    for (int r = 0; r < non_optim_repeat; ++r) {
        const auto t0 = Clock::now();
        auto qrels = annotator.annotate_non_optim(input.retrieved, input.answers);
        const auto t1 = Clock::now();
        if (!qrels) {
            std::fprintf(stderr, "bench_annotate: %s\n", qrels.error().message.c_str());
            return 1;
        }
        non_optim_runs.push_back(seconds(t0, t1));
        if (positives(qrels.value()) != checksum) {
            std::fprintf(stderr, "bench_annotate: annotate_non_optim disagrees with annotate\n");
            return 1;
        }
    }

    std::printf(
        "{\"threads\": %zu, \"documents\": %zu, \"corpus_tokens\": %zu, \"corpus_memory_bytes\": %zu, "
        "\"build_s\": %.9f, \"questions\": %zu, \"pairs\": %zu, \"positives\": %zu, "
        "\"best_s\": %.9f, \"runs_s\": %s, \"non_optim_best_s\": %.9f, \"non_optim_runs_s\": %s}\n",
        threads, corpus_docs, corpus_tokens, corpus_memory, seconds(b0, b1), input.retrieved.size(), pairs,
        checksum, *std::min_element(runs.begin(), runs.end()), json_list(runs).c_str(),
        non_optim_runs.empty() ? 0.0 : *std::min_element(non_optim_runs.begin(), non_optim_runs.end()),
        json_list(non_optim_runs).c_str());
    return 0;
}
