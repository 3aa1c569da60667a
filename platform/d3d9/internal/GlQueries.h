// The OpenGL backend's queries (GlQueries.cpp): events are fences, occlusion counts GL_SAMPLES_PASSED, timestamps
// come from glQueryCounter(GL_TIMESTAMP) in nanoseconds. Each call makes the backend's context current first.
#pragma once

#include <memory>

#include "platform/d3d9/D3D9.h"
#include "Renderer.h"

namespace tarn::d3d9 {

class GlContext;

// What the queries of one backend share: its context, and the occlusion query now counting (GL counts samples
// for one query at a time).
struct GlQueryContext {
    GlContext* context = nullptr;
    GpuQuery* counting = nullptr;
};

// Whether the backend answers `type`, given the bits of the driver's timestamp counter (0: it has none).
bool GlQuerySupported(D3DQUERYTYPE type, int timestampBits);
// A new query of a supported `type`; it must not outlive `shared`.
std::unique_ptr<GpuQuery> CreateGlQuery(GlQueryContext& shared, D3DQUERYTYPE type);

}  // namespace tarn::d3d9
