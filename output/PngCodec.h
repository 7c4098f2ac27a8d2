#pragma once
// PNG through libpng: the file writer and the in-memory reader.
#include <cstddef>
#include <cstdio>
#include <vector>

// Writes width x height RGB rows (rows[0] is the top row) to an open file,
// with the library's default compression and filters.
bool writePngRows(std::FILE* file, int width, int height, const unsigned char* const* rows);

// Decodes a PNG block to RGBA, bottom row first.  Grey images are refused.
bool decodePng(const unsigned char* block, size_t length, int& width, int& height, std::vector<unsigned char>& rgba);
