#include "base/random.h"

namespace kest {

namespace {

constexpr std::int32_t kModulus = 1000000000;
constexpr std::int32_t kSeedConstant = 161803398;
constexpr long double kScale = 1e-9L;  // in extended precision

RandomSource g_source;
std::int32_t g_seed = -1;

}  // namespace

void RandomSource::seed_table(std::int32_t seed) {
  initialised_ = true;
  const std::int64_t magnitude = seed < 0 ? -static_cast<std::int64_t>(seed) : seed;
  // The remainder takes the sign of the difference, as C's % does.
  std::int64_t mj = (kSeedConstant - magnitude) % kModulus;
  table_[55] = static_cast<std::int32_t>(mj);
  std::int64_t mk = 1;
  for (int i = 1; i <= 54; ++i) {
    const int ii = (21 * i) % 55;
    table_[ii] = static_cast<std::int32_t>(mk);
    mk = mj - mk;
    if (mk < 0) mk += kModulus;
    mj = table_[ii];
  }
  for (int round = 0; round < 4; ++round) {
    for (int i = 1; i <= 55; ++i) {
      std::int64_t value = static_cast<std::int64_t>(table_[i]) - table_[1 + (i + 30) % 55];
      if (value < 0) value += kModulus;
      table_[i] = static_cast<std::int32_t>(value);
    }
  }
  lead_ = 0;
  trail_ = 31;
}

float RandomSource::draw(std::int32_t& seed) {
  if (seed < 0 || !initialised_) {
    seed_table(seed);
    seed = 1;
  }
  if (++lead_ == 56) lead_ = 1;
  if (++trail_ == 56) trail_ = 1;
  std::int64_t mj = static_cast<std::int64_t>(table_[lead_]) - table_[trail_];
  if (mj < 0) mj += kModulus;
  table_[lead_] = static_cast<std::int32_t>(mj);
  last_ = table_[lead_];
  return static_cast<float>(static_cast<long double>(mj) * kScale);
}

RandomSource& random_source() {
  return g_source;
}
std::int32_t& random_seed() {
  return g_seed;
}

void reset_random_source() {
  g_source = RandomSource();
  g_seed = -1;
}

}  // namespace kest
