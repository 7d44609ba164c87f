#include "io/decompress.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/diagnostics.h"

#if defined(KEST_HAVE_ZLIB)
#include <zlib.h>
#endif
#if defined(KEST_HAVE_LZMA)
#include <lzma.h>
#endif
#if defined(KEST_HAVE_ZSTD)
#include <zstd.h>
#endif

namespace kest {

Compression compression_of(const unsigned char* start, std::size_t size) {
  auto starts = [&](std::initializer_list<unsigned char> magic) {
    return size >= magic.size() && std::equal(magic.begin(), magic.end(), start);
  };
  if (starts({0x1f, 0x8b})) return Compression::kGzip;
  if (starts({0xfd, '7', 'z', 'X', 'Z', 0x00})) return Compression::kXz;
  if (starts({0x28, 0xb5, 0x2f, 0xfd})) return Compression::kZstd;
  return Compression::kNone;
}

const char* compression_name(Compression kind) {
  switch (kind) {
    case Compression::kGzip:
      return "gzip";
    case Compression::kXz:
      return "xz";
    case Compression::kZstd:
      return "zstd";
    case Compression::kNone:
      break;
  }
  return "plain";
}

namespace {

// The part every decoder shares: a buffer of raw bytes taken from the source.
class Feed {
 public:
  Feed(Decoder::Source source, std::string name)
      : source_(std::move(source)), name_(std::move(name)), buffer_(64 * 1024) {}

  // More raw bytes when all were used; false once the source has ended.
  bool refill() {
    if (done_) return false;
    size_ = source_(buffer_.data(), buffer_.size());
    used_ = 0;
    done_ = size_ == 0;
    return !done_;
  }
  void restart() {
    size_ = used_ = 0;
    done_ = false;
  }
  [[noreturn]] void fail(const char* why) const {
    KEST_FATAL("Could not decompress file %s (%s)\n", name_.c_str(), why);
  }

  const unsigned char* data() const {
    return reinterpret_cast<const unsigned char*>(buffer_.data()) + used_;
  }
  std::size_t left() const { return size_ - used_; }
  void use(std::size_t count) { used_ += count; }
  bool done() const { return done_; }

 private:
  Decoder::Source source_;
  std::string name_;
  std::vector<char> buffer_;
  std::size_t size_ = 0;
  std::size_t used_ = 0;
  bool done_ = false;
};

constexpr const char* kEndsEarly = "the compressed data end early";

#if defined(KEST_HAVE_ZLIB)
class GzipDecoder final : public Decoder {
 public:
  GzipDecoder(Source source, const std::string& name) : feed_(std::move(source), name) {
    // 32 + 15: a gzip (or zlib) header, a window of any size.
    if (inflateInit2(&z_, 32 + 15) != Z_OK) feed_.fail("no memory for zlib");
  }
  ~GzipDecoder() override { inflateEnd(&z_); }

  std::size_t read(char* into, std::size_t room) override {
    std::size_t made = 0;
    while (made == 0) {
      if (feed_.left() == 0 && !feed_.refill()) {
        if (inside_) feed_.fail(kEndsEarly);
        return 0;
      }
      z_.next_in = const_cast<Bytef*>(feed_.data());
      z_.avail_in = static_cast<uInt>(std::min<std::size_t>(feed_.left(), UINT32_MAX));
      z_.next_out = reinterpret_cast<Bytef*>(into);
      z_.avail_out = static_cast<uInt>(std::min<std::size_t>(room, UINT32_MAX));
      const uInt before = z_.avail_in;
      const int result = inflate(&z_, Z_NO_FLUSH);
      feed_.use(before - z_.avail_in);
      made = static_cast<std::size_t>(reinterpret_cast<char*>(z_.next_out) - into);
      if (result == Z_STREAM_END) {
        inside_ = false;  // a further member may follow
        inflateReset(&z_);
      } else if (result == Z_OK || result == Z_BUF_ERROR) {
        inside_ = true;
      } else {
        feed_.fail(z_.msg != nullptr ? z_.msg : "corrupt data");
      }
    }
    return made;
  }
  void restart() override {
    feed_.restart();
    inflateReset(&z_);
    inside_ = false;
  }

 private:
  Feed feed_;
  z_stream z_{};
  bool inside_ = false;  // within a member that has not ended
};
#endif

#if defined(KEST_HAVE_LZMA)
class XzDecoder final : public Decoder {
 public:
  XzDecoder(Source source, const std::string& name) : feed_(std::move(source), name) { start(); }
  ~XzDecoder() override { lzma_end(&s_); }

  std::size_t read(char* into, std::size_t room) override {
    std::size_t made = 0;
    while (made == 0 && !ended_) {
      if (feed_.left() == 0) feed_.refill();
      s_.next_in = feed_.data();
      s_.avail_in = feed_.left();
      s_.next_out = reinterpret_cast<std::uint8_t*>(into);
      s_.avail_out = room;
      const lzma_ret result = lzma_code(&s_, feed_.done() ? LZMA_FINISH : LZMA_RUN);
      feed_.use(feed_.left() - s_.avail_in);
      made = room - s_.avail_out;
      if (result == LZMA_STREAM_END) {
        ended_ = true;
      } else if (result == LZMA_BUF_ERROR && feed_.done()) {
        feed_.fail(kEndsEarly);
      } else if (result != LZMA_OK && result != LZMA_BUF_ERROR) {
        feed_.fail(result == LZMA_MEM_ERROR ? "no memory for liblzma" : "corrupt data");
      }
    }
    return made;
  }
  void restart() override {
    lzma_end(&s_);
    feed_.restart();
    start();
  }

 private:
  void start() {
    s_ = LZMA_STREAM_INIT;
    ended_ = false;
    if (lzma_stream_decoder(&s_, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK) {
      feed_.fail("no memory for liblzma");
    }
  }
  Feed feed_;
  lzma_stream s_ = LZMA_STREAM_INIT;
  bool ended_ = false;
};
#endif

#if defined(KEST_HAVE_ZSTD)
class ZstdDecoder final : public Decoder {
 public:
  ZstdDecoder(Source source, const std::string& name)
      : feed_(std::move(source), name), d_(ZSTD_createDStream()) {
    if (d_ == nullptr) feed_.fail("no memory for libzstd");
  }
  ~ZstdDecoder() override { ZSTD_freeDStream(d_); }

  std::size_t read(char* into, std::size_t room) override {
    ZSTD_outBuffer out{into, room, 0};
    while (out.pos == 0) {
      if (feed_.left() == 0 && !feed_.refill()) {
        if (inside_) feed_.fail(kEndsEarly);
        return 0;
      }
      ZSTD_inBuffer in{feed_.data(), feed_.left(), 0};
      const std::size_t result = ZSTD_decompressStream(d_, &out, &in);
      feed_.use(in.pos);
      if (ZSTD_isError(result)) feed_.fail(ZSTD_getErrorName(result));
      inside_ = result != 0;  // 0: a frame has ended
    }
    return out.pos;
  }
  void restart() override {
    feed_.restart();
    ZSTD_DCtx_reset(d_, ZSTD_reset_session_only);
    inside_ = false;
  }

 private:
  Feed feed_;
  ZSTD_DStream* d_;
  bool inside_ = false;
};
#endif

}  // namespace

std::unique_ptr<Decoder> make_decoder(Compression kind, Decoder::Source source,
                                      const std::string& name) {
  switch (kind) {
#if defined(KEST_HAVE_ZLIB)
    case Compression::kGzip:
      return std::make_unique<GzipDecoder>(std::move(source), name);
#endif
#if defined(KEST_HAVE_LZMA)
    case Compression::kXz:
      return std::make_unique<XzDecoder>(std::move(source), name);
#endif
#if defined(KEST_HAVE_ZSTD)
    case Compression::kZstd:
      return std::make_unique<ZstdDecoder>(std::move(source), name);
#endif
    default:
      break;
  }
  return nullptr;
}

}  // namespace kest
