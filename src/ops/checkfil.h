// The file check: reports every data line whose number of values differs from
// the first data line's, and hands back the column and row counts.
#pragma once

#include <string>

#include "io/frame.h"

namespace kest {

/// cols: values on the first data line; rows: data lines read, mismatching ones
/// included, up to a line on which no value can be counted.
OpResult check(const std::string& in);

}  // namespace kest
