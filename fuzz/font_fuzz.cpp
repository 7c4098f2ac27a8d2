// The .fnt reader over arbitrary bytes; a font that loads must also lay out
// and draw text (including the input itself as text, markup and all)
// within its own invariants.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "render/Graphics.h"
#include "render/StrokeFont.h"

namespace {

// Counts the lines a draw emits and checks they stay finite.
class CountingGraphics : public Graphics {
public:
    long lines = 0;
    void drawLine3D(const float p[3], const float q[3]) override {
        for (int i = 0; i < 3; ++i)
            if (!std::isfinite(p[i]) || !std::isfinite(q[i])) std::abort();
        ++lines;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    StrokeFont font;
    if (!font.loadFromText(bytes)) {
        if (font.isLoaded() || font.characterCount() != 0) std::abort();
        return 0;
    }
    if (font.maxY() <= 0 || font.characterCount() < 1 || font.characterCount() > StrokeFont::kMaxGlyphs) std::abort();
    if (font.minY() > font.maxY() || font.digitWidth() > font.widestWidth()) std::abort();

    std::string asText(bytes.substr(0, std::min<size_t>(size, 4096)));
    asText = asText.c_str();  // up to the first NUL
    const char* texts[] = {"Hello <color=FF8000>world</COLOR><br>1.5e-3 m", "a-b c\nd", asText.c_str()};

    StrokeFont* fonts[1] = {&font};
    CountingGraphics g;
    g.fontCount = 1;
    g.fonts = fonts;
    g.windowWidth = 640;
    g.windowHeight = 480;
    g.setViewport(0.0f, 0.0f, 1.0f, 1.0f);
    const float anchor[3] = {0.25f, 0.5f, 0.0f};
    for (const char* text : texts) {
        float width = -1, minY = 0, maxY = 0, lineHeight = 0, spacing = 0;
        int lines = 0;
        if (!font.measure(text, &width, &minY, &maxY, &lineHeight, &spacing, &lines)) std::abort();
        if (!(width >= 0.0f) || !std::isfinite(minY)) std::abort();
        for (float wrap : {0.0f, 0.3f}) {
            size_t previousEnd = 0;
            for (const StrokeFont::Line& l : font.layoutLines(text, wrap))
                if (l.begin < previousEnd || l.end < l.begin || !(l.width >= 0.0f)) std::abort();
                else previousEnd = l.end;
        }
        for (bool screen : {false, true})
            StrokeFont::drawText(g, text, anchor, screen ? 1 : 2, 0.05f, screen ? 0.4f : 0.0f, 30.0f, 0, -2.0f,
                                 screen);
    }
    std::vector<float> xy;
    std::vector<int> counts;
    for (int code = StrokeFont::kFirstCode; code < StrokeFont::kFirstCode + font.characterCount(); ++code) {
        font.glyphStrokes(code, xy, counts);
        size_t points = 0;
        for (int n : counts) points += static_cast<size_t>(n);
        if (xy.size() != 2 * points) std::abort();
    }
    return 0;
}
