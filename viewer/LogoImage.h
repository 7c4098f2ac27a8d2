#pragma once
// The 126 x 35 RGBA PNG logo, embedded at build time from
// viewer/resources/logo.png (tools/makelogo draws it).
extern const unsigned char kLogoPng[];
extern const int kLogoPngSize;
