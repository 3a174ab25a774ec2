// Variables in configured texts: the fixed variables in both forms and under
// both prefixes, environment variables as ${NAME}, and buffers that a
// substitution would outgrow.
#include "VariableSubstitution.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Buffers.h"
#include "Paths.h"
#include "TestFiles.h"

namespace {

const VariableValues kValues{"C:\\apps\\demo\\", "C:\\temp\\vdl42", "C:\\jre\\bin\\.."};

std::string substituted(const std::string& text, const VariableValues& values = kValues) {
  std::vector<char> buffer(kTextBufferSize, 0);
  text.copy(buffer.data(), text.size());
  EXPECT_TRUE(substituteVariables(buffer.data(), buffer.size(), values)) << text;
  return buffer.data();
}

struct Case {
  const char* text;
  const char* expected;
};

TEST(SubstituteVariables, FixedVariablesInBothFormsAndPrefixes) {
  const Case cases[] = {
      {"%TOVEX_EXEDIR%", "C:\\apps\\demo\\"},
      {"%VANDREL_EXEDIR%", "C:\\apps\\demo\\"},
      {"${TOVEX_EXEDIR}", "C:\\apps\\demo\\"},
      {"${VANDREL_EXEDIR}", "C:\\apps\\demo\\"},
      {"%TOVEX_TEMPDIR%", "C:\\temp\\vdl42"},
      {"%VANDREL_TEMPDIR%", "C:\\temp\\vdl42"},
      {"${TOVEX_TEMPDIR}", "C:\\temp\\vdl42"},
      {"${VANDREL_TEMPDIR}", "C:\\temp\\vdl42"},
      {"%TOVEX_PATHLIST_SEPARATOR%", ";"},
      {"%VANDREL_PATHLIST_SEPARATOR%", ";"},
      {"${TOVEX_PATHLIST_SEPARATOR}", ";"},
      {"${VANDREL_PATHLIST_SEPARATOR}", ";"},
      {"%TOVEX_JVM_HOME%", "C:\\jre\\bin\\.."},
      {"%VANDREL_JVM_HOME%", "C:\\jre\\bin\\.."},
      {"${TOVEX_JVM_HOME}", "C:\\jre\\bin\\.."},
      {"${VANDREL_JVM_HOME}", "C:\\jre\\bin\\.."},
      {"%TOVEX_EXEDIR%lib\\app.jar", "C:\\apps\\demo\\lib\\app.jar"},
      {"%TOVEX_EXEDIR%\\lib", "C:\\apps\\demo\\\\lib"},
      {"a%TOVEX_PATHLIST_SEPARATOR%b${VANDREL_PATHLIST_SEPARATOR}c%TOVEX_PATHLIST_SEPARATOR%d", "a;b;c;d"},
      {"-Dhome=${TOVEX_JVM_HOME} -Dtmp=%VANDREL_TEMPDIR%", "-Dhome=C:\\jre\\bin\\.. -Dtmp=C:\\temp\\vdl42"},
      // Names are case-sensitive; unknown tokens stay.
      {"%tovex_exedir%", "%tovex_exedir%"},
      {"${Tovex_ExeDir}", "${Tovex_ExeDir}"},
      {"%TOVEX_NOTHING% ${VANDREL_NOTHING} %TOVEX_EXEDIR", "%TOVEX_NOTHING% ${VANDREL_NOTHING} %TOVEX_EXEDIR"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, substituted(c.text)) << c.text;
}

TEST(SubstituteVariables, BuildWithoutIncludedFilesHasEmptyTempDir) {
  VariableValues values{"C:\\apps\\", "", "C:\\jre\\bin\\.."};
  EXPECT_EQ("[]", substituted("[${TOVEX_TEMPDIR}]", values));
  EXPECT_EQ("[]", substituted("[%VANDREL_TEMPDIR%]", values));
}

TEST(SubstituteVariables, EnvironmentVariablesOnlyInBraceForm) {
  testfiles::SavedVariable saved("TovexMixed_Var");
  ASSERT_TRUE(SetEnvironmentVariableA("TovexMixed_Var", "C:\\bin"));
  const Case cases[] = {
      {"${TovexMixed_Var}", "C:\\bin"},
      {"${TOVEXMIXED_VAR}", "C:\\bin"},
      {"${tovexmixed_var}", "${tovexmixed_var}"},
      {"%TovexMixed_Var%", "%TovexMixed_Var%"},
      {"%TOVEXMIXED_VAR%", "%TOVEXMIXED_VAR%"},
      {"x${TovexMixed_Var}y${TOVEXMIXED_VAR}z", "xC:\\binyC:\\binz"},
      {"${TOVEX_NO_SUCH_VARIABLE_HERE}", "${TOVEX_NO_SUCH_VARIABLE_HERE}"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, substituted(c.text)) << c.text;
}

TEST(SubstituteVariables, ValueIsNotSearchedAgainForItsOwnToken) {
  VariableValues values{"D:\\%TOVEX_EXEDIR%\\", "", ""};
  EXPECT_EQ("D:\\%TOVEX_EXEDIR%\\|D:\\%TOVEX_EXEDIR%\\", substituted("%TOVEX_EXEDIR%|%TOVEX_EXEDIR%", values));

  testfiles::SavedVariable upper("TOVEXSELF");
  ASSERT_TRUE(SetEnvironmentVariableA("TOVEXSELF", "a${TOVEXSELF}"));
  EXPECT_EQ("a${TOVEXSELF}-a${TOVEXSELF}", substituted("${TOVEXSELF}-${TOVEXSELF}"));
}

TEST(SubstituteVariables, LaterStepsExpandWhatEarlierOnesBroughtIn) {
  testfiles::SavedVariable saved("TOVEXINNER");
  ASSERT_TRUE(SetEnvironmentVariableA("TOVEXINNER", "inner"));
  VariableValues values{"C:\\${TOVEXINNER}\\", "", ""};
  EXPECT_EQ("C:\\inner\\", substituted("%TOVEX_EXEDIR%", values));
}

TEST(SubstituteVariables, RunDefaultsUseTheExecutablesDirectory) {
  char text[kTextBufferSize] = "%TOVEX_EXEDIR%app.jar";
  substituteVariables(text, sizeof text, VariableValues{executableDirectory(), "", ""});
  EXPECT_EQ(std::string(executableDirectory()) + "app.jar", text);
}

constexpr char kFill = '#';
constexpr size_t kGuard = 16;

// A text in a buffer of `capacity` bytes, followed by guard bytes.
struct Guarded {
  Guarded(size_t capacity, const std::string& text) : capacity(capacity), bytes(capacity + kGuard, kFill) {
    text.copy(&bytes[0], text.size());
    bytes[text.size()] = 0;
  }
  char* data() { return &bytes[0]; }
  std::string text() const { return bytes.c_str(); }
  bool guardIntact() const { return bytes.find_first_not_of(kFill, capacity) == std::string::npos; }
  size_t capacity;
  std::string bytes;
};

struct ReplaceCase {
  const char* what;
  size_t capacity;
  const char* text;
  const char* token;
  const char* value;
  const char* expected;
  bool whole;
};

TEST(ReplaceAll, RefusesReplacementsThatWouldNotFit) {
  const ReplaceCase cases[] = {
      {"fits exactly", 8, "<T>", "T", "abcde", "<abcde>", true},
      {"one byte too long", 8, "<T>", "T", "abcdef", "<T>", false},
      {"first fits, second refused", 8, "TT", "T", "abcd", "abcdT", false},
      {"shrinking always fits", 4, "abc", "abc", "", "", true},
      {"token longer than value", 6, "xTOKx", "TOK", "y", "xyx", true},
      {"every occurrence", 32, "T-T-T", "T", "ab", "ab-ab-ab", true},
      {"value holding the token", 32, "TT", "T", "TT", "TTTT", true},
      {"no occurrence", 4, "abc", "T", "0123456789", "abc", true},
      {"empty token changes nothing", 8, "abc", "", "x", "abc", true},
  };
  for (const ReplaceCase& c : cases) {
    Guarded buffer(c.capacity, c.text);
    EXPECT_EQ(c.whole, replaceAll(buffer.data(), c.capacity, c.token, c.value)) << c.what;
    EXPECT_EQ(c.expected, buffer.text()) << c.what;
    EXPECT_TRUE(buffer.guardIntact()) << c.what;
  }
}

TEST(ReplaceAll, UnterminatedTextIsLeftAlone) {
  Guarded buffer(4, "");
  buffer.bytes.replace(0, 4, "TTTT");
  EXPECT_FALSE(replaceAll(buffer.data(), 4, "T", "x"));
  EXPECT_EQ(std::string(4 + kGuard, 'T').replace(4, kGuard, kGuard, kFill), buffer.bytes);
}

TEST(SubstituteVariables, FullBufferKeepsTokensAndGuards) {
  // A text one step short of the buffer's end: only the shrinking
  // replacement fits.
  std::string filler(kTextBufferSize - 1 - 40, 'f');
  std::string text = filler + "%TOVEX_PATHLIST_SEPARATOR%%TOVEX_EXEDIR%";
  ASSERT_EQ(kTextBufferSize - 1, text.size() + 0);
  Guarded buffer(kTextBufferSize, text.substr(0, kTextBufferSize - 1));
  VariableValues values{"C:\\a\\much\\longer\\directory\\than\\the\\token\\", "", ""};
  EXPECT_FALSE(substituteVariables(buffer.data(), kTextBufferSize, values));
  EXPECT_EQ(filler + ";%TOVEX_EXEDIR%", buffer.text());
  EXPECT_TRUE(buffer.guardIntact());

  testfiles::SavedVariable saved("TOVEXLONG");
  ASSERT_TRUE(SetEnvironmentVariableA("TOVEXLONG", std::string(100, 'v').c_str()));
  Guarded env(kTextBufferSize, std::string(kTextBufferSize - 20, 'g') + "${TOVEXLONG}");
  EXPECT_FALSE(substituteVariables(env.data(), kTextBufferSize, values));
  EXPECT_EQ(std::string(kTextBufferSize - 20, 'g') + "${TOVEXLONG}", env.text());
  EXPECT_TRUE(env.guardIntact());
}

TEST(SubstituteVariables, OverlongEnvironmentEntryIsLeftOut) {
  testfiles::SavedVariable saved("TOVEXHUGE");
  ASSERT_TRUE(SetEnvironmentVariableA("TOVEXHUGE", std::string(kTextBufferSize + 100, 'h').c_str()));
  char text[kTextBufferSize] = "${TOVEXHUGE}";
  EXPECT_FALSE(substituteVariables(text, sizeof text, kValues));
  EXPECT_STREQ("${TOVEXHUGE}", text);
}

}  // namespace
