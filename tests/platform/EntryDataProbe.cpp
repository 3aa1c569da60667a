// Makes the entry probe an installed-style program: its data folder lies beside its executable.
#include "platform/Runner.h"

namespace {

const bool kRegistered = (tarn::platform::SetDataDirectory("entry_probe_data"), true);

}  // namespace
