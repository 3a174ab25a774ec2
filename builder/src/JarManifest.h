// What a jar holds, as far as the build tool checks it: its entries and the
// Main-Class and Class-Path of its manifest, so that a project whose jar names
// its main class need not name it again and a main class or a library the
// application will miss is found before the user does.
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tovex {

struct JarContents {
    std::vector<std::string> entries;      // names in the central directory, e.g. "com/example/Main.class"
    std::optional<std::string> mainClass;  // Main-Class of META-INF/MANIFEST.MF
    std::vector<std::string> classPath;    // the entries of its Class-Path, as written
};

// The archive's contents, or nothing when the file is no readable zip archive.
std::optional<JarContents> readJarContents(const std::filesystem::path& jar);

// Whether the jar holds the class of this binary name ("com.example.Main"),
// also in a version folder of a multi-release jar.
bool jarHoldsClass(const JarContents& jar, const std::string& className);

}  // namespace tovex
