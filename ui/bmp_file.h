#pragma once
// A bitmap file (".bmp") held in memory: the background picture of the
// settings, "Installer Background.bmp" of the uninstaller and the author's
// pictures that the authoring tool writes into the engine. All come from
// outside, so the header, the colour table and the pixel rows are checked to
// lie inside the bytes before anything draws from them.

#include <cstddef>
#include <cstdint>

#include "core/bytes.h"

namespace ks {

struct BmpLayout {
  std::size_t info_offset = 0;  // the BITMAPINFOHEADER, followed by its colour masks and table
  std::size_t bits_offset = 0;  // the pixel rows
  std::size_t bits_size = 0;
  int width = 0;
  int height = 0;               // always positive; top-down files have a negative height field
};

// Pictures larger than this on either side are refused (a wrong header must
// not make the drawing code allocate or read gigabytes).
inline constexpr int kMaxBmpSide = 16384;

// False when the bytes are no bitmap file that the drawing can use whole:
// "BM", a BITMAPINFOHEADER (or a later version of it), 1, 4, 8, 16, 24 or 32
// bits per pixel, uncompressed or with bit fields, and the colour table and pixel rows inside the file.
bool ReadBmpLayout(const Bytes& file, BmpLayout* layout);

// The picture as a bitmap resource (RT_BITMAP), which the loader reads as a
// plain BITMAPINFOHEADER with the colour masks or table right behind it and
// the rows right behind those: the file without its file header, rewritten
// in that form with its rows bottom-up (a later header version is cut to
// the plain one, keeping the masks; gaps in the file are dropped). False
// when ReadBmpLayout refuses the file.
bool BmpResourceFromFile(const Bytes& file, Bytes* resource);

}  // namespace ks
