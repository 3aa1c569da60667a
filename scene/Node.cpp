#include "scene/Node.h"

#include "SceneReader.h"
#include "TransformHelpers.h"

#include <cstring>
#include <new>

namespace {

// Allocates `count` records and reads them; false on allocation failure or a short file.
template <typename Key>
bool ReadKeys(CTRSceneReader& reader, std::int32_t count, std::unique_ptr<Key[]>* keys, float* length) {
    if (count <= 0) return true;
    keys->reset(new (std::nothrow) Key[count]);
    if (!*keys) return false;
    if (!reader.read(keys->get(), sizeof(Key) * static_cast<std::size_t>(count))) return false;
    // The length comes from the first list that has keys, in the order position, rotation, scale.
    if (*length == 0.0f) *length = (*keys)[count - 1].time;
    return true;
}

}  // namespace

CTRNode::CTRNode() {
    std::memset(name, 0, sizeof name);
    TRMatrixIdentity(&matrix);
}

CTRNode::~CTRNode() = default;

void CTRNode::update(float time) {
    if (animation) animation->evaluate(time, &matrix);
}

bool CTRNode::readHeader(CTRSceneReader& reader) {
    if (!reader.read(name, sizeof name) || !reader.readInt(&link1) || !reader.readInt(&link2) ||
        !reader.read(&matrix.m[0][0], 64))
        return false;

    std::int32_t userLength = 0;
    if (!reader.readInt(&userLength) || !reader.checkCount(userLength, 1)) return false;
    if (userLength > 0) {
        userData.reset(new (std::nothrow) std::uint8_t[userLength]);
        if (!userData || !reader.read(userData.get(), static_cast<std::size_t>(userLength))) return false;
    }

    std::int32_t counts[3];
    if (!reader.read(counts, sizeof counts)) return false;
    const std::int32_t nPos = counts[0], nRot = counts[1], nScale = counts[2];
    // Every key list must fit in what is left, all three together, before any of them is allocated.
    if (!reader.checkCount(nPos, 16) || !reader.checkCount(nRot, 20) || !reader.checkCount(nScale, 16))
        return false;
    const std::int64_t keyBytes = 16 * std::int64_t{nPos} + 20 * std::int64_t{nRot} + 16 * std::int64_t{nScale};
    if (!reader.checkCount(keyBytes, 1)) return false;
    if (nPos == 0 && nRot == 0 && nScale == 0) return true;

    animation.reset(new (std::nothrow) CTRAnimation);
    if (!animation) return false;
    animation->positionKeyCount = nPos;
    animation->rotationKeyCount = nRot;
    animation->scaleKeyCount = nScale;
    return ReadKeys(reader, nPos, &animation->positionKeys, &animation->length) &&
           ReadKeys(reader, nRot, &animation->rotationKeys, &animation->length) &&
           ReadKeys(reader, nScale, &animation->scaleKeys, &animation->length);
}
