// Materials: the model's materials as D3DMATERIAL9 records, what they ask of the mesh nodes' render states, and
// the plan of the one texture each gets. The engine draws a mesh whose texture index is -1 with whatever texture
// the previous mesh left bound, and samples the texture's alpha rather than the material's, so every material
// gets an image: its own base colour map, or else a small plain one carrying its opacity.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>
#include <tuple>
#include <unordered_set>

#include "tools/import/Conversion.h"

namespace tarn::import {
namespace {

// D3DBLEND and D3DCULL values for the render-state bytes.
constexpr std::uint8_t kBlendOne = 2, kBlendSrcAlpha = 5, kBlendInvSrcAlpha = 6;
constexpr std::uint8_t kCullNone = 1, kCullCcw = 3;
constexpr std::size_t kMaxFileName = 255;  // a texture name record holds 255 characters and a terminator

float Unit(float v, float fallback) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : fallback; }
float Finite(float v, float fallback) { return std::isfinite(v) ? std::clamp(v, -1e30f, 1e30f) : fallback; }

std::string Describe(const ModelMaterial& m, std::size_t index) {
    return m.name.empty() ? "material " + std::to_string(index) : "material '" + m.name + "'";
}

bool IsBaseMap(const ModelTextureRef& t) {
    return (t.kind == TextureKind::Diffuse || t.kind == TextureKind::BaseColour) &&
           (!t.path.empty() || t.embedded >= 0);
}

bool SameSource(const ModelTextureRef& a, const ModelTextureRef& b) {
    return a.embedded >= 0 || b.embedded >= 0 ? a.embedded == b.embedded : a.path == b.path;
}

// The last component of a path given with either separator.
std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Stem(const std::string& file) {
    const std::size_t dot = file.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? file : file.substr(0, dot);
}

std::string Extension(const std::string& file) {
    const std::size_t dot = file.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return "";
    std::string ext = file.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// File names stay portable: letters, digits, '-', '_' and '.' (not first).
std::string Sanitised(const std::string& text) {
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out += std::isalnum(u) || c == '-' || c == '_' || (c == '.' && !out.empty()) ? c : '_';
    }
    return out;
}

// Output names, unique without regard to case (the engine's file layer matches names that way).
class FileNames {
public:
    explicit FileNames(std::string prefix) : prefix_(Sanitised(prefix).substr(0, 120)) {
        if (prefix_.empty()) prefix_ = "model";
    }
    std::string Make(const std::string& stem, const std::string& extension) {
        std::string ext;
        if (!extension.empty()) ext.append(1, '.').append(Sanitised(extension.substr(1)).substr(0, 15));
        std::string base = prefix_ + "_" + (stem.empty() ? std::string("image") : Sanitised(stem));
        base = base.substr(0, kMaxFileName - ext.size() - 8);
        for (unsigned n = 1;; ++n) {
            const std::string name = n == 1 ? base + ext : base + "-" + std::to_string(n) + ext;
            std::string folded = name;
            for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (taken_.insert(folded).second) return name;
        }
    }

private:
    std::string prefix_;
    std::unordered_set<std::string> taken_;
};

std::uint8_t AlphaByte(float opacity) { return static_cast<std::uint8_t>(std::lround(Unit(opacity, 1) * 255)); }

}  // namespace

trs::TrsMaterial DefaultMaterial() {
    trs::TrsMaterial m;
    m.diffuse = {0.8f, 0.8f, 0.8f, 1};
    m.ambient = {0.8f, 0.8f, 0.8f, 1};
    m.specular = {0, 0, 0, 1};
    m.emissive = {0, 0, 0, 0};
    m.power = 0;
    return m;
}

trs::TrsMaterial BuildMaterial(const ModelMaterial& in) {
    trs::TrsMaterial m = DefaultMaterial();
    if (in.hasDiffuse) m.diffuse = {Unit(in.diffuse.r, 1), Unit(in.diffuse.g, 1), Unit(in.diffuse.b, 1), 1};
    const float alpha = (in.hasDiffuse ? Unit(in.diffuse.a, 1) : 1) * Unit(in.opacity, 1);
    m.diffuse[3] = alpha;
    m.ambient = in.hasAmbient
                    ? std::array<float, 4>{Unit(in.ambient.r, 0), Unit(in.ambient.g, 0), Unit(in.ambient.b, 0), 1}
                    : std::array<float, 4>{m.diffuse[0], m.diffuse[1], m.diffuse[2], 1};
    if (in.hasSpecular) {
        const float k = std::max(0.0f, Finite(in.specularStrength, 1));
        m.specular = {Finite(in.specular.r * k, 0), Finite(in.specular.g * k, 0), Finite(in.specular.b * k, 0), 1};
    }
    m.emissive = {std::max(0.0f, Finite(in.emissive.r, 0)), std::max(0.0f, Finite(in.emissive.g, 0)),
                  std::max(0.0f, Finite(in.emissive.b, 0)), 0};
    m.power = std::max(0.0f, Finite(in.shininess, 0));
    return m;
}

MaterialLook LookOf(const ModelMaterial& m, bool imageTranslucent) {
    MaterialLook look;
    const bool faded = Unit(m.opacity, 1) < 1 || (m.hasDiffuse && Unit(m.diffuse.a, 1) < 1);
    look.additive = m.additive;
    look.blend = m.additive || faded || m.alphaMode == AlphaMode::Blend || m.alphaMode == AlphaMode::Mask ||
                 (m.alphaMode == AlphaMode::Unspecified && imageTranslucent);
    look.twoSided = m.twoSided;
    return look;
}

void ApplyLook(const MaterialLook& look, trs::TrsMeshNode& node) {
    if (look.blend) {
        node.alphaBlendEnable = 1;
        node.srcBlend = kBlendSrcAlpha;
        node.destBlend = look.additive ? kBlendOne : kBlendInvSrcAlpha;
        node.zWriteEnable = 0;  // what lies behind a translucent surface still draws
    }
    node.cullMode = look.twoSided ? kCullNone : kCullCcw;
}

TexturePlan PlanTextures(const Model& model, const ConvertOptions& options) {
    TexturePlan plan;
    FileNames names(options.name);
    const std::size_t materials = model.materials.size();
    plan.imageJob.assign(materials, -1);
    plan.solidJob.assign(materials, -1);

    // Jobs are shared by materials that ask for the same image with the same alpha.
    std::map<std::tuple<int, std::string, std::int32_t, bool, std::uint8_t>, std::int32_t> images;
    std::map<std::uint8_t, std::int32_t> solids;
    auto solidJob = [&](std::uint8_t alpha) {
        const auto it = solids.find(alpha);
        if (it != solids.end()) return it->second;
        TextureJob job;
        job.source = TextureJob::Source::Solid;
        job.solid = {1, 1, 1, alpha / 255.0f};
        job.opacity = alpha / 255.0f;
        job.output = names.Make(alpha == 255 ? "white" : "alpha" + std::to_string(alpha), ".dds");
        const auto index = static_cast<std::int32_t>(plan.jobs.size());
        plan.jobs.push_back(std::move(job));
        solids.emplace(alpha, index);
        return index;
    };

    for (std::size_t i = 0; i < materials; ++i) {
        const ModelMaterial& m = model.materials[i];
        const std::string where = Describe(m, i);
        const float opacity = Unit(m.opacity, 1) * (m.hasDiffuse ? Unit(m.diffuse.a, 1) : 1);
        const bool opaque = m.alphaMode == AlphaMode::Opaque && !m.additive;
        plan.solidJob[i] = solidJob(opaque ? 255 : AlphaByte(opacity));
        if (m.alphaMode == AlphaMode::Mask)
            plan.warnings.push_back(where + ": alpha cutoff written as alpha blending (the format has no alpha test)");

        const ModelTextureRef* base = nullptr;
        for (const ModelTextureRef& t : m.textures) {
            if (IsBaseMap(t)) {
                base = &t;
                break;
            }
        }
        for (const ModelTextureRef& t : m.textures) {
            if (&t == base || (base && SameSource(t, *base))) continue;
            const std::string named =
                t.embedded >= 0 ? "embedded image " + std::to_string(t.embedded) : "'" + t.path + "'";
            plan.warnings.push_back(where + ": " + TextureKindName(t.kind) + " " + named +
                                    " dropped (the format holds one texture per material)");
        }
        if (!base) continue;
        if (base->uvSet != 0)
            plan.warnings.push_back(where + ": its " + TextureKindName(base->kind) + " reads texture-coordinate set " +
                                    std::to_string(base->uvSet) + "; the first set is used");
        if (options.keepImages && opacity < 1)
            plan.warnings.push_back(where + ": opacity not applied to its kept image");

        const bool embedded = base->embedded >= 0;
        const auto key = std::make_tuple(embedded ? 1 : 0, embedded ? std::string() : base->path, base->embedded,
                                         opaque, opaque ? std::uint8_t{255} : AlphaByte(opacity));
        const auto found = images.find(key);
        if (found != images.end()) {
            plan.imageJob[i] = found->second;
            continue;
        }
        TextureJob job;
        job.source = embedded ? TextureJob::Source::Embedded : TextureJob::Source::File;
        job.path = base->path;
        job.embedded = base->embedded;
        job.opaque = opaque;
        job.opacity = opacity;
        std::string stem, ext = ".dds";
        if (embedded) {
            const ModelTexture& t = model.textures[base->embedded];
            stem = t.name.empty() ? "image" + std::to_string(base->embedded) : Stem(BaseName(t.name));
            if (options.keepImages) {
                ext = t.height != 0 ? ".png" : "." + (t.formatHint.empty() ? std::string("img") : t.formatHint);
            }
        } else {
            stem = Stem(BaseName(base->path));
            if (options.keepImages) ext = Extension(BaseName(base->path));
        }
        job.output = names.Make(stem, ext.empty() ? ".img" : ext);
        const auto index = static_cast<std::int32_t>(plan.jobs.size());
        plan.jobs.push_back(std::move(job));
        images.emplace(key, index);
        plan.imageJob[i] = index;
    }
    plan.defaultSolidJob = solidJob(255);
    return plan;
}

}  // namespace tarn::import
