// The splash screen.
#include "Splash.h"

// No splash window is shown yet, so there is nothing to take down.
void hideSplash() {}
