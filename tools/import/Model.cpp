// The model record's small helpers: the identity transform and the words for each kind of texture map.
#include "tools/import/Model.h"

namespace tarn::import {

ModelMatrix ModelIdentity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

const char* TextureKindName(TextureKind kind) {
    // clang-format off
    static const char* const kNames[] = {
        "diffuse map", "base colour map", "specular map", "ambient map", "emissive map", "height map",
        "normal map", "shininess map", "opacity map", "displacement map", "light map", "reflection map",
        "metal-roughness map", "metalness map", "roughness map", "occlusion map", "sheen map", "clearcoat map",
        "transmission map", "texture map"};
    // clang-format on
    static_assert(sizeof kNames / sizeof kNames[0] == static_cast<std::size_t>(TextureKind::Other) + 1);
    const auto i = static_cast<std::size_t>(kind);
    return i <= static_cast<std::size_t>(TextureKind::Other) ? kNames[i] : "texture map";
}

}  // namespace tarn::import
