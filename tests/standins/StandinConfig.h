// What every stand-in shares: its settings file and its record files, both
// beside the program (or DLL) itself, so that a test configures a stand-in by
// writing a file rather than by rebuilding it.
#pragma once

#include <string>
#include <vector>

namespace standin {

// The settings of one stand-in, read from "standin.cfg" beside its module.
// Lines are key=value; blank lines and lines starting with '#' are skipped.
// A key prefixed with the module's name ("javaw.exit_code") applies to that
// module only and wins over the plain key.
class Config {
 public:
  // Reads the file beside the module that contains `address` (a function or
  // variable of the stand-in itself).
  explicit Config(const void* address);

  std::string text(const std::string& key, const std::string& fallback) const;
  int number(const std::string& key, int fallback) const;
  bool has(const std::string& key) const;
  // Every value given for the key, in file order (for keys that repeat).
  std::vector<std::string> all(const std::string& key) const;

  // Appends a record (one line, or lines joined by CR LF) to a record file
  // beside the module, in one write.
  void record(const char* file, const std::string& line) const;

  const std::string& directory() const { return directory_; }
  const std::string& name() const { return name_; }

 private:
  std::string directory_;  // ends with a backslash
  std::string name_;       // the module's file name, lower case, no extension
  std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace standin
