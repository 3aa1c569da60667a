// The layer's diagnostic channel: one "d3d9: ..." line on standard error per message, unless muted
// (DebugSetMute).
#pragma once

namespace tarn::d3d9 {

void Diagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tarn::d3d9
