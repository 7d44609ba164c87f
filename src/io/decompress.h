// Compressed inputs: gzip, xz and zstd data, known by their first bytes and
// read through zlib, liblzma and libzstd as the plain text they hold.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace kest {

enum class Compression { kNone, kGzip, kXz, kZstd };

/// Bytes that tell every compression apart.
inline constexpr std::size_t kMagicSize = 6;

/// The compression whose magic bytes `start` (`size` of them) begins with.
Compression compression_of(const unsigned char* start, std::size_t size);

/// The name of a compression, as its tools call it.
const char* compression_name(Compression kind);

/// Reads compressed bytes from a source and hands out the plain bytes.
/// Concatenated streams (several gzip members, xz streams, zstd frames) read as
/// one. A source that ends inside a stream, or data that do not decode, are
/// fatal ("Could not decompress file %s (%s)\n").
class Decoder {
 public:
  /// Fills `into` with up to `room` raw bytes; 0 at the end of the source.
  using Source = std::function<std::size_t(char* into, std::size_t room)>;

  virtual ~Decoder() = default;
  /// Up to `room` plain bytes; 0 at the end of the data.
  virtual std::size_t read(char* into, std::size_t room) = 0;
  /// Starts again from the source's first byte (the source is set back by the caller).
  virtual void restart() = 0;
};

/// A decoder for `kind` reading from `source`; nullptr when this build has no
/// library for it. `name` names the input in messages.
std::unique_ptr<Decoder> make_decoder(Compression kind, Decoder::Source source,
                                      const std::string& name);

}  // namespace kest
