// The null backend: resources and state live in the device as always, and nothing is drawn. Copies and fills
// fall back to the device's memory paths; a presented frame shows the back buffer's memory as it is. Of the
// queries it answers events only, which are passed at once since no commands wait behind them: it draws no
// samples to count and runs no clock to read, so occlusion and timestamp queries are not available.
#include <algorithm>
#include <memory>
#include <vector>

#include "PresentPath.h"
#include "platform/Runner.h"
#include "DeviceObject.h"
#include "Renderer.h"
#include "SwapChain.h"

namespace tarn::d3d9 {
namespace {

class NullRenderer final : public Renderer {
public:
    explicit NullRenderer(Device* device) : device_(device) {}

    const BackendLimits& Limits() const override { return NullBackendLimits(); }
    void Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD, std::uint32_t) override {}
    void Draw(const DrawCall&, std::uint32_t) override {}
    void Present(const PresentFrame& frame) override;
    // Memory is the only copy, so it is always current.
    void ReadBack(Surface* surface) override { surface->fresh = Fresh::Both; }
    bool Blit(Surface*, const RECT&, Surface*, const RECT&, bool) override { return false; }
    bool Fill(Surface*, const RECT&, D3DCOLOR) override { return false; }
    void Forget(ResourceCore*) override {}
    void Reset() override {}
    void ReleaseContext() override {}  // nothing is bound to a thread
    std::size_t ProgramCount() const override { return 0; }
    UploadStats Uploads() const override { return {}; }
    std::size_t StateCalls() const override { return 0; }
    void Finish() override {}
    unsigned TakeErrors() override { return 0; }
    bool SupportsQuery(D3DQUERYTYPE type) const override { return type == D3DQUERYTYPE_EVENT; }
    std::unique_ptr<GpuQuery> CreateQuery(D3DQUERYTYPE type) override {
        return SupportsQuery(type) ? std::make_unique<PassedEvent>() : nullptr;
    }

private:
    class PassedEvent final : public GpuQuery {
    public:
        void Begin() override {}
        void End() override {}
        bool Result(void* data, bool) override {
            *static_cast<BOOL*>(data) = TRUE;
            return true;
        }
    };

    Device* device_;
};

void NullRenderer::Present(const PresentFrame& frame) {
    if (!frame.window) return;
    Surface* back = frame.back;
    tarn::platform::FramePresented(
        frame.window, static_cast<int>(back->width()), static_cast<int>(back->height()),
        [](void* context, int width, int height, std::uint8_t* rgba) -> bool {
            const auto* shown = static_cast<const PresentFrame*>(context);
            const Surface* surface = shown->back;
            std::vector<float> row(static_cast<std::size_t>(width) * 4);
            for (int y = 0; y < height; ++y) {
                DecodeRow(surface->format(), surface->bits() + static_cast<std::size_t>(y) * surface->pitch(),
                          static_cast<UINT>(width), row.data());
                for (std::size_t i = 0; i < row.size(); ++i) {
                    rgba[static_cast<std::size_t>(y) * width * 4 + i] =
                        static_cast<std::uint8_t>(std::clamp(row[i], 0.0f, 1.0f) * 255.0f + 0.5f);
                }
            }
            if (shown->gamma) {
                ApplyGammaRamp(*shown->gamma, rgba, static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
            }
            return true;
        },
        const_cast<PresentFrame*>(&frame));
}

}  // namespace

const BackendLimits& NullBackendLimits() {
    static const BackendLimits fixed;
    return fixed;
}

std::unique_ptr<Renderer> CreateNullRenderer(Device* device) { return std::make_unique<NullRenderer>(device); }

}  // namespace tarn::d3d9
