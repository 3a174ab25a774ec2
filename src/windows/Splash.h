// The splash screen: a window on a thread of its own that shows the splash
// picture with a status and a version line while the runtime is found and the
// application starts. It follows the application's controller class once the
// JVM exists, and goes away on the controller's request, on the application's
// first window (key 145) or when an error is reported.
#pragma once
#include <cstddef>

// Starts the splash thread with the process's show-window value and returns
// at once; 0 (SW_HIDE) acts as hideSplash.
void startSplash(int showCommand);

// Takes the splash screen down, when one is shown; before the window exists,
// keeps it from being created. A request that meets the splash thread while
// it creates its window takes effect as soon as the window is there, before
// this returns.
void hideSplash();

// The window class of the splash window.
constexpr const char* kSplashWindowClass = "TovexSplashScreen";
