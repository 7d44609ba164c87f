// The nop operation: copies the data rows unchanged into the chosen output style.
#pragma once

#include <optional>
#include <string>

#include "io/frame.h"

namespace kest {

OpResult nop(const std::string& in, const std::optional<std::string>& out,
             const SelectionSource& selection);

}  // namespace kest
