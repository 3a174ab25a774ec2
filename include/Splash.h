// The splash screen.
#pragma once

// Starts the splash thread with the process's show-window value; 0 acts as
// hideSplash.
void startSplash(int showCommand);

// Takes the splash screen down, when one is shown; before the window exists,
// keeps it from being created.
void hideSplash();
