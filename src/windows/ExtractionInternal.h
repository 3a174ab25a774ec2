// What Extraction.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "Extraction.h"

// Copies size bytes from in to out in blocks of 256 KB, unscrambling them when
// asked. False when the input ends early or a write fails (*writeFailed, when
// given, says which).
bool copyFileData(HANDLE in, HANDLE out, int32_t size, bool unscramble, bool* writeFailed = nullptr);
