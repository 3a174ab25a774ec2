// The splash screen.
#include "Splash.h"

// Not built yet: no splash window is shown, so there is nothing to take down.
void startSplash(int) {}

void hideSplash() {}
