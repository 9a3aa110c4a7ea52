// Times the native part of ICUWordPreTokenizer work on the texts of FILE
// (UTF-8, one text per line, '\n'-separated), on the calling thread:
//
//   bench_icu_boundaries FILE [--mode boundaries|utf8|tokenize] [--repeat N] [--no-lowercase]
//
// boundaries: ICU's word break iterator alone, over texts that are already
//             cleaned, trimmed and lowercased, in UTF-16 (converted before
//             timing): for each text, setText and next() until the end. No
//             tokens. The floor of the tokenizer's native work.
// utf8:       the same over a UTF-8 UText on each text (for comparison).
// tokenize:   ICUWordPreTokenizer::tokenize_batch over the texts in UTF-16
//             (converted before timing), the work batch_tokenize does with
//             the interpreter lock released.
//
// Prints one JSON object on stdout: wall-clock times and, as "cpu_*", this
// thread's CPU times (which leave out time other processes take the CPU).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <time.h>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include "bench_common.hpp"
#include "icu_word_pre_tokenizer/icu_word_pre_tokenizer.hpp"

namespace {

using bench::Clock;

double thread_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

[[noreturn]] void usage(const char* msg) {
    std::fprintf(stderr,
                 "bench_icu_boundaries: %s\n"
                 "usage: bench_icu_boundaries FILE [--mode boundaries|utf8|tokenize] [--repeat N] [--no-lowercase]\n",
                 msg);
    std::exit(2);
}


std::u16string to_utf16(const std::string& text) {
    const icu::UnicodeString u =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    return std::u16string(reinterpret_cast<const char16_t*>(u.getBuffer()), static_cast<std::size_t>(u.length()));
}

// The boundaries ICU finds after the start of each text, through a UText
// opened in place over it (UTF-8 or UTF-16).
template <class Text>
std::size_t count_boundaries(icu::BreakIterator& it, const std::vector<Text>& texts) {
    std::size_t count = 0;
    UText ut = UTEXT_INITIALIZER;
    for (const Text& text : texts) {
        if (text.empty()) continue;
        UErrorCode status = U_ZERO_ERROR;
        if constexpr (sizeof(typename Text::value_type) == 1)
            utext_openUTF8(&ut, text.data(), static_cast<int64_t>(text.size()), &status);
        else
            utext_openUChars(&ut, reinterpret_cast<const UChar*>(text.data()), static_cast<int64_t>(text.size()),
                             &status);
        it.setText(&ut, status);
        if (U_FAILURE(status)) usage("ICU refused the text");
        it.first();
        while (it.next() != icu::BreakIterator::DONE) ++count;
    }
    utext_close(&ut);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    const char* path = nullptr;
    std::string mode = "boundaries";
    int repeat = 5;
    bool lowercase = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--mode" && i + 1 < argc) {
            mode = argv[++i];
        } else if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
        } else if (arg == "--no-lowercase") {
            lowercase = false;
        } else if (!arg.empty() && arg[0] != '-' && !path) {
            path = argv[i];
        } else {
            usage("bad argument");
        }
    }
    if (!path) usage("missing FILE");
    if (mode != "boundaries" && mode != "utf8" && mode != "tokenize")
        usage("--mode must be boundaries, utf8 or tokenize");
    if (repeat < 1) usage("--repeat must be at least 1");

    std::size_t bytes = 0;
    const std::vector<std::string> texts = bench::read_lines("bench_icu_boundaries", path, bytes);

    std::vector<std::u16string> texts16;
    quarnel::Utf16List batch;
    for (const std::string& t : texts) {
        texts16.push_back(to_utf16(t));
        batch.push_back(texts16.back());
    }

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) usage("cannot create the word break iterator");
    auto created = quarnel::icu_word_pre_tokenizer::ICUWordPreTokenizer::create();
    if (!created) usage("cannot create the tokenizer");
    const quarnel::icu_word_pre_tokenizer::ICUWordPreTokenizer tokenizer = std::move(created).value();

    // Runs the mode once; returns the boundaries or tokens counted.
    auto run = [&] {
        if (mode == "boundaries") return count_boundaries(*it, texts16);
        if (mode == "utf8") return count_boundaries(*it, texts);
        quarnel::Utf16List in = batch;  // cleaned in place: a fresh copy each time, not timed
        quarnel::Utf16TokenGroups out;
        tokenizer.tokenize_batch(in, false, lowercase, out);
        return out.spans.size();
    };
    // One untimed pass: loads the dictionaries and makes the thread's clone.
    const std::size_t count = run();

    std::vector<double> runs, cpu_runs;
    for (int r = 0; r < repeat; ++r) {
        quarnel::Utf16List in = batch;
        quarnel::Utf16TokenGroups out;
        const auto t0 = Clock::now();
        const double cpu0 = thread_cpu_seconds();
        std::size_t n = 0;
        if (mode == "tokenize") {
            tokenizer.tokenize_batch(in, false, lowercase, out);
            n = out.spans.size();
        } else {
            n = run();
        }
        runs.push_back(bench::seconds_since(t0));
        cpu_runs.push_back(thread_cpu_seconds() - cpu0);
        if (n != count) usage("count changed between repeats");
    }
    std::printf(
        "{\"mode\": \"%s\", \"texts\": %zu, \"bytes\": %zu, \"count\": %zu, \"best_s\": %.9f, \"runs_s\": %s, "
        "\"cpu_best_s\": %.9f, \"cpu_runs_s\": %s}\n",
        mode.c_str(), texts.size(), bytes, count, *std::min_element(runs.begin(), runs.end()),
        bench::json_list(runs).c_str(), *std::min_element(cpu_runs.begin(), cpu_runs.end()),
        bench::json_list(cpu_runs).c_str());
    return 0;
}
