#include "driver/settings.h"

namespace kest {

namespace {
Settings g_settings;
}  // namespace

Settings& settings() { return g_settings; }

void reset_settings() { g_settings = Settings{}; }

}  // namespace kest
