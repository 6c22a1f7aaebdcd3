#include "harness/screenshot.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "harness/wine.h"

namespace ks::e2e {
namespace {

std::uint32_t U32(const std::string& b, std::size_t at) {
  return static_cast<std::uint8_t>(b[at]) | (static_cast<std::uint8_t>(b[at + 1]) << 8) |
         (static_cast<std::uint8_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24);
}

void PutBig32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

void Chunk(std::string& png, const char* type, const std::string& data) {
  PutBig32(png, static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  PutBig32(png, static_cast<std::uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

Pixel Screenshot::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return {-1, -1, -1};
  const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
  return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

std::vector<std::uint8_t> BitmapFile(int width, int height, Pixel (*colour)(int x, int y)) {
  const int stride = (width * 3 + 3) / 4 * 4;
  std::vector<std::uint8_t> b(54 + static_cast<std::size_t>(stride * height), 0);
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<std::uint32_t>(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(width));
  put32(22, static_cast<std::uint32_t>(height));
  b[26] = 1;
  b[28] = 24;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Pixel p = colour(x, height - 1 - y);  // rows are stored from the bottom
      const std::size_t at = 54 + static_cast<std::size_t>(y * stride + x * 3);
      b[at] = static_cast<std::uint8_t>(p.b);
      b[at + 1] = static_cast<std::uint8_t>(p.g);
      b[at + 2] = static_cast<std::uint8_t>(p.r);
    }
  }
  return b;
}

bool ReadBitmapFile(const std::string& linux_path, Screenshot* shot) {
  std::ifstream in(linux_path, std::ios::binary);
  const std::string b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
  const std::uint32_t offset = U32(b, 10);
  const auto width = static_cast<std::int32_t>(U32(b, 18));
  const auto height = static_cast<std::int32_t>(U32(b, 22));
  const std::uint16_t bits = static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[28]) | (static_cast<std::uint8_t>(b[29]) << 8));
  if (bits != 24 || width <= 0 || height == 0) return false;
  const int rows = height < 0 ? -height : height;
  const std::size_t stride = ((static_cast<std::size_t>(width) * 3 + 3) / 4) * 4;
  if (offset + stride * static_cast<std::size_t>(rows) > b.size()) return false;
  shot->width = width;
  shot->height = rows;
  shot->rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows) * 3, 0);
  for (int y = 0; y < rows; ++y) {
    const int file_row = height < 0 ? y : rows - 1 - y;
    const std::size_t from = offset + stride * static_cast<std::size_t>(file_row);
    for (int x = 0; x < width; ++x) {
      const std::size_t p = from + static_cast<std::size_t>(x) * 3;
      const std::size_t q = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
      shot->rgb[q] = static_cast<std::uint8_t>(b[p + 2]);
      shot->rgb[q + 1] = static_cast<std::uint8_t>(b[p + 1]);
      shot->rgb[q + 2] = static_cast<std::uint8_t>(b[p]);
    }
  }
  return true;
}

bool TakeScreenshot(Screenshot* shot) {
  const WineEnv* env = LoadWineEnv(nullptr);
  if (!env) {
    ADD_FAILURE() << "no Wine environment";
    return false;
  }
  const std::string path = ScratchFolder() + "\\screen.bmp";
  const WineResult r = RunWine({env->tools_dir + "\\ksdriver.exe", "shot", path}, 60);
  if (!r.started || r.timed_out || !ReadBitmapFile(LinuxPath(path), shot)) {
    ADD_FAILURE() << "cannot take a screenshot: " << r.out;
    return false;
  }
  return true;
}

bool Near(const Pixel& a, const Pixel& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

std::string Describe(const Pixel& p) {
  return "(" + std::to_string(p.r) + ", " + std::to_string(p.g) + ", " + std::to_string(p.b) + ")";
}

Screenshot Crop(const Screenshot& shot, int left, int top, int right, int bottom) {
  Screenshot out;
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, shot.width);
  bottom = std::min(bottom, shot.height);
  if (right <= left || bottom <= top) return out;
  out.width = right - left;
  out.height = bottom - top;
  for (int y = top; y < bottom; ++y) {
    const auto from = shot.rgb.begin() + static_cast<std::ptrdiff_t>((static_cast<std::size_t>(y) * static_cast<std::size_t>(shot.width) + static_cast<std::size_t>(left)) * 3);
    out.rgb.insert(out.rgb.end(), from, from + static_cast<std::ptrdiff_t>(out.width) * 3);
  }
  return out;
}

Screenshot HalfSize(const Screenshot& shot) {
  Screenshot out;
  out.width = shot.width / 2;
  out.height = shot.height / 2;
  out.rgb.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height) * 3);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      const Pixel a = shot.At(2 * x, 2 * y), b = shot.At(2 * x + 1, 2 * y), c = shot.At(2 * x, 2 * y + 1),
                  d = shot.At(2 * x + 1, 2 * y + 1);
      const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(out.width) + static_cast<std::size_t>(x)) * 3;
      out.rgb[at] = static_cast<std::uint8_t>((a.r + b.r + c.r + d.r) / 4);
      out.rgb[at + 1] = static_cast<std::uint8_t>((a.g + b.g + c.g + d.g) / 4);
      out.rgb[at + 2] = static_cast<std::uint8_t>((a.b + b.b + c.b + d.b) / 4);
    }
  }
  return out;
}

bool WritePng(const Screenshot& shot, const std::string& linux_path) {
  std::string raw;
  raw.reserve(static_cast<std::size_t>(shot.height) * (static_cast<std::size_t>(shot.width) * 3 + 1));
  for (int y = 0; y < shot.height; ++y) {
    raw.push_back(0);  // no row filter
    const auto* row = shot.rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(shot.width) * 3;
    raw.append(reinterpret_cast<const char*>(row), static_cast<std::size_t>(shot.width) * 3);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), 9) != Z_OK)
    return false;
  packed.resize(packed_size);
  std::string header;
  PutBig32(header, static_cast<std::uint32_t>(shot.width));
  PutBig32(header, static_cast<std::uint32_t>(shot.height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
  std::string png("\x89PNG\r\n\x1a\n", 8);
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", "");
  std::ofstream out(linux_path, std::ios::binary);
  out.write(png.data(), static_cast<std::streamsize>(png.size()));
  return static_cast<bool>(out);
}

void KeepScreenshot(const Screenshot& shot, const std::string& name) {
  const char* folder = std::getenv("KS_SCREENSHOT_DIR");
  if (!folder || !*folder) return;
  const std::string path = std::string(folder) + "/" + name + ".png";
  if (!WritePng(shot, path)) ADD_FAILURE() << "cannot write " << path;
}

}  // namespace ks::e2e
