// The parser step: Assimp's scene into the model record. Only copies and counts; every judgement (what to warn
// about, what the engine can draw) is the conversion's, which reads the record alone. The library's structures
// are walked defensively (null arrays, indices past their lists, cycles in the node graph), since this code runs
// on whatever the library made of a hostile file.
#include "tools/import/AssimpReader.h"

#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace tarn::import {
namespace {

static_assert(sizeof(aiVector3D) == sizeof(Vec3), "positions and normals are copied as blocks");

constexpr unsigned kMaxDepth = 4096;  // deeper node graphs are cut there (the conversion walks them too)

std::string Text(const aiString& s) { return std::string(s.C_Str(), s.length < MAXLEN ? s.length : 0); }

Colour ColourOf(const aiColor4D& c) { return {c.r, c.g, c.b, c.a}; }
Colour ColourOf(const aiColor3D& c) { return {c.r, c.g, c.b, 1}; }
Vec3 VecOf(const aiVector3D& v) { return {v.x, v.y, v.z}; }

ModelMatrix MatrixOf(const aiMatrix4x4& m) {
    return {m.a1, m.a2, m.a3, m.a4, m.b1, m.b2, m.b3, m.b4, m.c1, m.c2, m.c3, m.c4, m.d1, m.d2, m.d3, m.d4};
}

void CopyMesh(const aiMesh& in, unsigned materials, ModelMesh& out) {
    out.name = Text(in.mName);
    out.material = in.mMaterialIndex < materials ? static_cast<std::int32_t>(in.mMaterialIndex) : -1;
    const unsigned n = in.mVertices ? in.mNumVertices : 0;
    out.positions.resize(n);
    if (n) std::memcpy(static_cast<void*>(out.positions.data()), in.mVertices, n * sizeof(Vec3));
    if (n && in.mNormals) {
        out.normals.resize(n);
        std::memcpy(static_cast<void*>(out.normals.data()), in.mNormals, n * sizeof(Vec3));
    }
    if (n && in.mTextureCoords[0]) {
        out.uvs.resize(n);
        const aiVector3D* uv = in.mTextureCoords[0];
        for (unsigned i = 0; i < n; ++i) out.uvs[i] = {uv[i].x, uv[i].y};
    }
    for (unsigned set = 1; set < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++set)
        out.extraUvSets += in.mTextureCoords[set] != nullptr;
    for (unsigned set = 0; set < AI_MAX_NUMBER_OF_COLOR_SETS; ++set) out.colourSets += in.mColors[set] != nullptr;
    out.bones = in.mBones ? in.mNumBones : 0;
    out.morphTargets = in.mAnimMeshes ? in.mNumAnimMeshes : 0;

    const unsigned faces = in.mFaces ? in.mNumFaces : 0;
    out.indices.reserve(static_cast<std::size_t>(faces) * 3);
    for (unsigned f = 0; f < faces; ++f) {
        const aiFace& face = in.mFaces[f];
        if (face.mNumIndices == 3 && face.mIndices && face.mIndices[0] < n && face.mIndices[1] < n &&
            face.mIndices[2] < n) {
            out.indices.insert(out.indices.end(), face.mIndices, face.mIndices + 3);
        } else if (face.mNumIndices == 1) {
            ++out.points;
        } else if (face.mNumIndices == 2) {
            ++out.lines;
        } else if (face.mNumIndices != 0) {
            ++out.polygons;  // more corners than a triangle, or corners past the vertices
        }
    }
}

TextureKind KindOf(aiTextureType type, bool pbr) {
    switch (type) {
    case aiTextureType_DIFFUSE:
        return TextureKind::Diffuse;
    case aiTextureType_BASE_COLOR:
        return TextureKind::BaseColour;
    case aiTextureType_SPECULAR:
        return TextureKind::Specular;
    case aiTextureType_AMBIENT:
        return TextureKind::Ambient;
    case aiTextureType_EMISSIVE:
    case aiTextureType_EMISSION_COLOR:
        return TextureKind::Emissive;
    case aiTextureType_HEIGHT:
        return TextureKind::Height;
    case aiTextureType_NORMALS:
    case aiTextureType_NORMAL_CAMERA:
        return TextureKind::Normals;
    case aiTextureType_SHININESS:
        return TextureKind::Shininess;
    case aiTextureType_OPACITY:
        return TextureKind::Opacity;
    case aiTextureType_DISPLACEMENT:
        return TextureKind::Displacement;
    case aiTextureType_LIGHTMAP:
        return TextureKind::Lightmap;
    case aiTextureType_REFLECTION:
        return TextureKind::Reflection;
    case aiTextureType_METALNESS:
        return TextureKind::Metalness;
    case aiTextureType_DIFFUSE_ROUGHNESS:
        return TextureKind::Roughness;
    case aiTextureType_AMBIENT_OCCLUSION:
        return TextureKind::Occlusion;
    case aiTextureType_SHEEN:
        return TextureKind::Sheen;
    case aiTextureType_CLEARCOAT:
        return TextureKind::Clearcoat;
    case aiTextureType_TRANSMISSION:
        return TextureKind::Transmission;
    // glTF's combined metal-roughness map comes as the unknown kind.
    case aiTextureType_UNKNOWN:
        return pbr ? TextureKind::MetalRoughness : TextureKind::Other;
    default:
        return TextureKind::Other;
    }
}

// The embedded image a texture path names: "*N", or the file name of one of the scene's images.
std::int32_t EmbeddedIndex(const aiScene& scene, const std::string& path) {
    const unsigned count = scene.mTextures ? scene.mNumTextures : 0;
    if (!path.empty() && path[0] == '*') {
        char* end = nullptr;
        const long index = std::strtol(path.c_str() + 1, &end, 10);
        return end != path.c_str() + 1 && *end == 0 && index >= 0 && index < static_cast<long>(count)
                   ? static_cast<std::int32_t>(index)
                   : -1;
    }
    auto shortName = [](std::string_view p) {
        const std::size_t slash = p.find_last_of("/\\");
        return slash == std::string_view::npos ? p : p.substr(slash + 1);
    };
    const std::string_view wanted = shortName(path);
    if (wanted.empty()) return -1;
    for (unsigned i = 0; i < count; ++i) {
        const aiTexture* t = scene.mTextures[i];
        if (t && shortName(t->mFilename.C_Str()) == wanted) return static_cast<std::int32_t>(i);
    }
    return -1;
}

void CopyMaterial(const aiScene& scene, const aiMaterial& in, ModelMaterial& out) {
    aiString name;
    if (in.Get(AI_MATKEY_NAME, name) == AI_SUCCESS) out.name = Text(name);
    aiColor4D c;
    if (in.Get(AI_MATKEY_BASE_COLOR, c) == AI_SUCCESS || in.Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS)
        out.hasDiffuse = true, out.diffuse = ColourOf(c);
    if (in.Get(AI_MATKEY_COLOR_AMBIENT, c) == AI_SUCCESS) out.hasAmbient = true, out.ambient = ColourOf(c);
    if (in.Get(AI_MATKEY_COLOR_SPECULAR, c) == AI_SUCCESS) out.hasSpecular = true, out.specular = ColourOf(c);
    if (in.Get(AI_MATKEY_COLOR_EMISSIVE, c) == AI_SUCCESS) out.emissive = ColourOf(c);
    float f = 0;
    if (in.Get(AI_MATKEY_SHININESS, f) == AI_SUCCESS) out.shininess = f;
    if (in.Get(AI_MATKEY_SHININESS_STRENGTH, f) == AI_SUCCESS) out.specularStrength = f;
    if (in.Get(AI_MATKEY_OPACITY, f) == AI_SUCCESS) out.opacity = f;
    int i = 0;
    if (in.Get(AI_MATKEY_TWOSIDED, i) == AI_SUCCESS) out.twoSided = i != 0;
    if (in.Get(AI_MATKEY_BLEND_FUNC, i) == AI_SUCCESS) out.additive = i == aiBlendMode_Additive;
    aiString mode;
    if (in.Get("$mat.gltf.alphaMode", 0, 0, mode) == AI_SUCCESS) {
        const std::string m = Text(mode);
        out.alphaMode = m == "BLEND" ? AlphaMode::Blend : m == "MASK" ? AlphaMode::Mask : AlphaMode::Opaque;
    }
    const bool pbr = in.Get(AI_MATKEY_METALLIC_FACTOR, f) == AI_SUCCESS;

    for (int type = aiTextureType_DIFFUSE; type <= AI_TEXTURE_TYPE_MAX; ++type) {
        const auto t = static_cast<aiTextureType>(type);
        const unsigned count = in.GetTextureCount(t);
        for (unsigned k = 0; k < count; ++k) {
            aiString path;
            unsigned uvSet = 0;
            if (in.GetTexture(t, k, &path, nullptr, &uvSet) != AI_SUCCESS) continue;
            ModelTextureRef ref;
            ref.kind = KindOf(t, pbr);
            ref.path = Text(path);
            ref.embedded = EmbeddedIndex(scene, ref.path);
            ref.uvSet = uvSet;
            out.textures.push_back(std::move(ref));
        }
    }
}

void CopyTexture(const aiTexture& in, ModelTexture& out) {
    out.name = Text(in.mFilename);
    out.formatHint.assign(in.achFormatHint, strnlen(in.achFormatHint, sizeof in.achFormatHint));
    if (!in.pcData) return;
    out.width = in.mWidth;
    out.height = in.mHeight;
    const std::size_t size = in.mHeight == 0 ? in.mWidth : static_cast<std::size_t>(in.mWidth) * in.mHeight * 4;
    out.bytes.resize(size);
    std::memcpy(out.bytes.data(), in.pcData, size);
}

// Nodes depth first, parents before children, each node at most once.
void CopyNodes(const aiNode* root, unsigned meshes, Model& model) {
    struct Pending {
        const aiNode* node;
        std::int32_t parent;
        unsigned depth;
    };
    std::vector<Pending> stack{{root, -1, 0}};
    std::unordered_set<const aiNode*> seen;
    while (!stack.empty()) {
        const Pending p = stack.back();
        stack.pop_back();
        if (!p.node || p.depth > kMaxDepth || !seen.insert(p.node).second) continue;
        ModelNode node;
        node.name = Text(p.node->mName);
        node.parent = p.parent;
        node.transform = MatrixOf(p.node->mTransformation);
        if (p.node->mMeshes) {
            for (unsigned i = 0; i < p.node->mNumMeshes; ++i) {
                if (p.node->mMeshes[i] < meshes) node.meshes.push_back(p.node->mMeshes[i]);
            }
        }
        const auto self = static_cast<std::int32_t>(model.nodes.size());
        model.nodes.push_back(std::move(node));
        if (!p.node->mChildren) continue;
        for (unsigned i = p.node->mNumChildren; i-- > 0;) stack.push_back({p.node->mChildren[i], self, p.depth + 1});
    }
}

template <typename Key, typename Out>
void CopyKeys(const Key* keys, unsigned count, std::vector<Out>& out) {
    if (!keys) return;
    out.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        out[i].time = keys[i].mTime;
        if constexpr (std::is_same_v<Out, QuatKey>) {
            out[i].value = {keys[i].mValue.x, keys[i].mValue.y, keys[i].mValue.z, keys[i].mValue.w};
        } else {
            out[i].value = VecOf(keys[i].mValue);
        }
    }
}

}  // namespace

unsigned ParserSteps() { return aiProcess_Triangulate | aiProcess_JoinIdenticalVertices; }

void ConfigureImporter(Assimp::Importer& importer) {
    // Bone hierarchies without meshes would otherwise come with made-up stick-figure meshes.
    importer.SetPropertyBool(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, true);
    importer.SetPropertyBool(AI_CONFIG_IMPORT_FBX_PRESERVE_PIVOTS, false);
}

void ModelFromScene(const aiScene& scene, Model& model) {
    model = Model{};
    const unsigned materials = scene.mMaterials ? scene.mNumMaterials : 0;
    const unsigned meshes = scene.mMeshes ? scene.mNumMeshes : 0;
    model.meshes.resize(meshes);
    for (unsigned i = 0; i < meshes; ++i) {
        if (scene.mMeshes[i]) CopyMesh(*scene.mMeshes[i], materials, model.meshes[i]);
    }
    model.materials.resize(materials);
    for (unsigned i = 0; i < materials; ++i) {
        if (scene.mMaterials[i]) CopyMaterial(scene, *scene.mMaterials[i], model.materials[i]);
    }
    const unsigned textures = scene.mTextures ? scene.mNumTextures : 0;
    model.textures.resize(textures);
    for (unsigned i = 0; i < textures; ++i) {
        if (scene.mTextures[i]) CopyTexture(*scene.mTextures[i], model.textures[i]);
    }
    CopyNodes(scene.mRootNode, meshes, model);

    // Cameras, lights and animation channels name their nodes; the first node of a name is the one (as the
    // library's own FindNode does).
    std::unordered_map<std::string, std::int32_t> byName;
    for (std::size_t i = model.nodes.size(); i-- > 0;) byName[model.nodes[i].name] = static_cast<std::int32_t>(i);
    auto nodeOf = [&](const aiString& name) {
        const auto it = byName.find(Text(name));
        return it == byName.end() ? -1 : it->second;
    };
    // The library's glTF 2 reader (5.2) also copies a camera node's translation into the camera's position,
    // which is relative to that node: the camera would sit twice as far out. That copy is taken out again.
    aiString format;
    const bool gltf2 =
        scene.mMetaData && scene.mMetaData->Get("SourceAsset_Format", format) && Text(format) == "glTF2 Importer";
    for (unsigned i = 0; scene.mCameras && i < scene.mNumCameras; ++i) {
        const aiCamera* in = scene.mCameras[i];
        if (!in) continue;
        ModelCamera c;
        c.name = Text(in->mName);
        c.node = nodeOf(in->mName);
        c.position = VecOf(in->mPosition);
        if (gltf2 && c.node >= 0) {
            const ModelMatrix& m = model.nodes[c.node].transform;
            if (c.position.x == m[3] && c.position.y == m[7] && c.position.z == m[11]) c.position = {};
        }
        c.lookAt = VecOf(in->mLookAt);
        c.up = VecOf(in->mUp);
        c.horizontalFov = in->mHorizontalFOV;
        c.aspect = in->mAspect;
        c.nearPlane = in->mClipPlaneNear;
        c.farPlane = in->mClipPlaneFar;
        c.orthographicWidth = in->mOrthographicWidth;
        model.cameras.push_back(std::move(c));
    }
    for (unsigned i = 0; scene.mLights && i < scene.mNumLights; ++i) {
        const aiLight* in = scene.mLights[i];
        if (!in) continue;
        ModelLight l;
        l.name = Text(in->mName);
        l.node = nodeOf(in->mName);
        const unsigned type = static_cast<unsigned>(in->mType);
        l.kind = type <= static_cast<unsigned>(LightKind::Area) ? static_cast<LightKind>(type) : LightKind::Undefined;
        l.position = VecOf(in->mPosition);
        l.direction = VecOf(in->mDirection);
        l.diffuse = ColourOf(in->mColorDiffuse);
        l.specular = ColourOf(in->mColorSpecular);
        l.ambient = ColourOf(in->mColorAmbient);
        l.attenuation0 = in->mAttenuationConstant;
        l.attenuation1 = in->mAttenuationLinear;
        l.attenuation2 = in->mAttenuationQuadratic;
        l.innerCone = in->mAngleInnerCone;
        l.outerCone = in->mAngleOuterCone;
        model.lights.push_back(std::move(l));
    }
    for (unsigned i = 0; scene.mAnimations && i < scene.mNumAnimations; ++i) {
        const aiAnimation* in = scene.mAnimations[i];
        if (!in) continue;
        ModelAnimation a;
        a.name = Text(in->mName);
        a.duration = in->mDuration;
        a.ticksPerSecond = in->mTicksPerSecond;
        a.meshChannels =
            (in->mMeshChannels ? in->mNumMeshChannels : 0) + (in->mMorphMeshChannels ? in->mNumMorphMeshChannels : 0);
        for (unsigned k = 0; in->mChannels && k < in->mNumChannels; ++k) {
            const aiNodeAnim* ch = in->mChannels[k];
            if (!ch) continue;
            ModelChannel c;
            c.node = nodeOf(ch->mNodeName);
            if (c.node < 0) continue;  // moves no node of the scene
            CopyKeys(ch->mPositionKeys, ch->mNumPositionKeys, c.positions);
            CopyKeys(ch->mRotationKeys, ch->mNumRotationKeys, c.rotations);
            CopyKeys(ch->mScalingKeys, ch->mNumScalingKeys, c.scales);
            a.channels.push_back(std::move(c));
        }
        model.animations.push_back(std::move(a));
    }
}

bool ReadModelFile(const std::string& path, Model& model, std::string* error) {
    Assimp::Importer importer;
    ConfigureImporter(importer);
    const aiScene* scene = importer.ReadFile(path, ParserSteps());
    if (!scene) {
        const std::string why = importer.GetErrorString();
        if (error) *error = why.empty() ? "the parser refuses the file" : why;
        return false;
    }
    if (!scene->mRootNode && scene->mNumMeshes == 0) {
        if (error) *error = "the parser found nothing in the file";
        return false;
    }
    ModelFromScene(*scene, model);
    return true;
}

}  // namespace tarn::import
