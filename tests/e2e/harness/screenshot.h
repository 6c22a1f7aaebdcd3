#pragma once
// Pictures of the prefix's virtual desktop (ksdriver's "shot:" act or its
// "shot" command save them as 24-bit bitmap files): reading their pixels for
// the checks, and keeping them as PNG files for the documentation.

#include <cstdint>
#include <string>
#include <vector>

namespace ks::e2e {

struct Pixel {
  int r = 0, g = 0, b = 0;
};

struct Screenshot {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // rows from the top, red, green, blue per pixel

  Pixel At(int x, int y) const;
};

// Reads a 24-bit bitmap file (Linux path). False when it is not one.
bool ReadBitmapFile(const std::string& linux_path, Screenshot* shot);

// A 24-bit bitmap file of `width` x `height` pixels, `colour(x, y)` giving
// each (y from the top): pictures for the installers under test.
std::vector<std::uint8_t> BitmapFile(int width, int height, Pixel (*colour)(int x, int y));

// Saves the whole screen now through ksdriver into the running test's scratch
// folder and reads it; false (with a test failure added) when that fails.
bool TakeScreenshot(Screenshot* shot);

// Each colour part within `tolerance` of the other's.
bool Near(const Pixel& a, const Pixel& b, int tolerance);
std::string Describe(const Pixel& p);

// The part of `shot` inside the rectangle, as a picture of its own.
Screenshot Crop(const Screenshot& shot, int left, int top, int right, int bottom);

// Half the width and height, each pixel the mean of four.
Screenshot HalfSize(const Screenshot& shot);

// Writes `shot` as a PNG file. False when it cannot be written.
bool WritePng(const Screenshot& shot, const std::string& linux_path);

// With the environment variable KS_SCREENSHOT_DIR set, writes `shot` there
// as `name`.png (scripts/wizard-screenshots.sh collects the documentation's
// pictures this way); otherwise does nothing.
void KeepScreenshot(const Screenshot& shot, const std::string& name);

}  // namespace ks::e2e
