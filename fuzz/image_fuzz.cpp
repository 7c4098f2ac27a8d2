// readImage over arbitrary bytes: every kind is chosen by the block's own
// first bytes (PNG, JPEG, BMP, PPM, cube bundle).  A decoded image must also
// survive the in-memory encoders unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "output/ImageCodecs.h"
#include "platform/MessageSink.h"

// The bundle size warning would otherwise flood the output.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::SetMessageHandler([](platform::MessageIcon, const std::string&, const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int key[3] = {255, 255, 255};
    int w = 0, h = 0;
    std::vector<unsigned char> rgba;
    if (!readImage(data, size, key, 0.25f, w, h, rgba)) return 0;
    if (w < 1 || h < 1 || rgba.size() != size_t(w) * h * 4) std::abort();
    if (size_t(w) * h > (1u << 20)) return 0;
    for (int kind : {kEncodePpm, kEncodeBmp}) {
        std::vector<unsigned char> block, again;
        int w2 = 0, h2 = 0;
        if (encodeImageBlock(kind, w, h, rgba.data(), block) == 0) std::abort();
        if (!readImage(block.data(), block.size(), nullptr, 0, w2, h2, again) || w2 != w || h2 != h) std::abort();
        for (size_t i = 0; i < again.size(); i += 4)
            if (std::memcmp(&again[i], &rgba[i], 3) != 0) std::abort();
    }
    return 0;
}
