// The file check (--check, --get-rows, --get-cols): reports every data line whose
// number of values differs from the first data line's, and hands back the column
// count and the number of data lines.
#include <cstdio>

#include "ops/frame.h"

namespace kest {

OpResult checkfil(const Job& job) {
  Frame frame(job, {.flags = false, .comments = false, .columns = false});
  const std::uint32_t rows = check_rows(frame.input(), frame.cols());
  return frame.finish(rows);
}

}  // namespace kest
