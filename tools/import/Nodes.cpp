// Nodes and animation: the model's hierarchy flattened into world transforms, the chosen animation resampled into
// world-space keys, and node names fitted to the format's field. The engine evaluates a node's keys into its
// whole matrix (rotation from the quaternion, the scale on the diagonal, the translation), so keys are taken from
// each moving node's world transform at every sample time: at the model's own key times and on a grid of
// `sampleRate` per second between them, all three lists on the same times, from 0 to the animation's end.
#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/import/Conversion.h"

namespace tarn::import {
namespace {

constexpr double kDefaultTicksPerSecond = 25;  // the parser's convention where a file gives none

// A node transform split as the parser animates it: translation, rotation, scale (M = T R S, column vectors).
struct Parts {
    Vec3d t;
    Quatd r;
    Vec3d s{1, 1, 1};
};

Parts Decompose(const ModelMatrix& m) {
    Parts p;
    p.t = {m[3], m[7], m[11]};
    Mat3 column;  // column-vector rotation and scale
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) column.m[r][c] = m[r * 4 + c];
    }
    // Row-vector form is the transpose: its rows are the columns, their lengths the scale.
    Mat3 rows = Transposed(column);
    double s[3];
    for (int i = 0; i < 3; ++i) s[i] = Length({rows.m[i][0], rows.m[i][1], rows.m[i][2]});
    if (Determinant(rows) < 0) s[0] = -s[0];
    for (int i = 0; i < 3; ++i) {
        const double k = std::fabs(s[i]) > 1e-300 ? 1 / s[i] : 0;
        for (int j = 0; j < 3; ++j) rows.m[i][j] *= k;
    }
    p.s = {s[0], s[1], s[2]};
    p.r = QuatFromRotation(rows);
    if (!Finite(p.t)) p.t = {};
    if (!Finite(p.s)) p.s = {1, 1, 1};
    return p;
}

float ToFloat(double v) { return std::isfinite(v) ? static_cast<float>(std::clamp(v, -3.4e38, 3.4e38)) : 0.0f; }

ModelMatrix Compose(const Parts& p) {
    // Row-vector rotation R; column-vector M = transpose(diag(s) R) plus translation.
    const Mat3 r = RotationFromQuat(p.r);
    const double s[3] = {p.s.x, p.s.y, p.s.z};
    ModelMatrix m = ModelIdentity();
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) m[row * 4 + col] = ToFloat(r.m[col][row] * s[col]);
    }
    m[3] = ToFloat(p.t.x), m[7] = ToFloat(p.t.y), m[11] = ToFloat(p.t.z);
    return m;
}

// One channel's keys cleaned up: finite, in time order.
struct Track {
    std::vector<VectorKey> positions, scales;
    std::vector<QuatKey> rotations;
};

template <typename Key>
std::vector<Key> Cleaned(const std::vector<Key>& keys) {
    std::vector<Key> out;
    out.reserve(keys.size());
    for (const Key& k : keys) {
        bool finite =
            std::isfinite(k.time) && std::isfinite(k.value.x) && std::isfinite(k.value.y) && std::isfinite(k.value.z);
        if constexpr (std::is_same_v<Key, QuatKey>) finite = finite && std::isfinite(k.value.w);
        if (finite) out.push_back(k);
    }
    std::stable_sort(out.begin(), out.end(), [](const Key& a, const Key& b) { return a.time < b.time; });
    return out;
}

Vec3d Lerp(Vec3d a, Vec3d b, double f) { return a + (b - a) * f; }

// The value of a key list at `t`: held before the first key and after the last, stepped or interpolated between.
Vec3d Sample(const std::vector<VectorKey>& keys, double t, Vec3d rest) {
    if (keys.empty()) return rest;
    auto value = [](const VectorKey& k) { return Vec3d{k.value.x, k.value.y, k.value.z}; };
    if (t <= keys.front().time) return value(keys.front());
    if (t >= keys.back().time) return value(keys.back());
    const auto next =
        std::upper_bound(keys.begin(), keys.end(), t, [](double x, const VectorKey& k) { return x < k.time; });
    const VectorKey& a = *(next - 1);
    const VectorKey& b = *next;
    if (a.interpolation == Interpolation::Step || b.time <= a.time) return value(a);
    return Lerp(value(a), value(b), (t - a.time) / (b.time - a.time));
}

Quatd Sample(const std::vector<QuatKey>& keys, double t, Quatd rest) {
    if (keys.empty()) return rest;
    auto value = [](const QuatKey& k) { return Quatd{k.value.x, k.value.y, k.value.z, k.value.w}; };
    if (t <= keys.front().time) return value(keys.front());
    if (t >= keys.back().time) return value(keys.back());
    const auto next =
        std::upper_bound(keys.begin(), keys.end(), t, [](double x, const QuatKey& k) { return x < k.time; });
    const QuatKey& a = *(next - 1);
    const QuatKey& b = *next;
    if (a.interpolation == Interpolation::Step || b.time <= a.time) return value(a);
    return Slerp(value(a), value(b), (t - a.time) / (b.time - a.time));
}

std::string NodeName(const std::vector<ModelNode>& nodes, std::int32_t i) {
    return nodes[i].name.empty() ? "node " + std::to_string(i) : "node '" + nodes[i].name + "'";
}

std::string AnimationName(const ModelAnimation& a, std::size_t i) {
    return a.name.empty() ? "animation " + std::to_string(i) : "animation '" + a.name + "'";
}

// Sample times in ticks: 0, the end, every key time between, a grid of `rate` per second, and just before each
// stepped key (the engine interpolates, so a step needs a key on each side). Deduplicated as the float seconds
// the file stores; too many for `limit` gives a plain grid of `limit`.
std::vector<double> SampleTimes(const std::vector<Track>& tracks, double duration, double tps, double rate,
                                std::size_t limit) {
    std::vector<double> ticks{0, duration};
    const double epsilon = std::max(duration * 1e-6, 1e-9);
    auto add = [&](double t, Interpolation i) {
        if (t > 0 && t < duration) ticks.push_back(t);
        if (i == Interpolation::Step && t - epsilon > 0 && t - epsilon < duration) ticks.push_back(t - epsilon);
    };
    for (const Track& tr : tracks) {
        // A stepped key holds until the next one: the step happens at the next key's time.
        for (std::size_t k = 0; k < tr.positions.size(); ++k)
            add(tr.positions[k].time, k ? tr.positions[k - 1].interpolation : Interpolation::Linear);
        for (std::size_t k = 0; k < tr.rotations.size(); ++k)
            add(tr.rotations[k].time, k ? tr.rotations[k - 1].interpolation : Interpolation::Linear);
        for (std::size_t k = 0; k < tr.scales.size(); ++k)
            add(tr.scales[k].time, k ? tr.scales[k - 1].interpolation : Interpolation::Linear);
        if (ticks.size() > 4 * limit) break;
    }
    // The grid: `rate` a second, or as many as the limit allows for a longer animation.
    const double seconds = duration / tps;
    const double steps = std::min(std::ceil(seconds * rate), static_cast<double>(limit - 1));
    if (rate > 0 && steps >= 1) {
        const auto n = static_cast<std::size_t>(steps);
        for (std::size_t i = 1; i < n; ++i) ticks.push_back(duration * static_cast<double>(i) / static_cast<double>(n));
    }
    auto dedupe = [&](std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        std::vector<double> out;
        float last = -1;
        for (double t : v) {
            const float s = static_cast<float>(t / tps);
            if (out.empty() || s > last) out.push_back(t), last = s;
        }
        v = std::move(out);
    };
    dedupe(ticks);
    if (ticks.size() > limit) {
        ticks.clear();
        const std::size_t n = std::max<std::size_t>(limit, 2) - 1;
        for (std::size_t i = 0; i <= n; ++i)
            ticks.push_back(duration * static_cast<double>(i) / static_cast<double>(n));
        dedupe(ticks);
    }
    return ticks;
}

}  // namespace

Poses ComputePoses(const Model& model, const std::vector<ModelNode>& nodes, const ConvertOptions& options,
                   std::vector<std::string>& warnings) {
    Poses poses;
    const std::size_t count = nodes.size();
    poses.nodes.resize(count);
    const double scale = std::isfinite(options.scale) && options.scale != 0 ? options.scale : 1;
    const Affine root{Scaling(scale), {}};

    std::vector<Affine> local(count);
    for (std::size_t i = 0; i < count; ++i) {
        local[i] = FromModel(nodes[i].transform, options.up);
        if (!Finite(local[i])) {
            warnings.push_back(NodeName(nodes, static_cast<std::int32_t>(i)) +
                               ": its transform is not finite; the identity is used");
            local[i] = Affine{};
        }
        const std::int32_t parent = nodes[i].parent;
        poses.nodes[i].rest = local[i] * (parent >= 0 ? poses.nodes[parent].rest : root);
    }

    const std::size_t animations = model.animations.size();
    if (animations == 0) return poses;
    if (options.animation >= animations) {
        warnings.push_back("--animation " + std::to_string(options.animation) + ": the model has " +
                           std::to_string(animations) + (animations == 1 ? " animation" : " animations") +
                           "; none is written");
        return poses;
    }
    std::size_t listed = 0;
    for (std::size_t i = 0; i < animations; ++i) {
        if (i == options.animation) continue;
        if (++listed <= 16) {
            warnings.push_back(AnimationName(model.animations[i], i) +
                               " dropped (the format holds one animation per node; --animation " + std::to_string(i) +
                               " picks it)");
        }
    }
    if (listed > 16) warnings.push_back(std::to_string(listed - 16) + " more animations dropped");

    const ModelAnimation& anim = model.animations[options.animation];
    const std::string where = AnimationName(anim, options.animation);
    if (anim.meshChannels)
        warnings.push_back(where + ": " + std::to_string(anim.meshChannels) +
                           " vertex or morph channels dropped (the format moves whole nodes)");
    const double tps =
        std::isfinite(anim.ticksPerSecond) && anim.ticksPerSecond > 0 ? anim.ticksPerSecond : kDefaultTicksPerSecond;

    // One track per node: the first channel that moves it.
    std::vector<std::int32_t> trackOf(count, -1);
    std::vector<Track> tracks;
    double lastKey = 0;
    for (const ModelChannel& ch : anim.channels) {
        if (ch.node < 0 || static_cast<std::size_t>(ch.node) >= count) continue;
        if (trackOf[ch.node] >= 0) {
            warnings.push_back(where + ": a second channel for " + NodeName(nodes, ch.node) + " ignored");
            continue;
        }
        Track t{Cleaned(ch.positions), Cleaned(ch.scales), Cleaned(ch.rotations)};
        for (const auto* keys : {&t.positions, &t.scales}) {
            if (!keys->empty()) lastKey = std::max(lastKey, keys->back().time);
        }
        if (!t.rotations.empty()) lastKey = std::max(lastKey, t.rotations.back().time);
        if (t.positions.empty() && t.rotations.empty() && t.scales.empty()) continue;
        trackOf[ch.node] = static_cast<std::int32_t>(tracks.size());
        tracks.push_back(std::move(t));
    }
    if (tracks.empty()) return poses;

    std::vector<Parts> restParts(count);
    std::size_t moving = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::int32_t parent = nodes[i].parent;
        poses.nodes[i].animated = trackOf[i] >= 0 || (parent >= 0 && poses.nodes[parent].animated);
        moving += poses.nodes[i].animated;
        if (trackOf[i] >= 0) restParts[i] = Decompose(nodes[i].transform);
    }

    double duration = std::isfinite(anim.duration) && anim.duration > 0 ? anim.duration : lastKey;
    duration = std::min(duration, 1e12 * tps);  // past that, float seconds cannot tell samples apart
    std::size_t limit =
        std::max<std::size_t>(2, std::min(options.maxKeys, kMaxNodeSamples / std::max<std::size_t>(moving, 1)));
    std::vector<double> ticks =
        duration > 0 ? SampleTimes(tracks, duration, tps, options.sampleRate, limit) : std::vector<double>{0};

    auto localAt = [&](std::size_t i, double t) {
        const std::int32_t k = trackOf[i];
        if (k < 0) return local[i];
        const Track& tr = tracks[k];
        Parts p;
        p.t = Sample(tr.positions, t, restParts[i].t);
        p.r = Sample(tr.rotations, t, restParts[i].r);
        p.s = Sample(tr.scales, t, restParts[i].s);
        Affine a = FromModel(Compose(p), options.up);
        return Finite(a) ? a : local[i];
    };

    // A single sample time (no length to the animation) is a pose, not a motion: it becomes the rest transform.
    if (ticks.size() < 2) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::int32_t parent = nodes[i].parent;
            poses.nodes[i].rest = localAt(i, 0) * (parent >= 0 ? poses.nodes[parent].rest : root);
            poses.nodes[i].animated = false;
        }
        return poses;
    }

    poses.times.reserve(ticks.size());
    for (double t : ticks) poses.times.push_back(t / tps);
    for (std::size_t i = 0; i < count; ++i) {
        if (poses.nodes[i].animated) poses.nodes[i].samples.resize(ticks.size());
    }
    for (std::size_t s = 0; s < ticks.size(); ++s) {
        for (std::size_t i = 0; i < count; ++i) {
            NodePose& pose = poses.nodes[i];
            if (!pose.animated) continue;
            const std::int32_t parent = nodes[i].parent;
            const Affine& above = parent < 0                     ? root
                                  : poses.nodes[parent].animated ? poses.nodes[parent].samples[s]
                                                                 : poses.nodes[parent].rest;
            pose.samples[s] = localAt(i, ticks[s]) * above;
        }
    }
    return poses;
}

bool MakeKeys(const std::vector<double>& times, const std::vector<Affine>& samples, const Affine& local,
              const Mat3& unstretch, trs::TrsNode& node) {
    bool scaleWithRotation = false;
    const std::size_t n = std::min(times.size(), samples.size());
    node.positionKeys.resize(n);
    node.rotationKeys.resize(n);
    node.scaleKeys.resize(n);
    Quatd previous;
    auto f = [](double v) { return std::isfinite(v) ? static_cast<float>(std::clamp(v, -3.4e38, 3.4e38)) : 0.0f; };
    for (std::size_t i = 0; i < n; ++i) {
        const Affine world = local * samples[i];
        const Mat3 a = unstretch * world.linear;
        Mat3 stretch, rotation;
        Vec3d s{1, 1, 1};
        Quatd q;
        if (PolarDecompose(a, &stretch, &rotation)) {
            q = QuatFromRotation(rotation);
            s = {stretch.m[0][0], stretch.m[1][1], stretch.m[2][2]};
            if (!Finite(s)) s = {1, 1, 1};
        }
        // Neighbouring keys on the same side of the quaternion sphere, so each segment turns the short way.
        if (i > 0 && q.x * previous.x + q.y * previous.y + q.z * previous.z + q.w * previous.w < 0)
            q = {-q.x, -q.y, -q.z, -q.w};
        previous = q;
        const bool scaled = std::fabs(s.x - 1) > 1e-4 || std::fabs(s.y - 1) > 1e-4 || std::fabs(s.z - 1) > 1e-4;
        if (scaled && std::fabs(q.w) < 1 - 1e-9) scaleWithRotation = true;
        const float t = static_cast<float>(times[i]);
        const Vec3d p = world.translation;
        node.positionKeys[i] = {t, f(p.x), f(p.y), f(p.z)};
        node.rotationKeys[i] = {t, f(q.x), f(q.y), f(q.z), f(q.w)};
        node.scaleKeys[i] = {t, f(s.x), f(s.y), f(s.z)};
    }
    return scaleWithRotation;
}

std::string NameTable::Fit(const std::string& name, const std::string& fallback) {
    constexpr std::size_t kField = 19;  // the 20-byte field keeps its terminator
    auto clean = [](const std::string& text) {
        std::string out;
        for (char c : text) {
            const auto u = static_cast<unsigned char>(c);
            out += u < 0x20 || u == 0x7f ? '_' : c;
        }
        return out;
    };
    // Cut to `size` bytes, never inside a UTF-8 sequence.
    auto cut = [](std::string text, std::size_t size) {
        if (text.size() <= size) return text;
        std::size_t end = size;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
        text.resize(end);
        return text;
    };
    std::string base = clean(name);
    if (base.empty()) base = clean(fallback);
    if (base.empty()) base = "node";
    std::string fitted = cut(base, kField);
    for (unsigned n = 2; !used_.insert(fitted).second; ++n) {
        std::string suffix(1, '~');  // (a string literal plus a number trips a false -Wrestrict in GCC 12)
        suffix += std::to_string(n);
        fitted = cut(base, kField - suffix.size()) + suffix;
    }
    return fitted;
}

}  // namespace tarn::import
