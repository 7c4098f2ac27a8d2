#pragma once
// JPEG through libjpeg: the file writer and the in-memory reader.
#include <cstddef>
#include <cstdio>
#include <vector>

// Writes width x height RGB rows (rows[0] is the top row) to an open file,
// baseline, at quality 0..100.
bool writeJpegRows(std::FILE* file, int width, int height, int quality, const unsigned char* const* rows);

// Decodes a JPEG block to RGBA (alpha 255), bottom row first.  Only images
// that decode to three components are accepted.
bool decodeJpeg(const unsigned char* block, size_t length, int& width, int& height, std::vector<unsigned char>& rgba);
