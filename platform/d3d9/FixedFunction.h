// The fixed-function pipeline as GLSL: a compact key holds every state that changes the program's code (vertex
// layout, lighting setup, texture stages, fog and alpha-test modes); values that only feed uniforms stay out of
// it. Programs are generated from keys and cached by the renderer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/d3d9/Internal.h"

namespace tarn::d3d9 {

struct ProgramKey {
    // [0] vertex format; [1] pixel/vertex switches; [2] light types (2 bits per active light);
    // then 3 words per stage: colour op and args, alpha op and args, coordinates and texture.
    std::array<std::uint32_t, 3 + 3 * kStages> words{};
    bool operator==(const ProgramKey& other) const { return words == other.words; }
};

struct ProgramKeyHash {
    std::size_t operator()(const ProgramKey& key) const;
};

// Switch bits of word [1].
enum KeyBits : std::uint32_t {
    kKeyLighting = 1u << 0,
    kKeySpecular = 1u << 1,
    kKeyLocalViewer = 1u << 2,
    kKeyNormalize = 1u << 3,
    kKeyColorVertex = 1u << 4,
    kKeyFlat = 1u << 5,
    kKeyAlphaTest = 1u << 6,
    kKeyRangeFog = 1u << 7,
    // bits 8-11 alpha function, 12-13 table fog mode, 14-15 vertex fog mode,
    // 16-23 material sources (diffuse, specular, ambient, emissive; 2 bits each),
    // 24-29 enabled user clip planes
    kKeyWFog = 1u << 30,  // table fog by w (perspective projection); else by device depth z
};

// Builds the key of the current state. `activeLights` receives the indices of the enabled lights in key order.
ProgramKey MakeProgramKey(const DeviceState& state, std::array<int, kMaxActiveLights>* activeLights,
                          int* activeLightCount);

// True when a sampler's minification or magnification filter is point sampling (or none).
inline bool UsesPointFilter(const std::array<DWORD, D3DSAMP_MAX_VALUE>& sampler) {
    return sampler[D3DSAMP_MINFILTER] <= D3DTEXF_POINT || sampler[D3DSAMP_MAGFILTER] <= D3DTEXF_POINT;
}

// Number of stages the key uses (stages before the first disabled one).
int ActiveStages(const ProgramKey& key);
// User clip planes the program writes (bit i: gl_ClipDistance[i]); the renderer enables the same GL planes.
inline std::uint32_t ClipPlaneMask(const ProgramKey& key) { return (key.words[1] >> 24) & 0x3f; }
bool StageSamples(const ProgramKey& key, int stage);

std::string GenerateVertexShader(const ProgramKey& key);
std::string GenerateFragmentShader(const ProgramKey& key);

}  // namespace tarn::d3d9
