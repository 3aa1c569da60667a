// The installed demo (tarn-seascene) runs on its installed data from any working directory: the platform's entry
// changes to that folder, given relative to the executable's folder, before the engine starts.
#include "platform/Runner.h"

namespace {

const bool kDataDirectorySet = (tarn::platform::SetDataDirectory(TARN_SEASCENE_DATA_DIR), true);

}  // namespace
