#pragma once
// Images that arrive inside the scene stream (textures, image objects,
// backdrops): decoding from memory blocks, and the small in-memory encoders
// the scene writer and the spherical backdrop use.
#include <cstddef>
#include <cstdint>
#include <vector>

enum class ImageKind { None, Ppm, Bmp, Jpeg, Png, Bundle };

// Kind of an encoded image, from its first bytes.
ImageKind detectImageKind(const unsigned char* block, size_t length);

// Largest image a reader accepts, in pixels (a cube bundle counts all six
// faces).  Together with the per-format checks against the block size this
// keeps a forged header from committing memory the data cannot fill.
inline constexpr uint64_t kMaxImagePixels = uint64_t(1) << 27;

// Decodes a PNG, JPEG, BMP, PPM or six-image cube bundle into RGBA pixels,
// 4 bytes per pixel, bottom row first.  keyColour (red, green, blue, or null
// for none) makes matching pixels fully transparent; every other pixel's
// alpha is scaled by 1 - transparency (limited to 0..1).  A bundle applies
// both per member.  On failure returns false and leaves the outputs empty.
bool readImage(const unsigned char* block, size_t length, const int* keyColour, float transparency, int& width,
               int& height, std::vector<unsigned char>& pixels);

// Kinds of encodeImageBlock (the viewer's output type values).
inline constexpr int kEncodeBmp = 3;
inline constexpr int kEncodePpm = 4;

// Encodes RGBA pixels (bottom row first) into `block`: kind 3 a 24-bit BMP,
// kind 4 a binary PPM.  Returns the block length, 0 for other kinds or bad
// sizes.
size_t encodeImageBlock(int kind, int width, int height, const unsigned char* rgba, std::vector<unsigned char>& block);

// The 54 bytes of file and info header of a bottom-up 24-bit BMP with no
// compression; fileSize is the whole file (headers + padded rows).
inline constexpr size_t kBmpHeaderSize = 54;
void makeBmpHeaders(unsigned char* out, int width, int height, uint32_t fileSize);

// Bytes of one 24-bit BMP row, padded to a multiple of 4.
inline uint64_t bmpRowBytes(uint64_t width) { return (width * 3 + 3) & ~uint64_t(3); }
