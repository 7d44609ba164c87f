// The one pseudo-random source of the run: a subtractive generator with a table of
// 55 entries, seeded from one shared seed. The shared seed starts at -1, so every
// run draws the same sequence unless an operation discards draws on purpose.
#pragma once

#include <array>
#include <cstdint>

namespace kest {

class RandomSource {
 public:
  /// The next value in [0, 1], rounded to single precision, so the largest
  /// integers (999999971 and above) give exactly 1.0. Seeds the table from |seed|
  /// at the first draw or when `seed` is negative, and then sets `seed` to 1.
  float draw(std::int32_t& seed);
  /// The integer (0 to 999999999) behind the last draw.
  std::int32_t last_integer() const { return last_; }

 private:
  void seed_table(std::int32_t seed);

  std::array<std::int32_t, 56> table_{};  // entries 1 to 55
  int lead_ = 0;
  int trail_ = 0;
  bool initialised_ = false;
  std::int32_t last_ = 0;
};

/// The process-wide source and its shared seed.
RandomSource& random_source();
std::int32_t& random_seed();
/// A draw from the process-wide source with the shared seed.
inline float random_draw() {
  return random_source().draw(random_seed());
}
/// Back to the start of the run: a fresh source and the seed -1 (tests).
void reset_random_source();

}  // namespace kest
