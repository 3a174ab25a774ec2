// Composing error messages: placeholders, the log suffix, and the line written
// to the standard error stream when message boxes are off.
#include "ErrorReport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Buffers.h"
#include "TestFiles.h"

namespace {

TEST(ReplacePlaceholder, ReplacesTheFirstOccurrenceOnly) {
  struct Case {
    const char* text;
    const char* placeholder;
    const char* value;
    const char* expected;
  };
  static const Case cases[] = {
      {"File %FILE_NAME% not found", kFileNamePlaceholder, "a.jar", "File a.jar not found"},
      {"%FILE_NAME% and %FILE_NAME%", kFileNamePlaceholder, "x", "x and %FILE_NAME%"},
      {"%ERROR_CODE%", kErrorCodePlaceholder, "5", "5"},
      {"at the end: %ENV_VAR_NAME%", kEnvVarNamePlaceholder, "JAVA_HOME", "at the end: JAVA_HOME"},
      {"removed: [%DEFINED_PATH%]", kDefinedPathPlaceholder, "", "removed: []"},
      {"no placeholder here", kFileNamePlaceholder, "x", "no placeholder here"},
      {"%FILE_NAME%", kErrorCodePlaceholder, "x", "%FILE_NAME%"},
      {"value holds one: %FILE_NAME%", kFileNamePlaceholder, "%FILE_NAME%", "value holds one: %FILE_NAME%"},
      {"text %FILE_NAME%", nullptr, "x", "text %FILE_NAME%"},
      {"text %FILE_NAME%", "", "x", "text %FILE_NAME%"},
      {"text %FILE_NAME%", kFileNamePlaceholder, nullptr, "text %FILE_NAME%"},
      {"", kFileNamePlaceholder, "x", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("text [") + c.text + "]");
    char out[64];
    replacePlaceholder(out, sizeof out, c.text, c.placeholder, c.value);
    EXPECT_STREQ(c.expected, out);
  }
}

TEST(ReplacePlaceholder, LongResultIsCutInsideTheBuffer) {
  struct Case {
    const char* text;
    const char* value;
    size_t capacity;
    const char* expected;
  };
  static const Case cases[] = {
      {"ab%FILE_NAME%cd", "0123456789", 10, "ab0123456"},  // cut inside the value
      {"ab%FILE_NAME%cd", "012345", 10, "ab012345c"},     // cut inside the rest of the text
      {"abcdefghij%FILE_NAME%", "x", 5, "abcd"},          // cut before the placeholder
      {"abcd%FILE_NAME%", "x", 5, "abcd"},
      {"abc%FILE_NAME%", "x", 5, "abcx"},  // exact fit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " with " + c.value + ", capacity " + std::to_string(c.capacity));
    char out[32];
    memset(out, '#', sizeof out);
    replacePlaceholder(out, c.capacity, c.text, kFileNamePlaceholder, c.value);
    EXPECT_STREQ(c.expected, out);
    EXPECT_EQ(std::string(sizeof out - c.capacity, '#'), std::string(out + c.capacity, sizeof out - c.capacity));
  }
}

TEST(ReplacePlaceholder, FullSizeTextWithLongValue) {
  static char out[kTextBufferSize];
  std::string text = std::string(8000, 't') + "%FILE_NAME%";
  std::string value(1000, 'v');
  replacePlaceholder(out, sizeof out, text.c_str(), kFileNamePlaceholder, value.c_str());
  EXPECT_EQ(std::string(8000, 't') + std::string(kTextBufferSize - 8001, 'v'), std::string(out));
}

class ComposeErrorMessageTest : public testing::Test {
 protected:
  std::string compose(const char* text, const char* logPath) {
    static char out[kTextBufferSize];
    composeErrorMessage(out, sizeof out, text, logPath);
    return out;
  }
  testfiles::TempDir dir_;
};

TEST_F(ComposeErrorMessageTest, WithoutALogTheTextAlone) {
  EXPECT_EQ("No Java runtime found.", compose("No Java runtime found.", nullptr));
  EXPECT_EQ("", compose("", nullptr));
}

TEST_F(ComposeErrorMessageTest, LogPathGivenInItsLongForm) {
  const std::string logDir = dir_ / "Diagnostic Logs";
  testfiles::makeDirectory(logDir);
  const std::string log = logDir + "\\launcher diagnostic.log";
  testfiles::writeFile(log, "");
  char shortForm[MAX_PATH];
  ASSERT_GT(GetShortPathNameA(log.c_str(), shortForm, sizeof shortForm), 0u);
  ASSERT_NE(log, shortForm);

  const std::string message = compose("Boom.", shortForm);
  const std::string prefix = "Boom.\n\nLog: ";
  ASSERT_EQ(prefix, message.substr(0, prefix.size()));
  EXPECT_TRUE(testfiles::samePath(log, message.substr(prefix.size()))) << message;
}

TEST_F(ComposeErrorMessageTest, LogPathWithoutALongFormAsGiven) {
  const std::string missing = dir_ / "GONE~1.LOG";
  EXPECT_EQ("Boom.\n\nLog: " + missing, compose("Boom.", missing.c_str()));
}

TEST_F(ComposeErrorMessageTest, LongTextIsCutInsideTheBuffer) {
  char out[32];
  memset(out, '#', sizeof out);
  composeErrorMessage(out, 16, "0123456789", "c:\\a.log");
  EXPECT_STREQ("0123456789\n\nLog", out);  // the text keeps its words; the suffix is cut
  EXPECT_EQ(std::string(16, '#'), std::string(out + 16, 16));
}

// Runs `action` with the C library's standard error stream sent to a file and
// returns what it wrote there, read back as text.
template <typename Action>
std::string capturedStderr(const std::string& file, Action action) {
  fflush(stderr);
  int saved = _dup(_fileno(stderr));
  int target = _open(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC, _S_IREAD | _S_IWRITE);
  if (saved < 0 || target < 0) return "(stderr not redirected)";
  _dup2(target, _fileno(stderr));
  _close(target);
  action();
  fflush(stderr);
  _dup2(saved, _fileno(stderr));
  _close(saved);

  std::string text;
  FILE* in = fopen(file.c_str(), "r");
  if (in == nullptr) return "(capture not readable)";
  int c;
  while ((c = fgetc(in)) != EOF) text += static_cast<char>(c);
  fclose(in);
  return text;
}

TEST(ShowError, QuietWritesTheMessageLineToStderr) {
  setQuiet();
  ASSERT_FALSE(messageBoxesOn());
  testfiles::TempDir dir;
  EXPECT_EQ("Could not start: 42\n",
            capturedStderr(dir / "stderr.txt", [] { showError("Could not start: 42"); }));
  EXPECT_EQ("Line one\nline two\n", capturedStderr(dir / "stderr2.txt", [] { showError("Line one\nline two"); }));
}

}  // namespace
