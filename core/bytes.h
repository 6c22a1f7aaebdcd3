#pragma once
// Little-endian byte cursors shared by every archive reader and writer.
//
// ByteReader never reads outside its buffer: a read past the end yields zero
// bytes and sets overrun(), so a reader can finish a record and report one
// corrupt code instead of checking every field.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ks {

using Bytes = std::vector<std::uint8_t>;

// Little-endian values at a place known to be inside its buffer.
inline std::uint16_t LoadLe16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}
inline void StoreLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  explicit ByteReader(const Bytes& bytes) : data_(bytes.data()), size_(bytes.size()) {}

  std::size_t position() const { return pos_; }
  std::size_t size() const { return size_; }
  std::size_t remaining() const { return size_ - pos_; }
  bool overrun() const { return overrun_; }
  const std::uint8_t* data() const { return data_; }
  const std::uint8_t* current() const { return data_ + pos_; }

  // Copies n bytes to out; a short read zero-fills the rest and marks the overrun.
  void Read(void* out, std::size_t n) {
    const std::size_t have = n <= remaining() ? n : remaining();
    if (have) std::memcpy(out, data_ + pos_, have);
    if (have < n) {
      std::memset(static_cast<std::uint8_t*>(out) + have, 0, n - have);
      overrun_ = true;
    }
    pos_ += have;
  }
  // Advances n bytes, or to the end (marking the overrun) when fewer remain.
  bool Skip(std::size_t n) {
    if (n > remaining()) {
      pos_ = size_;
      overrun_ = true;
      return false;
    }
    pos_ += n;
    return true;
  }
  std::uint8_t U8() { return static_cast<std::uint8_t>(Le(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Le(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Le(4)); }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  std::uint64_t U64() { return Le(8); }
  double F64() {
    const std::uint64_t bits = U64();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }

 private:
  std::uint64_t Le(std::size_t n) {
    std::uint8_t b[8] = {};
    Read(b, n);
    std::uint64_t v = 0;
    for (std::size_t i = n; i-- > 0;) v = (v << 8) | b[i];
    return v;
  }

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t pos_ = 0;
  bool overrun_ = false;
};

class ByteWriter {
 public:
  const Bytes& bytes() const { return bytes_; }
  Bytes Take() { return std::move(bytes_); }
  std::size_t size() const { return bytes_.size(); }

  void Raw(const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
  }
  void Raw(const Bytes& b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  void U8(std::uint8_t v) { Le(v, 1); }
  void U16(std::uint16_t v) { Le(v, 2); }
  void U32(std::uint32_t v) { Le(v, 4); }
  void I32(std::int32_t v) { Le(static_cast<std::uint32_t>(v), 4); }
  void U64(std::uint64_t v) { Le(v, 8); }
  void F64(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    U64(bits);
  }
  // Overwrites a little-endian u32 at an earlier position (for sizes known later).
  void PatchU32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
  }

 private:
  void Le(std::uint64_t v, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  Bytes bytes_;
};

}  // namespace ks
