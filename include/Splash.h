// The splash screen.
#pragma once

// Takes the splash screen down, when one is shown.
void hideSplash();
