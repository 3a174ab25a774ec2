// A Java runtime shipped beside the application with its jars packed with
// pack200 (".pack" files): restored once with the runtime's own unpack200.exe.
#pragma once
#include <cstddef>

// Restores the jars of a packed runtime in the Java home, unless it is not
// packed (no lib\rt.jar.pack) or already restored (lib\jsse.jar present).
// Ends the process with message 1009 (InternalError::unpackerNotStarted)
// when the tool cannot start; tells the user on the standard output stream
// that the runtime is being prepared.
void unpackPackedRuntime(const char* home);

// Restores one jar (a path relative to home) from its ".pack" file.
void unpackJar(const char* home, const char* jar);
