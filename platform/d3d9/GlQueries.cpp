// The OpenGL backend's queries: a fence for an event (and for when a disjoint bracket has been passed),
// GL_SAMPLES_PASSED between Begin and End for occlusion, glQueryCounter(GL_TIMESTAMP) for a timestamp, and the
// fixed frequency of GL's nanosecond clock.
#include <cstdint>

#include "GlApi.h"
#include "GlContext.h"
#include "GlQueries.h"

namespace tarn::d3d9 {
namespace {

constexpr std::uint64_t kNanosecondsPerSecond = 1000000000;

// A fence set at End: passed once the GPU has finished every command before it.
class Fence {
public:
    ~Fence() { Drop(); }
    void Set() {
        Drop();
        sync_ = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    }
    bool Passed(bool flush) {
        if (!sync_) return false;
        const GLenum status = glClientWaitSync(sync_, flush ? GL_SYNC_FLUSH_COMMANDS_BIT : 0, 0);
        return status == GL_ALREADY_SIGNALED || status == GL_CONDITION_SATISFIED;
    }

private:
    void Drop() {
        if (sync_) glDeleteSync(sync_);
        sync_ = nullptr;
    }
    GLsync sync_ = nullptr;
};

// A GL query object whose result is read once available.
class QueryObject {
public:
    QueryObject() { glGenQueries(1, &name_); }
    ~QueryObject() { glDeleteQueries(1, &name_); }
    GLuint name() const { return name_; }
    bool Ready(bool flush) const {
        if (flush) glFlush();
        GLuint available = GL_FALSE;
        glGetQueryObjectuiv(name_, GL_QUERY_RESULT_AVAILABLE, &available);
        return available == GL_TRUE;
    }
    std::uint64_t Value() const {
        GLuint64 value = 0;
        glGetQueryObjectui64v(name_, GL_QUERY_RESULT, &value);
        return value;
    }

private:
    GLuint name_ = 0;
};

class GlQuery : public GpuQuery {
public:
    explicit GlQuery(GlQueryContext& shared) : shared_(shared) { shared_.context->MakeCurrent(); }

protected:
    void Current() { shared_.context->MakeCurrent(); }
    GlQueryContext& shared_;
};

class EventQuery final : public GlQuery {
public:
    using GlQuery::GlQuery;
    ~EventQuery() override { Current(); }
    void Begin() override {}
    void End() override {
        Current();
        fence_.Set();
    }
    bool Result(void* data, bool flush) override {
        Current();
        if (!fence_.Passed(flush)) return false;
        *static_cast<BOOL*>(data) = TRUE;
        return true;
    }

private:
    Fence fence_;
};

// Samples that pass the depth and stencil tests between Begin and End. Beginning while another occlusion query
// counts ends that one there, since GL counts for one query at a time.
class OcclusionQuery final : public GlQuery {
public:
    using GlQuery::GlQuery;
    ~OcclusionQuery() override {
        Current();
        if (shared_.counting == this) Stop();
    }
    void Begin() override {
        Current();
        if (shared_.counting) static_cast<OcclusionQuery*>(shared_.counting)->Stop();
        glBeginQuery(GL_SAMPLES_PASSED, query_.name());
        shared_.counting = this;
    }
    // An End without a Begin counts nothing: an empty bracket.
    void End() override {
        if (shared_.counting != this) Begin();
        Current();
        Stop();
    }
    bool Result(void* data, bool flush) override {
        Current();
        if (!query_.Ready(flush)) return false;
        *static_cast<DWORD*>(data) = static_cast<DWORD>(query_.Value());
        return true;
    }

private:
    void Stop() {
        glEndQuery(GL_SAMPLES_PASSED);
        shared_.counting = nullptr;
    }
    QueryObject query_;
};

// The GPU's clock, in nanoseconds, when it reaches End.
class TimestampQuery final : public GlQuery {
public:
    using GlQuery::GlQuery;
    ~TimestampQuery() override { Current(); }
    void Begin() override {}
    void End() override {
        Current();
        glQueryCounter(query_.name(), GL_TIMESTAMP);
    }
    bool Result(void* data, bool flush) override {
        Current();
        if (!query_.Ready(flush)) return false;
        *static_cast<ULONGLONG*>(data) = query_.Value();
        return true;
    }

private:
    QueryObject query_;
};

// The frequency of the timestamps (GL's are nanoseconds: fixed), or whether the clock jumped between Begin and
// End of a disjoint bracket: GL's timestamp is one continuous counter, so never; either is ready once the GPU
// has passed End.
class ClockQuery final : public GlQuery {
public:
    ClockQuery(GlQueryContext& shared, bool frequency) : GlQuery(shared), frequency_(frequency) {}
    ~ClockQuery() override { Current(); }
    void Begin() override {}
    void End() override {
        Current();
        fence_.Set();
    }
    bool Result(void* data, bool flush) override {
        Current();
        if (!fence_.Passed(flush)) return false;
        if (frequency_) {
            *static_cast<ULONGLONG*>(data) = kNanosecondsPerSecond;
        } else {
            *static_cast<BOOL*>(data) = FALSE;
        }
        return true;
    }

private:
    Fence fence_;
    bool frequency_;
};

}  // namespace

bool GlQuerySupported(D3DQUERYTYPE type, int timestampBits) {
    switch (type) {
    case D3DQUERYTYPE_EVENT:
    case D3DQUERYTYPE_OCCLUSION:
        return true;
    case D3DQUERYTYPE_TIMESTAMP:
    case D3DQUERYTYPE_TIMESTAMPFREQ:
    case D3DQUERYTYPE_TIMESTAMPDISJOINT:
        return timestampBits > 0;
    default:
        return false;
    }
}

std::unique_ptr<GpuQuery> CreateGlQuery(GlQueryContext& shared, D3DQUERYTYPE type) {
    switch (type) {
    case D3DQUERYTYPE_EVENT:
        return std::make_unique<EventQuery>(shared);
    case D3DQUERYTYPE_OCCLUSION:
        return std::make_unique<OcclusionQuery>(shared);
    case D3DQUERYTYPE_TIMESTAMP:
        return std::make_unique<TimestampQuery>(shared);
    case D3DQUERYTYPE_TIMESTAMPFREQ:
        return std::make_unique<ClockQuery>(shared, true);
    case D3DQUERYTYPE_TIMESTAMPDISJOINT:
        return std::make_unique<ClockQuery>(shared, false);
    default:
        return nullptr;
    }
}

}  // namespace tarn::d3d9
