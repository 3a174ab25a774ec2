// What ExtractionCache.cpp offers its unit tests beyond its header: the steps the
// unit is made of, and the hooks that point it elsewhere.
#pragma once
#include "ExtractionCache.h"

// The folder that holds every cache, made when missing; false when the user
// has no usable local application data folder.
bool extractionCacheRoot(char* out, size_t capacity);
