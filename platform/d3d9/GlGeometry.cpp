// Vertex input of the GL backend. Buffers are sent whole when first used and then only the byte range written
// since; user-pointer draws stream through two buffers of our own. Attribute locations follow the generated
// programs (VertexInput): 0 position, 1 normal, 2 diffuse, 3 specular, 4 + i texture coordinate set i, 12 blend
// weights, 13 blend indices, 14 point size. Each D3DDECLTYPE is fetched as GL converts it (kFetch).
#include "GlGeometry.h"

#include <bit>
#include <cassert>
#include <cstdint>
#include <iterator>

#include "ResourceObjects.h"

namespace tarn::d3d9 {

GlGeometry::GlGeometry(GlState& gl) : gl_(gl) {
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &upVertices_);
    glGenBuffers(1, &upIndices_);
}

GlGeometry::~GlGeometry() {
    for (auto& [resource, name] : buffers_) glDeleteBuffers(1, &name);
    glDeleteBuffers(1, &upVertices_);
    glDeleteBuffers(1, &upIndices_);
    glDeleteVertexArrays(1, &vao_);
}

namespace {

// How GL fetches each D3DDECLTYPE, FLOAT1 to FLOAT16_4. D3DCOLOR reads bytes B, G, R, A as red, green, blue,
// alpha (GL_BGRA); the signed normalised types are fetched as integers and divided in the program, since GL's
// rule for them has changed between versions and Direct3D's maps both -32768 and -32767 to -1; the 10-bit
// triples get their w of 1 in the program too.
struct Fetch {
    GLint size;
    GLenum type;
    bool normalized;
};
constexpr Fetch kFetch[] = {
    {1, GL_FLOAT, false},                        // D3DDECLTYPE_FLOAT1
    {2, GL_FLOAT, false},                        // D3DDECLTYPE_FLOAT2
    {3, GL_FLOAT, false},                        // D3DDECLTYPE_FLOAT3
    {4, GL_FLOAT, false},                        // D3DDECLTYPE_FLOAT4
    {GL_BGRA, GL_UNSIGNED_BYTE, true},           // D3DDECLTYPE_D3DCOLOR
    {4, GL_UNSIGNED_BYTE, false},                // D3DDECLTYPE_UBYTE4
    {2, GL_SHORT, false},                        // D3DDECLTYPE_SHORT2
    {4, GL_SHORT, false},                        // D3DDECLTYPE_SHORT4
    {4, GL_UNSIGNED_BYTE, true},                 // D3DDECLTYPE_UBYTE4N
    {2, GL_SHORT, false},                        // D3DDECLTYPE_SHORT2N
    {4, GL_SHORT, false},                        // D3DDECLTYPE_SHORT4N
    {2, GL_UNSIGNED_SHORT, true},                // D3DDECLTYPE_USHORT2N
    {4, GL_UNSIGNED_SHORT, true},                // D3DDECLTYPE_USHORT4N
    {4, GL_UNSIGNED_INT_2_10_10_10_REV, false},  // D3DDECLTYPE_UDEC3
    {4, GL_INT_2_10_10_10_REV, false},           // D3DDECLTYPE_DEC3N
    {2, GL_HALF_FLOAT, false},                   // D3DDECLTYPE_FLOAT16_2
    {4, GL_HALF_FLOAT, false},                   // D3DDECLTYPE_FLOAT16_4
};
static_assert(std::size(kFetch) == D3DDECLTYPE_UNUSED);

// The attributes a layout switches on.
std::uint32_t EnabledInputs(const VertexLayout& layout) {
    std::uint32_t enabled = 0;
    for (int i = 0; i < kVertexInputs; ++i) {
        if (layout.Has(static_cast<VertexInput>(i))) enabled |= 1u << i;
    }
    return enabled;
}

}  // namespace

void GlGeometry::SpecifyAttribute(const VertexLayout& layout, int input, GLuint buffer, std::uintptr_t offset,
                                  UINT stride) {
    const InputElement& e = layout.inputs[static_cast<std::size_t>(input)];
    const Fetch& f = kFetch[e.type];
    const auto index = static_cast<GLuint>(input);
    // A stride of 0 reads the same vertex for every vertex; GL would take it as tightly packed.
    gl_.AttributeDivisor(index, stride == 0 ? 0x7fffffffu : 0u);
    // Draws from several streams would otherwise bind each stream's buffer again at every draw.
    const auto s = static_cast<GLsizei>(stride);
    if (gl_.AttributeIs(index, f.size, f.type, f.normalized, s, offset + e.offset, buffer)) return;
    gl_.BindBuffer(GL_ARRAY_BUFFER, buffer);
    gl_.AttributePointer(index, f.size, f.type, f.normalized, s, offset + e.offset);
}

template <class BufferType>
GLuint GlGeometry::BufferFor(BufferType* buffer, GLenum target) {
    GLuint& name = buffers_[buffer];
    if (!name) {
        glGenBuffers(1, &name);
        gl_.BindBuffer(target, name);
        glBufferData(target, buffer->length(), buffer->bytes(),
                     buffer->usage() & D3DUSAGE_DYNAMIC ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
        bytesUploaded_ += buffer->length();
        buffer->dirtyBegin = buffer->dirtyEnd = 0;
    } else if (buffer->dirtyEnd > buffer->dirtyBegin) {
        assert(buffer->dirtyEnd <= buffer->length());
        gl_.BindBuffer(target, name);
        glBufferSubData(target, buffer->dirtyBegin, buffer->dirtyEnd - buffer->dirtyBegin,
                        buffer->bytes() + buffer->dirtyBegin);
        bytesUploaded_ += buffer->dirtyEnd - buffer->dirtyBegin;
        buffer->dirtyBegin = buffer->dirtyEnd = 0;
    }
    return name;
}

void GlGeometry::BindUserPointers(const DrawCall& call, const VertexLayout& layout) {
    assert(call.upVertices && layout.streams == 1u);
    streamsBound_ = false;
    gl_.BindBuffer(GL_ARRAY_BUFFER, upVertices_);
    glBufferData(GL_ARRAY_BUFFER, call.upVertexBytes, call.upVertices, GL_STREAM_DRAW);
    for (int i = 0; i < kVertexInputs; ++i) {
        if (layout.Has(static_cast<VertexInput>(i))) SpecifyAttribute(layout, i, upVertices_, 0, call.upStride);
    }
    gl_.EnableAttributes(EnabledInputs(layout));
    if (call.indexed) {
        const std::size_t bytes = static_cast<std::size_t>(call.vertexCount) * (call.upIndex32 ? 4 : 2);
        gl_.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, upIndices_);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), call.upIndices, GL_STREAM_DRAW);
    }
}

void GlGeometry::BindStreams(const DeviceState& state) {
    const VertexLayout& layout = state.layout;
    for (std::uint32_t streams = layout.streams; streams; streams &= streams - 1) {
        const auto s = static_cast<std::size_t>(std::countr_zero(streams));
        const StreamBinding& stream = state.streams[s];
        assert(stream.buffer);
        auto& [known, name] = streamBuffers_[s];
        if (known != stream.buffer || stream.buffer->dirtyEnd > stream.buffer->dirtyBegin) {
            name = BufferFor(stream.buffer, GL_ARRAY_BUFFER);
            known = stream.buffer;
        }
        for (int i = 0; i < kVertexInputs; ++i) {
            const InputElement& e = layout.inputs[static_cast<std::size_t>(i)];
            if (e.type != D3DDECLTYPE_UNUSED && e.stream == s)
                SpecifyAttribute(layout, i, name, stream.offset, stream.stride);
        }
    }
    gl_.EnableAttributes(EnabledInputs(layout));
    streamsBound_ = true;
}

bool GlGeometry::StreamsCurrent(const DeviceState& state) const {
    if (!streamsBound_) return false;
    for (std::uint32_t streams = state.layout.streams; streams; streams &= streams - 1) {
        const auto s = static_cast<std::size_t>(std::countr_zero(streams));
        const VertexBuffer* buffer = state.streams[s].buffer;
        if (streamBuffers_[s].first != buffer || buffer->dirtyEnd > buffer->dirtyBegin) return false;
    }
    return true;
}

void GlGeometry::BindIndices(IndexBuffer* buffer) {
    assert(buffer);
    gl_.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, BufferFor(buffer, GL_ELEMENT_ARRAY_BUFFER));
}

bool GlGeometry::Forget(const ResourceCore* resource) {
    for (auto& [known, name] : streamBuffers_) {
        if (known == resource) known = nullptr, streamsBound_ = false;
    }
    auto it = buffers_.find(resource);
    if (it == buffers_.end()) return false;
    glDeleteBuffers(1, &it->second);
    gl_.BufferDeleted(it->second);
    buffers_.erase(it);
    return true;
}

}  // namespace tarn::d3d9
