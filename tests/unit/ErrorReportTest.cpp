// Composing error messages: placeholders, the log suffix, the line written to
// the standard error stream when message boxes are off, the texts and steps
// start-up hands to the report, and the codes it shows.
#include "ErrorReportInternal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>

#include "Buffers.h"
#include "ConfigKeyNames.h"
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

std::string capturedStderr(const std::string& file, const std::function<void()>& action) {
  return testfiles::capturedStream(stderr, file, action);
}

TEST(ShowError, QuietWritesTheMessageLineToStderr) {
  setQuiet();
  ASSERT_FALSE(messageBoxesOn());
  testfiles::TempDir dir;
  EXPECT_EQ("Could not start: 42\n",
            capturedStderr(dir / "stderr.txt", [] { showError("Could not start: 42"); }));
  EXPECT_EQ("Line one\nline two\n", capturedStderr(dir / "stderr2.txt", [] { showError("Line one\nline two"); }));
}

// Steps write to the standard error stream only while a test watches them:
// once added they stay for the whole process.
bool stepsWatched = false;
void firstStep() {
  if (stepsWatched) fputs("[first]", stderr);
}
void secondStep() {
  if (stepsWatched) fputs("[second]", stderr);
}
void idleStep() {}

TEST(ReportSteps, TakenBeforeTheMessageInTheOrderAddedUntilTheListIsFull) {
  setQuiet();
  ASSERT_TRUE(addReportStep(ReportMoment::beforeMessage, firstStep));
  ASSERT_TRUE(addReportStep(ReportMoment::beforeMessage, secondStep));
  int added = 2;
  while (addReportStep(ReportMoment::beforeMessage, idleStep)) ASSERT_LT(++added, 64) << "the list never fills";
  // A step before an exit is not taken before a message.
  EXPECT_TRUE(addReportStep(ReportMoment::beforeExit, firstStep));

  testfiles::TempDir dir;
  stepsWatched = true;
  std::string written = capturedStderr(dir / "stderr.txt", [] { showError("Boom."); });
  stepsWatched = false;
  EXPECT_EQ("[first][second]Boom.\n", written);
}

// A store of three texts and the switch of detailed messages.
void fakeText(int key, char* out, size_t capacity) {
  const char* text = key == key::msgInternalError   ? "An internal error occurred (error code: %ERROR_CODE%)"
                     : key == key::msgJvmNotStarted ? "Failed: %EXCEPTION% (%CLASS_NAME%, %EXCEPTION%)"
                                                    : "";
  copyText(out, capacity, text);
}
int detailedMessages = 0;
int fakeNumber(int key) { return key == key::modernRuntime ? detailedMessages : 0; }

TEST(MessageSource, TextsComeFromTheSourceStartUpSets) {
  setQuiet();
  testfiles::TempDir dir;
  auto shownWithout = [&](const char* name) {
    return capturedStderr(dir / name, [] { showErrorKey(key::msgInternalError, kErrorCodePlaceholder, "16"); });
  };
  EXPECT_EQ("\n", shownWithout("none.txt"));  // no source yet: the empty text

  setMessageSource(fakeText, fakeNumber);
  EXPECT_EQ("An internal error occurred (error code: 16)\n", shownWithout("set.txt"));

  const Filling fillings[] = {{kExceptionPlaceholder, "java.lang.Error"}, {kClassNamePlaceholder, "Main"}};
  auto shownWith = [&](const char* name) {
    return capturedStderr(dir / name, [&] { showErrorKeyWith(key::msgJvmNotStarted, fillings, 2, "at Main"); });
  };
  EXPECT_EQ("Failed: %EXCEPTION% (%CLASS_NAME%, %EXCEPTION%)\n", shownWith("plain.txt"));
  detailedMessages = 1;
  // Read back as text: the details' CR LF pairs come back as line feeds.
  EXPECT_EQ("Failed: java.lang.Error (Main, java.lang.Error)\n\nat Main\n", shownWith("detailed.txt"));

  detailedMessages = 0;
  setMessageSource(nullptr, nullptr);
}

TEST(MessageSource, EveryUseOfAPlaceholderIsFilledOnce) {
  struct Case {
    const char* text;
    const char* value;
    const char* filled;
  };
  // An exception's text may name the placeholder itself: it goes in as it is.
  const Case cases[] = {
      {"Failed: %EXCEPTION%", "x: %EXCEPTION%", "Failed: x: %EXCEPTION%"},
      {"%EXCEPTION% and %EXCEPTION%", "%EXCEPTION%%EXCEPTION%", "%EXCEPTION%%EXCEPTION% and %EXCEPTION%%EXCEPTION%"},
      {"%EXCEPTION%%EXCEPTION%", "e", "ee"},
      {"none here", "e", "none here"},
      {"%EXCEPTION%", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    char text[kTextBufferSize];
    copyText(text, sizeof text, c.text);
    replaceEveryUse(text, sizeof text, kExceptionPlaceholder, c.value);
    EXPECT_STREQ(c.filled, text);
  }
  // A value that outgrows the buffer is cut, and the buffer stays terminated.
  char small[16] = "a %EXCEPTION% b";
  replaceEveryUse(small, sizeof small, kExceptionPlaceholder, "0123456789abcdefgh");
  EXPECT_STREQ("a 0123456789abc", small);
}

TEST(DownloadPage, OnlyAWellFormedWebAddressGoesToTheShell) {
  struct Case {
    const char* url;
    bool accepted;
  };
  // A quote or blank would end the browser's argument; a control character
  // would start a line of its own.
  const Case cases[] = {
      {"https://example.org/java", true}, {"HTTP://example.org/a?b=c&d=%20e#f", true},
      {"https://[::1]:8443/x", true},     {"https://a\" --injected-flag \"x", false},
      {"https://a --flag", false},        {"https://a/'x'", false},
      {"https://a/\tx", false},           {"https://a/x\r\nnext", false},
      {"https://a/\xE9", false},          {"https://a/%2", false},
      {"https://a/%zz", false},           {"https://", false},
      {"https:///path", false},           {"ftp://example.org/", false},
      {"C:\\setup.exe", false},           {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isWebAddress(c.url), c.accepted) << c.url;
}

TEST(ErrorCodes, EveryInternalErrorHasACodeOfItsOwn) {
  const InternalError errors[] = {
      InternalError::extractionDirectoryNotMade, InternalError::includedFileNotMade,
      InternalError::includedFileNotWritten,     InternalError::firstRunClassMissing,
      InternalError::firstRunMethodMissing,      InternalError::extractionFailed,
      InternalError::unpackerNotStarted,         InternalError::argumentArrayNotMade,
      InternalError::argumentNotMade,
  };
  std::set<std::string> codes;
  for (InternalError error : errors) {
    std::string code = internalErrorCode(error);
    EXPECT_FALSE(code.empty());
    EXPECT_TRUE(codes.insert(code).second) << "code " << code << " shared";
  }
}

TEST(ConsoleNotes, GoToTheStandardOutputStream) {
  testfiles::TempDir dir;
  EXPECT_EQ("error 5\nerror 4294967295\n", testfiles::capturedStream(stdout, dir / "stdout.txt", [] {
              printSystemError(5);
              printSystemError(0xFFFFFFFFul);
            }));
}

}  // namespace
