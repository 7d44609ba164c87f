// Micro-benchmark of number scanning and number texts: the fast paths against the
// library calls they replace. Prints ns per value and the speed-up.
//
//   cmake --build build --target numbers_bench && build/numbers_bench [values]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "io/numscan.h"
#include "io/numtext.h"

namespace {

using Clock = std::chrono::steady_clock;

// Keeps results alive so the timed loops are not optimised away.
volatile double g_sink_value = 0.0;
volatile std::size_t g_sink_length = 0;

// Values as data files hold them: short decimals, full-precision texts, integers.
std::vector<double> make_values(std::size_t count) {
  std::mt19937_64 rng(12345);
  std::uniform_real_distribution<double> uniform(-1000.0, 1000.0);
  std::vector<double> values(count);
  for (std::size_t i = 0; i < count; ++i) {
    switch (i % 4) {
      case 0:
        values[i] = uniform(rng);
        break;
      case 1:
        values[i] = static_cast<double>(static_cast<std::int64_t>(rng() % 200001) - 100000) / 1000;
        break;
      case 2:
        values[i] = static_cast<double>(rng() % 100000);
        break;
      default:
        values[i] = uniform(rng) * 1e-5;
        break;
    }
  }
  return values;
}

// One line of blank-separated texts, written as "%.6g", "%.17g" and "%g" mix.
std::string make_line(const std::vector<double>& values, std::vector<std::size_t>* starts) {
  std::string line;
  char text[64];
  for (std::size_t i = 0; i < values.size(); ++i) {
    const int length = i % 3 == 0   ? std::snprintf(text, sizeof text, "%.17g", values[i])
                       : i % 3 == 1 ? std::snprintf(text, sizeof text, "%.6f", values[i])
                                    : std::snprintf(text, sizeof text, "%g", values[i]);
    starts->push_back(line.size());
    line.append(text, static_cast<std::size_t>(length));
    line += i % 10 == 9 ? '\n' : ' ';
  }
  return line;
}

template <typename F>
double ns_per_value(std::size_t count, F&& body) {
  const Clock::time_point start = Clock::now();
  body();
  const std::chrono::duration<double, std::nano> elapsed = Clock::now() - start;
  return elapsed.count() / static_cast<double>(count);
}

void report(const char* what, double fast, double reference) {
  std::printf("%-28s fast %8.1f ns/value   library %8.1f ns/value   speed-up %5.1fx\n", what, fast,
              reference, reference / fast);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000000;
  const std::vector<double> values = make_values(count);
  std::vector<std::size_t> starts;
  const std::string line = make_line(values, &starts);

  // Scanning: each call starts at a token, as the row parser's calls do. The
  // library calls get the token copied out first (as sscanf would otherwise
  // measure the whole rest of the line with strlen on every call).
  std::vector<std::string> tokens;
  tokens.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t end = i + 1 < count ? starts[i + 1] : line.size();
    tokens.emplace_back(line, starts[i], end - starts[i]);
  }
  auto scan_all = [&](auto scan) {
    double sum = 0.0;
    for (const std::string& token : tokens) {
      double v = 0.0;
      g_sink_length = scan(token.c_str(), &v);
      sum += v;
    }
    g_sink_value = sum;
  };
  auto length_all = [&](auto length_of) {
    std::size_t total = 0;
    for (const std::string& token : tokens) total += length_of(token.c_str());
    g_sink_length = total;
  };
  report("scan_double (\"%lf%n\")", ns_per_value(count, [&] { scan_all(kest::scan_double); }),
         ns_per_value(count, [&] { scan_all(kest::scan_double_reference); }));
  report("scan_number_length (\" %*g\")",
         ns_per_value(count, [&] { length_all(kest::scan_number_length); }),
         ns_per_value(count, [&] { length_all(kest::scan_number_length_reference); }));
  report("scan_double along one line",
         ns_per_value(count,
                      [&] {
                        std::size_t position = 0;
                        double sum = 0.0;
                        for (std::size_t i = 0; i < count; ++i) {
                          double v = 0.0;
                          position += kest::scan_double(line.c_str() + position, &v);
                          sum += v;
                        }
                        g_sink_value = sum;
                      }),
         ns_per_value(count, [&] { scan_all(kest::scan_double_reference); }));

  // Number texts.
  auto format_all = [&](auto format) {
    char text[kest::kNumberTextSize];
    std::size_t total = 0;
    for (double v : values) total += format(v, text);
    g_sink_length = total;
  };
  report("format_number_default",
         ns_per_value(count, [&] { format_all(kest::format_number_default); }),
         ns_per_value(count, [&] { format_all(kest::format_number_default_reference); }));
  for (int precision : {17, 18}) {
    char what[32];
    std::snprintf(what, sizeof what, "format_general %%.%dg", precision);
    report(what,
           ns_per_value(count,
                        [&] {
                          format_all([precision](double v, char* out) {
                            return kest::format_general(v, precision, out);
                          });
                        }),
           ns_per_value(count, [&] {
             format_all([precision](double v, char* out) {
               return kest::format_general_reference(v, precision, out);
             });
           }));
  }
  return 0;
}
