// The plain application: a grey 800 x 600 window. Programs with an application of their own link their own
// CreateApplication instead of this library.
#include <new>

#include "app/Application.h"

CTRApplication* CreateApplication() {
    return new (std::nothrow) CTRApplication("Tarn Engine 1.0v", 800, 600, false);
}
