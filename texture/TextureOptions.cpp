// The process-wide texture options, each one atomic value that TARN_* environment variables start from.
#include "texture/TextureOptions.h"

#include <atomic>
#include <cstdlib>
#include <strings.h>

#include "BlockCodec.h"

namespace tarn::texture {

namespace {

// Read from the environment once, at the first Get or Set; every later change goes through SetBlockQuality.
std::atomic<BlockQuality>& QualityStore() {
    static std::atomic<BlockQuality> store{ParseBlockQuality(std::getenv("TARN_DXT_QUALITY"))};
    return store;
}

}  // namespace

BlockQuality ParseBlockQuality(const char* text) {
    if (text == nullptr) return BlockQuality::Default;
    if (strcasecmp(text, "fast") == 0) return BlockQuality::Fast;
    if (strcasecmp(text, "best") == 0) return BlockQuality::Best;
    return BlockQuality::Default;
}

void SetBlockQuality(BlockQuality quality) {
    if (quality != BlockQuality::Fast && quality != BlockQuality::Best) quality = BlockQuality::Default;
    QualityStore().store(quality, std::memory_order_relaxed);
}

BlockQuality GetBlockQuality() { return QualityStore().load(std::memory_order_relaxed); }

}  // namespace tarn::texture
