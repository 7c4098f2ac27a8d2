#pragma once
// The software renderer with a pixel store behind it: renders one frame of
// the scene into memory at any size, with no window, no OpenGL and no
// display, and hands the picture out as RGB bytes (readPixels).
//
// Fragment mode (the default): every pixel keeps its farthest opaque
// surface (the record: depth, colour) and, chained after it from far to
// near, the translucent fragments in front of it; the picture is resolved
// once at the end, so transparency does not depend on the drawing order.  A
// later fragment at the same depth lands in front of an earlier one, so
// lines drawn on faces win.
//
// Depth-ordering mode (environment variable VIEWER_BSP set): a plain RGB
// buffer, primitives deferred and painted back to front by DepthSorter.
//
// The store is refused, with a message naming the size, when it cannot be
// held in the memory available; nothing is allocated then and the renderer
// reports itself unusable.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "output/GraphicsAEA.h"

class GraphicsAEARaster : public GraphicsAEA {
public:
    // One pixel record and one translucent fragment: depth (0 near .. 1 far),
    // red, green, blue, alpha bytes, the next (nearer) fragment (0: none).
    struct Fragment {
        float depth;
        unsigned char rgba[4];
        std::uint32_t next;
    };
    static constexpr std::size_t kRecordBytes = sizeof(Fragment);

    // W x H pixels; tolerance factor stored when positive (depth ordering);
    // line width multiplier, reverse video and colour mode as GraphicsAEA.
    GraphicsAEARaster(Graphics* from, int width, int height, float toleranceFactor, int lineWidthMultiplier,
                      bool reverse, int colourMode);
    ~GraphicsAEARaster() override;

    // Bytes the store of a W x H image needs (records, or RGB in
    // depth-ordering mode); 0 for a size that cannot be addressed.
    static unsigned long long StoreBytes(int width, int height, bool depthOrdering);
    // Whether that store fits the memory available; otherwise the message
    // that names the size (when message is given).
    static bool StoreFits(int width, int height, bool depthOrdering, std::string* message);
    // Memory the store may use (what the system reports available).
    static unsigned long long AvailableMemory();

    bool isDepthOrdering() const { return !fragmentMode; }

    // ---- the seven operations
    void clearBuffers(unsigned mask) override;
    void drawPixels(int width, int height, unsigned format, unsigned type, const unsigned char* rgba) override;
    void setPixelRegion(int x, int y, int width, int height) override;
    void fillFlatTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c, const float rgba[4]) override;
    void drawShadedTriangle(const WinVertex& a, const WinVertex& b, const WinVertex& c) override;
    void drawWideLine(float width, const WinVertex& a, const WinVertex& b) override;
    void drawWidePoint(float size, const WinVertex& v) override;

    // The resolved picture: W * H * 3 bytes, RGB, row 0 at the bottom; empty
    // when memory is short.
    std::vector<unsigned char> readPixels() const;

    // Writes one pixel (colour and alpha 0..1) through the pixel region and
    // the store's rules.
    void writePixel(int x, int y, float r, float g, float b, float a, float depth);

    // ---- inspection (tests, diagnostics)
    const Fragment* record(int x, int y) const;
    int fragmentCount(int x, int y) const;  // translucent fragments of a pixel
    std::size_t fragmentsInUse() const { return fragmentsUsed_; }
    // Fragment allocations beyond this many fail (the fragment is lost).
    std::size_t fragmentLimit = 0;

private:
    static constexpr int kChunkBits = 16;
    std::uint32_t allocateFragment();
    void freeChain(std::uint32_t first);
    Fragment& fragment(std::uint32_t index) { return chunks_[index >> kChunkBits][index & ((1u << kChunkBits) - 1)]; }
    const Fragment& fragment(std::uint32_t index) const {
        return chunks_[index >> kChunkBits][index & ((1u << kChunkBits) - 1)];
    }
    void insertFragment(Fragment& pixel, const unsigned char rgba[4], float depth, bool hasDepth);
    void spanRow(int row, const float* left, const float* right, int count, float alpha, const WinTexture* texture);

    std::unique_ptr<Fragment[]> records_;     // fragment mode
    std::unique_ptr<unsigned char[]> rgb_;    // depth-ordering mode
    std::vector<std::unique_ptr<Fragment[]>> chunks_;
    std::uint32_t freeList_ = 0;
    std::uint32_t nextFresh_ = 0;  // next never-used index
    std::size_t fragmentsUsed_ = 0;
};
