// Fault injection for tests: make a named platform call fail, once or always, with a given error code.
// Names are the call names ("Direct3DCreate9", "CreateDevice", "GetDeviceCaps", "CryptHashData", ...).
// Implementations ask TakeFault at their entry; with nothing armed it costs one hash-set lookup at most.
#pragma once

#include <cstdint>

namespace tarn::platform {

// Arms `call` to fail with `code` (a Win32 error for SetLastError, or an HRESULT, as the call reports errors).
// `times` is how many calls fail; a negative count fails every call until ClearFaults.
void InjectFault(const char* call, std::uint32_t code, int times = 1);
void ClearFaults();

// True when `call` must fail now; sets *code to the armed code and counts the use down.
bool TakeFault(const char* call, std::uint32_t* code);

}  // namespace tarn::platform
