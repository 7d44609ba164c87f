#include "base/settings.h"

namespace kest {

namespace {
Settings g_settings;
}  // namespace

const Settings& settings() {
  return g_settings;
}

Settings& mutable_settings() {
  return g_settings;
}

void reset_settings() {
  g_settings = Settings{};
}

}  // namespace kest
