#include "tests/platform/d3d9/D3D9TestSupport.h"
