#pragma once
// Stand-in for the SDK header: just enough for Qt to take its macOS branches.
#define __MAC_10_6 1060
#define __MAC_13_0 130000
#define __MAC_OS_X_VERSION_MIN_REQUIRED __MAC_13_0
#define __MAC_OS_X_VERSION_MAX_ALLOWED __MAC_13_0
#define __API_AVAILABLE(...)
#define API_AVAILABLE(...)
#define API_UNAVAILABLE(...)
