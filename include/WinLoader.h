// Locating a Java runtime and loading its JVM library.
#pragma once

// Searches a runtime and loads its jvm.dll; reports its own failure (messages
// 1001 to 1005) and returns false when no runtime can be used.
bool LoadDLL();
