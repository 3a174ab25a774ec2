// The JVM option list: the VM options file beside the executable, the class
// path and its entry types, the configured options of key 123, the "-J"
// arguments, and the fixed buffers that the class path must not outgrow.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Buffers.h"
#include "Config.h"
#include "JvmOptionsInternal.h"
#include "Paths.h"
#include "TempTestSupport.h"
#include "TestFiles.h"

namespace {

using testfiles::NarrowRecord;
using testfiles::TempDir;

// The log is decided on at its first line, so it is asked for before any test runs.
const bool logRequested = SetEnvironmentVariableA("TOVEX_LOG", "yes") != 0;

// The log's text with plain line ends (it is written in text mode).
std::string logLines() {
  std::string text = logText();
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::vector<std::string> texts(const NarrowArgumentList& list) { return {list.begin(), list.end()}; }

class JvmOptionsTest : public testing::Test {
 protected:
  // Fills the Config store with these records.
  void configure(const std::vector<NarrowRecord>& records) {
    ASSERT_EQ(ConfigReadResult::ok, testfiles::loadConfigBlockOf(dir_.path(), records));
  }

  // A fresh directory holding empty files with these names.
  std::string directoryWith(const std::string& name, const std::vector<std::string>& files) {
    std::string directory = dir_ / name;
    testfiles::makeDirectory(directory);
    for (const std::string& file : files) testfiles::writeFile(directory + "\\" + file, "");
    return directory;
  }

  // The class path option for key 121 = entries.
  JvmOptionsResult classPath(const std::string& entries, std::string* text, std::string* failedName = nullptr,
                             const JvmOptionSources& sources = {"", nullptr, false}) {
    configure({{key::classPath, entries}});
    std::vector<char> buffer(kClassPathSize, 0);
    strcpy(buffer.data(), kClassPathPrefix);
    std::string name;
    JvmOptionsResult result = tryBuildClassPath(buffer.data(), buffer.size(), sources, &name);
    *text = buffer.data();
    if (failedName != nullptr) *failedName = name;
    return result;
  }

  // The directory's entries with that extension as directory\name; in search order.
  static std::string archives(const std::string& directory, const char* extension) {
    std::vector<std::vector<std::string>> lists = entriesWithExtensions(directory.c_str(), {extension});
    std::string text;
    for (const std::string& name : lists[0]) text += directory + "\\" + name + ";";
    return text;
  }

  TempDir dir_;
};

// ---- VM options file ----

struct VmOptionsCase {
  const char* label;
  std::vector<std::pair<std::string, std::string>> files;  // name beside app.exe, content
  std::vector<std::string> expected;
};

TEST_F(JvmOptionsTest, VmOptionsFileNamesOrderAndLines) {
  const std::string longLine(9000, 'x');
  const std::string fullLine = "-D" + std::string(kTextBufferSize - 3, 'f');  // 8191 characters
  const VmOptionsCase cases[] = {
      {"no file", {}, {}},
      {"app.vmoptions", {{"app.vmoptions", "-Xmx256m\n-Dtwo=2\n"}}, {"-Xmx256m", "-Dtwo=2"}},
      {"app.exe.vmoptions", {{"app.exe.vmoptions", "-Xss1m\n"}}, {"-Xss1m"}},
      {"both: only app.vmoptions", {{"app.vmoptions", "-Dfirst\n"}, {"app.exe.vmoptions", "-Dsecond\n"}}, {"-Dfirst"}},
      {"comment, empty, blank lines, blanks around",
       {{"app.vmoptions", "# comment\n\n     \n   -Xmx512m   \n"}},
       {"-Xmx512m"}},
      {"carriage returns and no final line end", {{"app.vmoptions", "-Da=1\r\n-Db=2\r\r\n-Dc=3"}}, {"-Da=1", "-Db=2", "-Dc=3"}},
      {"blanks before a comment", {{"app.vmoptions", "   #-Xmx1g\n-Dkept\n"}}, {"-Dkept"}},
      {"tabs are kept, text unchanged",
       {{"app.vmoptions", "\t-Dtab\n-Dx=\"a b\" ${TOVEX_EXEDIR} 'c'\n-Dhash=#1\n"}},
       {"\t-Dtab", "-Dx=\"a b\" ${TOVEX_EXEDIR} 'c'", "-Dhash=#1"}},
      {"a line longer than its buffer is left out whole",
       {{"app.vmoptions", "-Dbefore\n" + longLine + "\n-Dafter\n"}},
       {"-Dbefore", "-Dafter"}},
      {"a line that just fits its buffer", {{"app.vmoptions", fullLine + "\n-Dafter\n"}}, {fullLine, "-Dafter"}},
      {"a line that just fits, last in the file", {{"app.vmoptions", fullLine}}, {fullLine}},
      {"one character too many", {{"app.vmoptions", fullLine + "y\r\n-Dafter"}}, {"-Dafter"}},
  };
  for (const VmOptionsCase& c : cases) {
    TempDir beside;
    std::string exe = beside / "app.exe";
    testfiles::writeFile(exe, "MZ");
    for (const auto& file : c.files) testfiles::writeFile(beside / file.first, file.second);
    NarrowArgumentList options;
    if (FILE* file = openVmOptionsFileBeside(exe.c_str())) {
      readVmOptions(file, options);
      fclose(file);
    }
    EXPECT_EQ(c.expected, texts(options)) << c.label;
  }
}

// ---- Class path ----

TEST_F(JvmOptionsTest, ExtractedJarsThenZipsThenRuntimeJarThenConfiguredEntries) {
  std::string extracted = directoryWith("extracted", {"b.jar", "a.zip", "a.jar", "notes.txt"});
  std::string lib = directoryWith("lib", {"lib.zip", "lib.jar"});
  std::string installation = dir_ / "Install";
  testfiles::makeDirectory(installation);
  configure({{key::installationDirectory, installation}});
  char runtimeDirectory[kTextBufferSize];
  fullPath(runtimeDirectory, sizeof runtimeDirectory, installation.c_str(), false);

  struct Case {
    const char* label;
    bool installer;
    std::string expected;
  };
  const std::string fromExtracted = archives(extracted, "jar") + archives(extracted, "zip");
  const std::string fromLib = archives(lib, "jar") + archives(lib, "zip");
  const Case cases[] = {
      {"wrapper", false, kClassPathPrefix + fromExtracted + fromLib},
      {"installer", true,
       kClassPathPrefix + fromExtracted + runtimeDirectory + "\\.vandrel\\vdlruntime.jar;" + fromLib},
  };
  const ExtractedFiles extraction{extracted, false, {}};
  for (const Case& c : cases) {
    std::string text;
    configure({{key::classPath, "S0" + lib + ";"}, {key::installationDirectory, installation}});
    std::vector<char> buffer(kClassPathSize, 0);
    strcpy(buffer.data(), kClassPathPrefix);
    ASSERT_EQ(JvmOptionsResult::ok,
              tryBuildClassPath(buffer.data(), buffer.size(), {"", &extraction, c.installer}, nullptr));
    EXPECT_EQ(c.expected, buffer.data()) << c.label;
  }
  // The runtime directory is lower-cased; jars come before zips.
  EXPECT_EQ(std::string(runtimeDirectory).find("Install"), std::string::npos);
  EXPECT_LT(fromExtracted.find("a.jar"), fromExtracted.find("a.zip"));
  EXPECT_LT(fromExtracted.find("b.jar"), fromExtracted.find("a.zip"));
  EXPECT_EQ(fromExtracted.find("notes.txt"), std::string::npos);
}

TEST_F(JvmOptionsTest, ScannedDirectoryKeepsItsPathAsWritten) {
  std::string lib = directoryWith("lib", {"a.jar"});
  std::string text;
  ASSERT_EQ(JvmOptionsResult::ok, classPath("S0" + dir_.path() + "\\.\\.\\lib;", &text));
  EXPECT_EQ(kClassPathPrefix + dir_.path() + "\\.\\.\\lib\\a.jar;", text);
}

TEST_F(JvmOptionsTest, EntryTypesRequiredAndOptional) {
  std::string full = directoryWith("full", {"x.jar"});
  std::string empty = directoryWith("empty", {});
  std::string file = dir_ / "single.jar";
  testfiles::writeFile(file, "");
  std::string missing = dir_ / "missing";
  testfiles::SavedVariable savedSet("TVX_CP_SET");
  testfiles::SavedVariable savedQuoted("TVX_CP_QUOTED");
  testfiles::SavedVariable savedSemicolon("TVX_CP_SEMICOLON");
  testfiles::SavedVariable savedEmptyQuotes("TVX_CP_EMPTY_QUOTES");
  testfiles::SavedVariable savedUnset("TVX_CP_UNSET");
  testfiles::SavedVariable savedDir("TVX_CP_DIR");
  SetEnvironmentVariableA("TVX_CP_SET", "C:\\lib\\x.jar");
  SetEnvironmentVariableA("TVX_CP_QUOTED", "\"C:\\lib\\x.jar;C:\\lib\\y.jar\"");
  SetEnvironmentVariableA("TVX_CP_SEMICOLON", "C:\\lib\\z.jar;");
  SetEnvironmentVariableA("TVX_CP_EMPTY_QUOTES", "\"\"");
  SetEnvironmentVariableA("TVX_CP_UNSET", nullptr);
  SetEnvironmentVariableA("TVX_CP_DIR", dir_.path().c_str());

  struct Case {
    std::string entries;
    JvmOptionsResult result;
    std::string added;  // behind the prefix when ok
    std::string failedName;
  };
  const Case cases[] = {
      {"S1" + full, JvmOptionsResult::ok, full + "\\x.jar;", ""},
      {"S1" + empty, JvmOptionsResult::ok, "", ""},
      {"S0" + missing, JvmOptionsResult::ok, "", ""},
      {"S1" + missing, JvmOptionsResult::entryNotFound, "", missing},
      {"D1" + file, JvmOptionsResult::ok, file + ";", ""},
      {"A1" + empty, JvmOptionsResult::ok, empty + ";", ""},
      {"D0" + missing, JvmOptionsResult::ok, missing + ";", ""},
      {"A1" + missing, JvmOptionsResult::entryNotFound, "", missing},
      {"E1TVX_CP_SET", JvmOptionsResult::ok, "C:\\lib\\x.jar;", ""},
      {"E0TVX_CP_QUOTED", JvmOptionsResult::ok, "C:\\lib\\x.jar;C:\\lib\\y.jar;", ""},
      {"E0TVX_CP_SEMICOLON", JvmOptionsResult::ok, "C:\\lib\\z.jar;", ""},
      {"E0TVX_CP_UNSET", JvmOptionsResult::ok, "", ""},
      {"E1TVX_CP_UNSET", JvmOptionsResult::variableUndefined, "", "TVX_CP_UNSET"},
      // Quotes around nothing would make an empty element, the current directory.
      {"E0TVX_CP_EMPTY_QUOTES", JvmOptionsResult::ok, "", ""},
      {"E1TVX_CP_EMPTY_QUOTES", JvmOptionsResult::entryNotFound, "", "TVX_CP_EMPTY_QUOTES"},
      {"X0" + file, JvmOptionsResult::ok, "", ""},
      {"X1" + file, JvmOptionsResult::entryNotFound, "", file},
      // Any flag other than '1' is optional.
      {"D2" + missing, JvmOptionsResult::ok, missing + ";", ""},
      // The message names the value after substitution, not the resolved path.
      {"D1${TVX_CP_DIR}\\gone.jar", JvmOptionsResult::entryNotFound, "", dir_.path() + "\\gone.jar"},
      // Empty entries are skipped; the first missing required entry stops the walk.
      {";;D0" + file + ";;", JvmOptionsResult::ok, file + ";", ""},
      {"D1" + missing + "1;D1" + missing + "2", JvmOptionsResult::entryNotFound, "", missing + "1"},
      // Entries are not de-duplicated.
      {"D0" + file + ";D0" + file, JvmOptionsResult::ok, file + ";" + file + ";", ""},
      // Too short to have a value.
      {"S", JvmOptionsResult::ok, "", ""},
  };
  for (const Case& c : cases) {
    std::string text;
    std::string failedName;
    JvmOptionsResult result = classPath(c.entries, &text, &failedName);
    EXPECT_EQ(c.result, result) << c.entries;
    if (result == JvmOptionsResult::ok) {
      EXPECT_EQ(kClassPathPrefix + c.added, text) << c.entries;
    } else {
      EXPECT_EQ(c.failedName, failedName) << c.entries;
    }
  }
}

TEST_F(JvmOptionsTest, RelativeEntriesResolveAgainstTheExecutableDirectory) {
  std::string text;
  ASSERT_EQ(JvmOptionsResult::ok, classPath("D0lib\\\\nothing.jar;", &text));
  EXPECT_EQ(std::string(kClassPathPrefix) + executableDirectory() + "lib\\nothing.jar;", text);
}

// ---- Buffer guards ----

TEST_F(JvmOptionsTest, ClassPathNeverOutgrowsItsBufferAndNeverCutsAnEntry) {
  const std::string a(40, 'a');
  const std::string b(40, 'b');
  const std::string c(10, 'c');
  std::string entries = "D0C:\\" + a + ";D0C:\\" + b + ";D0C:\\" + c;
  const size_t prefix = strlen(kClassPathPrefix);
  struct Case {
    size_t capacity;
    std::string expected;
  };
  const std::string first = "C:\\" + a + ";";
  const std::string second = "C:\\" + b + ";";
  const std::string third = "C:\\" + c + ";";
  const Case cases[] = {
      {prefix + first.size() + second.size() + third.size() + 1, first + second + third},
      {prefix + first.size() + second.size() + third.size(), first + second},  // one byte short for the last
      {prefix + first.size() + third.size() + 1, first + third},  // the second left out, the third still fits
      {prefix + first.size(), third},  // no room for the terminator behind the first or second
      {prefix + 1, ""},
  };
  configure({{key::classPath, entries}});
  for (const Case& k : cases) {
    std::vector<char> buffer(k.capacity + 64, 0x5A);
    strcpy(buffer.data(), kClassPathPrefix);
    EXPECT_EQ(JvmOptionsResult::ok, tryBuildClassPath(buffer.data(), k.capacity, {"", nullptr, false}, nullptr));
    EXPECT_EQ(kClassPathPrefix + k.expected, std::string(buffer.data())) << k.capacity;
    for (size_t i = k.capacity; i < buffer.size(); ++i) ASSERT_EQ(0x5A, buffer[i]) << k.capacity << " at " << i;
  }
  EXPECT_NE(std::string::npos, logLines().find("ERROR: class path too long, left out: C:\\" + b + "\n"));
}

TEST_F(JvmOptionsTest, RequiredEntryWithoutRoomCountsAsMissing) {
  std::string lib = directoryWith("lib", {"aaaaaaaaaaaaaaaaaaaaaaaa.jar"});
  const size_t capacity = strlen(kClassPathPrefix) + 8;
  for (const std::string& entries : {"S1" + lib, "D1" + lib}) {
    configure({{key::classPath, entries}});
    std::vector<char> buffer(capacity + 64, 0x5A);
    strcpy(buffer.data(), kClassPathPrefix);
    std::string name;
    EXPECT_EQ(JvmOptionsResult::entryNotFound, tryBuildClassPath(buffer.data(), capacity, {"", nullptr, false}, &name))
        << entries;
    EXPECT_EQ(lib, name);
    EXPECT_STREQ(kClassPathPrefix, buffer.data());
    for (size_t i = capacity; i < buffer.size(); ++i) ASSERT_EQ(0x5A, buffer[i]) << entries;
  }
}

TEST_F(JvmOptionsTest, VariableValuesLongerThanATextBufferAreTakenWhole) {
  testfiles::SavedVariable saved("TVX_CP_LONG");
  struct Case {
    size_t length;
    JvmOptionsResult optional;
    JvmOptionsResult required;
    bool added;
  };
  const Case cases[] = {
      {kTextBufferSize + 100, JvmOptionsResult::ok, JvmOptionsResult::ok, true},
      {kClassPathSize - 10, JvmOptionsResult::ok, JvmOptionsResult::entryNotFound, false},
  };
  for (const Case& c : cases) {
    std::string value = "C:\\" + std::string(c.length - 4, 'v') + ";";
    SetEnvironmentVariableA("TVX_CP_LONG", value.c_str());
    std::string text;
    EXPECT_EQ(c.optional, classPath("E0TVX_CP_LONG", &text)) << c.length;
    EXPECT_EQ(c.added ? kClassPathPrefix + value : std::string(kClassPathPrefix), text) << c.length;
    EXPECT_EQ(c.required, classPath("E1TVX_CP_LONG", &text)) << c.length;
  }
}

// ---- The whole list ----

TEST_F(JvmOptionsTest, OptionsInOrderWithKey123PiecesAndJArguments) {
  TempDir beside;
  std::string exe = beside / "app.exe";
  testfiles::writeFile(exe, "MZ");
  testfiles::writeFile(beside / "app.vmoptions", "-Dfile=1\n");
  const WideArgumentList arguments = {L"-Jprogram", L"-J-Xmx1g", L"user", L"-Jverbose", L"-j-lower", L"x-Jinner"};
  const NarrowArgumentList properties = {"-Dtovex.moduleName=app", "-Dtovex.tempDir="};
  const std::string classPathOption = kClassPathPrefix;

  struct Case {
    const char* key123;
    const char* key125;
    JvmOptionsResult result;
    std::vector<std::string> afterClassPath;
  };
  const Case cases[] = {
      {"-Xms64m \"-Dpath=C:\\Program Files\\x\"", "0", JvmOptionsResult::ok,
       {"-Xms64m", "-Dpath=C:\\Program Files\\x"}},
      {"-Xms64m 'a b'", "1", JvmOptionsResult::ok, {"-Xms64m", "a b", "program", "-Xmx1g", "verbose"}},
      {"", "1", JvmOptionsResult::ok, {"program", "-Xmx1g", "verbose"}},
      {"  -Da=1   -Db=2 ", "", JvmOptionsResult::ok, {"-Da=1", "-Db=2"}},
      {"-Dx=\"open", "1", JvmOptionsResult::unclosedQuote, {}},
  };
  for (const Case& c : cases) {
    configure({{key::vmParameters, c.key123}, {key::commandLineVmOptions, c.key125}});
    NarrowArgumentList options;
    std::string name;
    JvmOptionsResult result = tryAssembleJvmOptions(properties, arguments, {exe.c_str(), nullptr, false}, options, &name);
    EXPECT_EQ(c.result, result) << c.key123;
    if (result != JvmOptionsResult::ok) continue;
    std::vector<std::string> expected = {properties[0], properties[1], "-Dfile=1", classPathOption};
    expected.insert(expected.end(), c.afterClassPath.begin(), c.afterClassPath.end());
    EXPECT_EQ(expected, texts(options)) << c.key123;
  }
}

// With key 3001 the user's file follows the project's options (key 123), so
// that the JVM's last-one-wins rule lets the user override them; the "-J"
// arguments of the command line stay last.
TEST_F(JvmOptionsTest, WithKey3001TheUsersFileComesAfterTheProjectsOptions) {
  TempDir beside;
  std::string exe = beside / "app.exe";
  testfiles::writeFile(exe, "MZ");
  testfiles::writeFile(beside / "app.vmoptions", "-Xmx200m\n");
  const WideArgumentList arguments = {L"app.exe", L"-J-Xmx400m"};
  const NarrowArgumentList properties = {"-Dtovex.tempDir="};
  const std::string classPathOption = kClassPathPrefix;
  struct Case {
    const char* modern;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"0", {properties[0], "-Xmx200m", classPathOption, "-Xmx300m", "-Xmx400m"}},
      {"1", {properties[0], classPathOption, "-Xmx300m", "-Xmx200m", "-Xmx400m"}},
  };
  for (const Case& c : cases) {
    configure({{key::vmParameters, "-Xmx300m"}, {key::commandLineVmOptions, "1"}, {key::modernRuntime, c.modern}});
    NarrowArgumentList options;
    std::string name;
    ASSERT_EQ(JvmOptionsResult::ok,
              tryAssembleJvmOptions(properties, arguments, {exe.c_str(), nullptr, false}, options, &name));
    EXPECT_EQ(c.expected, texts(options)) << "key 3001: " << c.modern;
  }
}

TEST_F(JvmOptionsTest, AFailingEntryYieldsNoOptions) {
  configure({{key::classPath, "D1" + dir_ / "missing.jar"}});
  NarrowArgumentList options;
  std::string name;
  const NarrowArgumentList properties = {"-Dtovex.tempDir="};
  EXPECT_EQ(JvmOptionsResult::entryNotFound,
            tryAssembleJvmOptions(properties, {}, {"", nullptr, false}, options, &name));
  EXPECT_TRUE(options.empty());
  EXPECT_EQ(dir_ / "missing.jar", name);
}

TEST_F(JvmOptionsTest, TheRunsListIsLoggedWithCountAndEachOption) {
  ASSERT_TRUE(logRequested);
  configure({{key::vmParameters, "-Da -Db"}});
  const NarrowArgumentList properties = {"-Dtovex.tempDir="};
  StartFailure failure;
  NarrowArgumentList options = assembleJvmOptions(properties, {}, {executableLongPath(), nullptr, false}, &failure);
  EXPECT_FALSE(failure);
  ASSERT_EQ(4u, options.size());
  std::string log = logLines();
  const char* lines[] = {"vmoption count 4\n", "vmoption 0: -Dtovex.tempDir=\n", "vmoption 1: -Djava.class.path=\n",
                         "vmoption 2: -Da\n", "vmoption 3: -Db\n"};
  size_t from = 0;
  for (const char* line : lines) {
    size_t at = log.find(line, from);
    ASSERT_NE(std::string::npos, at) << line << "in:\n" << log;
    from = at;
  }
}

}  // namespace
