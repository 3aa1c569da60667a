// Vertex input of the GL backend: GL copies of vertex and index buffers (uploaded when their memory changed),
// the stream buffers of user-pointer draws, and the vertex attributes of a layout (a declaration or a flexible
// vertex format) over up to 16 streams.
#pragma once

#include <array>
#include <cstddef>
#include <unordered_map>
#include <utility>

#include "DeviceState.h"
#include "GlState.h"
#include "Renderer.h"

namespace tarn::d3d9 {

class GlGeometry {
public:
    // Makes the vertex array and stream buffers; needs the context current.
    explicit GlGeometry(GlState& gl);
    ~GlGeometry();
    GlGeometry(const GlGeometry&) = delete;
    GlGeometry& operator=(const GlGeometry&) = delete;

    // Points the attributes at the user's vertices of `call` (stream 0) and binds the indices of an indexed draw.
    void BindUserPointers(const DrawCall& call, const VertexLayout& layout);
    // Points the attributes at the streams the layout reads.
    void BindStreams(const DeviceState& state);
    // True when the attributes still read what BindStreams last pointed them at for `state`: no user-pointer draw
    // or forgotten buffer since, each stream's buffer the same and unwritten since. The caller knows whether the
    // layout or the stream bindings changed (the device's stream state).
    bool StreamsCurrent(const DeviceState& state) const;
    void BindIndices(IndexBuffer* buffer);
    // Deletes the GL buffer of a dying vertex or index buffer; false when it had none.
    bool Forget(const ResourceCore* resource);
    std::size_t bytesUploaded() const { return bytesUploaded_; }

private:
    // Points input `input` of the layout at `offset` + its element's offset in GL buffer `buffer`, binding it
    // only when the attribute does not read so already.
    void SpecifyAttribute(const VertexLayout& layout, int input, GLuint buffer, std::uintptr_t offset, UINT stride);
    // The GL buffer of `resource`, made or refreshed from the written range of its memory.
    template <class BufferType>
    GLuint BufferFor(BufferType* buffer, GLenum target);

    GlState& gl_;
    GLuint vao_ = 0, upVertices_ = 0, upIndices_ = 0;
    std::unordered_map<const ResourceCore*, GLuint> buffers_;
    // The GL buffer each stream last read, so that a draw from the same buffers looks none up.
    std::array<std::pair<const VertexBuffer*, GLuint>, kStreams> streamBuffers_{};
    bool streamsBound_ = false;  // BindStreams was the last to point the attributes
    std::size_t bytesUploaded_ = 0;
};

}  // namespace tarn::d3d9
