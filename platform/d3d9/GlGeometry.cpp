// Vertex input of the GL backend. Buffers are sent whole when first used and then only the byte range written
// since; user-pointer draws stream through two buffers of our own. Attribute locations follow the generated
// programs: 0 position, 1 normal, 2 diffuse, 3 specular, 4 + i texture coordinate set i.
#include "GlGeometry.h"

#include <cassert>
#include <cstdint>

#include "FixedFunction.h"
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

void GlGeometry::SpecifyAttributes(UINT offset, UINT stride, DWORD fvf) {
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    const GLsizei s = static_cast<GLsizei>(stride);
    std::uint32_t enabled = 1;
    UINT o = 0;
    if (position == D3DFVF_XYZRHW || position == D3DFVF_XYZW) {
        gl_.AttributePointer(0, 4, GL_FLOAT, false, s, offset);
        o = 16;
    } else {
        gl_.AttributePointer(0, 3, GL_FLOAT, false, s, offset);
        o = 12;
        // XYZB1..XYZB5 carry one to five 4-byte blend weights (the last may hold packed indices) after the
        // position; the codes step by 2 from XYZB1 = XYZRHW + 2.
        if (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB5) o += 4 * ((position - D3DFVF_XYZRHW) / 2);
    }
    if (fvf & D3DFVF_NORMAL) {
        gl_.AttributePointer(1, 3, GL_FLOAT, false, s, offset + o);
        enabled |= 1u << 1;
        o += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        gl_.AttributePointer(kPointSizeAttribute, 1, GL_FLOAT, false, s, offset + o);
        enabled |= 1u << kPointSizeAttribute;
        o += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        gl_.AttributePointer(2, GL_BGRA, GL_UNSIGNED_BYTE, true, s, offset + o);
        enabled |= 1u << 2;
        o += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        gl_.AttributePointer(3, GL_BGRA, GL_UNSIGNED_BYTE, true, s, offset + o);
        enabled |= 1u << 3;
        o += 4;
    }
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    static const GLint kSizes[4] = {2, 3, 4, 1};
    for (UINT i = 0; i < texCount && i < 8; ++i) {
        const GLint size = kSizes[(fvf >> (16 + 2 * i)) & 3];
        gl_.AttributePointer(4 + i, size, GL_FLOAT, false, s, offset + o);
        enabled |= 1u << (4 + i);
        o += 4 * static_cast<UINT>(size);
    }
    gl_.EnableAttributes(enabled);
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

void GlGeometry::BindUserPointers(const DrawCall& call, DWORD fvf) {
    assert(call.upVertices);
    gl_.BindBuffer(GL_ARRAY_BUFFER, upVertices_);
    glBufferData(GL_ARRAY_BUFFER, call.upVertexBytes, call.upVertices, GL_STREAM_DRAW);
    SpecifyAttributes(0, call.upStride, fvf);
    if (call.indexed) {
        const std::size_t bytes = static_cast<std::size_t>(call.vertexCount) * (call.upIndex32 ? 4 : 2);
        gl_.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, upIndices_);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), call.upIndices, GL_STREAM_DRAW);
    }
}

void GlGeometry::BindStream(VertexBuffer* buffer, UINT offset, UINT stride, DWORD fvf) {
    assert(buffer && stride > 0);
    gl_.BindBuffer(GL_ARRAY_BUFFER, BufferFor(buffer, GL_ARRAY_BUFFER));
    SpecifyAttributes(offset, stride, fvf);
}

void GlGeometry::BindIndices(IndexBuffer* buffer) {
    assert(buffer);
    gl_.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, BufferFor(buffer, GL_ELEMENT_ARRAY_BUFFER));
}

bool GlGeometry::Forget(const ResourceCore* resource) {
    auto it = buffers_.find(resource);
    if (it == buffers_.end()) return false;
    glDeleteBuffers(1, &it->second);
    gl_.BufferDeleted(it->second);
    buffers_.erase(it);
    return true;
}

}  // namespace tarn::d3d9
