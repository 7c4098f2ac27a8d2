#pragma once
// Pieces shared by the image output benchmarks: a 3840 x 2160 picture like
// the viewer draws, libpng driven directly as the baseline, and a reporter
// that keeps the best repetition of each benchmark for the ratios.
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "output/RasterImage.h"

namespace benchimage {

constexpr int kWidth = 3840;
constexpr int kHeight = 2160;

// A frame like the viewer draws: a vertical background gradient, shaded
// spheres, a faceted flat-shaded surface, mesh lines and a colour legend.
inline const RasterImage& frame() {
    static const RasterImage img = [] {
        RasterImage f;
        f.width = kWidth;
        f.height = kHeight;
        f.pixels.resize(size_t(kWidth) * kHeight * 3);
        struct Sphere {
            double cx, cy, r, red, green, blue;
        } spheres[] = {{900, 1100, 420, 0.9, 0.3, 0.2},
                       {1900, 800, 300, 0.2, 0.7, 0.3},
                       {2700, 1300, 520, 0.3, 0.4, 0.9}};
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                double r = 0.15 + 0.25 * y / kHeight, g = 0.2 + 0.2 * y / kHeight, b = 0.45 + 0.3 * y / kHeight;
                // Faceted surface in the lower third: flat shade per cell.
                if (y < kHeight / 3) {
                    const int cx = x / 48, cy = y / 48;
                    const double shade = 0.45 + 0.4 * std::fabs(std::sin(cx * 0.37 + cy * 0.21));
                    r = 0.8 * shade, g = 0.7 * shade, b = 0.3 * shade;
                    if (x % 48 == 0 || y % 48 == 0) r = g = b = 0.05;  // mesh lines
                }
                for (const Sphere& s : spheres) {
                    const double dx = (x - s.cx) / s.r, dy = (y - s.cy) / s.r, d2 = dx * dx + dy * dy;
                    if (d2 < 1) {
                        const double nz = std::sqrt(1 - d2);
                        const double light = 0.15 + 0.85 * std::max(0.0, -0.4 * dx + 0.5 * dy + 0.77 * nz);
                        r = s.red * light, g = s.green * light, b = s.blue * light;
                    }
                }
                // Colour legend: 16 flat bands on the right.
                if (x > 3600 && x < 3700 && y > 400 && y < 1760) {
                    const double t = std::floor((y - 400) / 85.0) / 15.0;
                    r = t, g = 1 - std::fabs(2 * t - 1), b = 1 - t;
                }
                unsigned char* p = &f.pixels[(size_t(y) * kWidth + x) * 3];
                p[0] = static_cast<unsigned char>(255 * std::min(1.0, r));
                p[1] = static_cast<unsigned char>(255 * std::min(1.0, g));
                p[2] = static_cast<unsigned char>(255 * std::min(1.0, b));
            }
        }
        return f;
    }();
    return img;
}

inline std::string outputPath(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

// libpng with the writer's settings (library default compression and
// filters); rows bottom-up with flipRows, as the off-screen renderers give them.
inline bool libpngDirect(const RasterImage& img, const std::string& path, bool flipRows = true) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows(static_cast<size_t>(img.height));
    for (int y = 0; y < img.height; ++y)
        rows[y] = const_cast<png_bytep>(&img.pixels[size_t(flipRows ? img.height - 1 - y : y) * img.width * 3]);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(img.width), png_uint_32(img.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

// Keeps the fastest repetition of every benchmark for the ratio, in wall
// time and in CPU time (the steadier of the two on a busy machine).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.iterations == 0) continue;
            keep(r.run_name.function_name, r.real_accumulated_time / double(r.iterations));
            keep(r.run_name.function_name + ":cpu", r.cpu_accumulated_time / double(r.iterations));
        }
    }
    double best(const std::string& name) const {
        auto it = best_.find(name);
        return it == best_.end() ? std::numeric_limits<double>::quiet_NaN() : it->second;
    }

private:
    void keep(const std::string& name, double value) {
        auto it = best_.find(name);
        if (it == best_.end() || value < it->second) best_[name] = value;
    }
    std::map<std::string, double> best_;
};

}  // namespace benchimage
