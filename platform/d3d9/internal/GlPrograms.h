// Programs of the GL backend: the generated fixed-function programs, cached by ProgramKey, and their uniforms,
// sent per program only when the state group they come from changed since that program last received it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "FixedFunction.h"
#include "GlState.h"

namespace tarn::d3d9 {

class GlPrograms {
public:
    // `palette`: the world matrices of indexed vertex blending the programs hold.
    GlPrograms(GlState& gl, int palette) : gl_(gl), palette_(palette) {}
    ~GlPrograms();
    GlPrograms(const GlPrograms&) = delete;
    GlPrograms& operator=(const GlPrograms&) = delete;

    // Notes the groups of device state (Dirty bits) that changed: their uniforms go to each program again.
    void Changed(std::uint32_t groups);
    // Makes the program of the current state current (generating it on first use), with the GL clip planes it
    // writes switched on. `rebuild` false keeps the current program when there is one; `primitive` is what the
    // draw rasterises.
    void Select(const DeviceState& state, bool rebuild, Primitive primitive);
    // False when no program is current or the current one failed to link (the draw is then skipped).
    bool ready() const { return current_ && current_->linked; }
    const ProgramKey& key() const { return key_; }
    // Sends the uniforms the current program has not received since they last changed.
    void UploadUniforms(const DeviceState& state);
    std::size_t count() const { return programs_.size(); }

private:
    struct Uniforms {
        GLint world, worldView, worldViewProj, normalMatrix, viewport, depthRange, texMatrix, clipPlane;
        GLint matDiffuse, matAmbient, matSpecular, matEmissive, matPower, globalAmbient;
        GLint lightDiffuse, lightSpecular, lightAmbient, lightPosition, lightDirection, lightAttenuation, lightSpot;
        GLint fog, fogColor, alphaRef, textureFactor, stageConstant, pointBias;
        GLint pointSize, pointScale, bumpMatrix, bumpLuminance;
        GLint blendWorldView, projection, viewInverse;
    };
    // Stamps record which version of each group a program has received.
    struct Program {
        GLuint name = 0;
        Uniforms u{};
        std::array<int, kMaxActiveLights> lights{};
        int lightCount = 0;
        int blendCount = 0;  // world matrices of uBlendWorldView
        std::uint64_t transforms = 0, lighting = 0, material = 0, constants = 0, texMatrices = 0, viewport = 0,
                      textures = 0;
        bool linked = false;
    };
    Program* ProgramFor(const ProgramKey& key);

    GlState& gl_;
    int palette_;
    std::vector<D3DMATRIX> blendScratch_;  // world-view products on their way to uBlendWorldView
    std::unordered_map<ProgramKey, Program, ProgramKeyHash> programs_;
    Program* current_ = nullptr;
    ProgramKey key_;
    std::uint64_t transformsStamp_ = 1, lightingStamp_ = 1, materialStamp_ = 1, constantsStamp_ = 1,
                  texMatricesStamp_ = 1, viewportStamp_ = 1, texturesStamp_ = 1;
};

}  // namespace tarn::d3d9
