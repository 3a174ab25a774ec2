// Splitting command lines and configured texts into arguments: the
// launcher's own rule (blanks separate, double quotes and apostrophes group,
// nothing escapes) and the Microsoft C runtime's rule of key 3001.
#include "ArgumentSplitting.h"
#include "CommandLineInternal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SplitCase {
  const char* what;
  const wchar_t* text;
  std::vector<std::wstring> expected;
};

const SplitCase kSplitCases[] = {
    {"quoted program path", L"\"C:\\Program Files\\App\\app.exe\" -x", {L"C:\\Program Files\\App\\app.exe", L"-x"}},
    {"unquoted program path", L"C:\\app\\app.exe one", {L"C:\\app\\app.exe", L"one"}},
    {"run of blanks", L"a  b", {L"a", L"b"}},
    {"blanks at both ends", L"   a b   ", {L"a", L"b"}},
    {"only blanks", L"    ", {}},
    {"empty text", L"", {}},
    {"tab is ordinary", L"a\tb c", {L"a\tb", L"c"}},
    {"apostrophes and double quotes", L"'one two' \"three 'four'\"", {L"one two", L"three 'four'"}},
    {"double quote inside apostrophes", L"'say \"hi\"'", {L"say \"hi\""}},
    {"empty quoted argument", L"\"\"", {L""}},
    {"empty apostrophe argument between words", L"a '' b", {L"a", L"", L"b"}},
    {"text right behind closing quote", L"\"a\"b", {L"a", L"b"}},
    {"quoted argument right behind closing quote", L"\"a\"'b c'", {L"a", L"b c"}},
    {"backslashes are ordinary", L"C:\\dir\\ x", {L"C:\\dir\\", L"x"}},
    {"backslash before a quote does not escape", L"\"a\\\" b", {L"a\\", L"b"}},
    {"quote after other characters joins the word", L"-Dx=\"a b\" c", {L"-Dx=a b", L"c"}},
    {"single word", L"word", {L"word"}},
};

TEST(SplitArguments, CasesOfTheTable) {
  for (const SplitCase& c : kSplitCases) {
    WideArgumentList list;
    ASSERT_EQ(SplitResult::ok, trySplitArguments(c.text, list)) << c.what;
    std::vector<std::wstring> got(list.begin(), list.end());
    EXPECT_EQ(c.expected, got) << c.what;
  }
}

TEST(SplitArguments, UnclosedQuoteIsWrongUsageAndAddsNothing) {
  const wchar_t* texts[] = {
      L"don't",
      L"app.exe don't stop",
      L"C:\\o'brien\\app.exe -x",
      L"\"C:\\Program Files\\app.exe -x",
      L"a \"b",
      L"'open",
      L"\"it's\" 'x",
  };
  for (const wchar_t* text : texts) {
    WideArgumentList list{const_cast<wchar_t*>(L"kept")};
    EXPECT_EQ(SplitResult::unclosedQuote, trySplitArguments(text, list)) << std::wstring(text).c_str();
    EXPECT_EQ(1u, list.size());
  }
}

TEST(SplitArguments, AppendsToWhatTheListHolds) {
  WideArgumentList list;
  ASSERT_EQ(SplitResult::ok, trySplitArguments(L"app.exe a", list));
  ASSERT_EQ(SplitResult::ok, trySplitArguments(L"'b c'", list));
  std::vector<std::wstring> got(list.begin(), list.end());
  EXPECT_EQ((std::vector<std::wstring>{L"app.exe", L"a", L"b c"}), got);
}

// The C runtime's rule for arguments after the program name, as java.exe
// splits them (its modern rule: "" inside quotes is a literal quote and the
// quoted part goes on).
const SplitCase kCrtArgumentCases[] = {
    {"empty text", L"", {}},
    {"blanks and tabs only", L" \t  \t", {}},
    {"blanks and tabs separate", L" a\tb  \t c ", {L"a", L"b", L"c"}},
    {"tab inside quotes is kept", L"\"a\tb\"", {L"a\tb"}},
    {"apostrophe is ordinary", L"O'Brien.txt 'a b'", {L"O'Brien.txt", L"'a", L"b'"}},
    {"escaped quotes inside quotes", L"\"say \\\"hi\\\"\"", {L"say \"hi\""}},
    {"backslashes not before a quote are ordinary", L"C:\\a\\\\b\\ x", {L"C:\\a\\\\b\\", L"x"}},
    {"2N backslashes before a quote: N and the quote groups", L"a\\\\\"b c\"", {L"a\\b c"}},
    {"2N+1 backslashes before a quote: N and a literal quote", L"a\\\\\\\"b c", {L"a\\\"b", L"c"}},
    {"trailing backslash of a quoted path escapes the quote", L"\"C:\\dir\\\" x", {L"C:\\dir\" x"}},
    {"doubled trailing backslash closes the quote", L"\"C:\\Program Files\\\\\" x", {L"C:\\Program Files\\", L"x"}},
    {"trailing backslash at the end of the text", L"a\\", {L"a\\"}},
    {"doubled quote inside quotes is a quote, quoting goes on", L"\"a\"\"b c\" d", {L"a\"b c", L"d"}},
    {"three quotes are one quote", L"\"\"\" x", {L"\" x"}},
    {"four quotes are one quote", L"\"\"\"\" x", {L"\"", L"x"}},
    {"empty arguments", L"\"\" a \"\" \"\"", {L"", L"a", L"", L""}},
    {"quote in the middle of a word", L"-Dx=\"a b\"c d", {L"-Dx=a bc", L"d"}},
    {"unclosed quote runs to the end", L"a \"b c", {L"a", L"b c"}},
    {"non-ASCII", L"caf\u00e9 \"\u20ac x\" \U0001F600", {L"caf\u00e9", L"\u20ac x", L"\U0001F600"}},
};

TEST(SplitCrtArguments, CasesOfTheTable) {
  for (const SplitCase& c : kCrtArgumentCases) {
    std::vector<std::wstring> got;
    splitCrtArgumentPieces(c.text, got);
    EXPECT_EQ(c.expected, got) << c.what;
  }
}

// A whole command line: the program name by the C runtime's simpler rule for
// it, then the arguments as above.
const SplitCase kCrtCommandLineCases[] = {
    {"quoted program path", L"\"C:\\Program Files\\App\\app.exe\" -x", {L"C:\\Program Files\\App\\app.exe", L"-x"}},
    {"backslash before the program's closing quote is ordinary",
     L"\"C:\\dir\\\"app.exe x",
     {L"C:\\dir\\app.exe", L"x"}},
    {"program name with an apostrophe", L"C:\\o'brien\\app.exe -x", {L"C:\\o'brien\\app.exe", L"-x"}},
    {"tab ends the program name", L"app.exe\t\"a\"", {L"app.exe", L"a"}},
    {"program name alone", L"app.exe", {L"app.exe"}},
    {"empty command line has an empty program name", L"", {L""}},
    {"blank first: empty program name", L" a", {L"", L"a"}},
    {"unclosed quote in the program name", L"\"C:\\my app\\app.exe", {L"C:\\my app\\app.exe"}},
    {"a user's command line",
     L"app.exe O'Brien.txt \"say \\\"hi\\\"\" \"C:\\out dir\\\\\"",
     {L"app.exe", L"O'Brien.txt", L"say \"hi\"", L"C:\\out dir\\"}},
};

TEST(SplitCrtCommandLine, CasesOfTheTable) {
  for (const SplitCase& c : kCrtCommandLineCases) {
    std::vector<std::wstring> got;
    splitCrtCommandLinePieces(c.text, got);
    EXPECT_EQ(c.expected, got) << c.what;
  }
}

TEST(SplitNarrowArguments, SplitsLikeTheWideForm) {
  NarrowArgumentList list;
  ASSERT_EQ(SplitResult::ok, trySplitNarrowArguments("-Xmx64m  '-Dname=a b' \"\" -Dq=\"x y\"", list));
  std::vector<std::string> got(list.begin(), list.end());
  EXPECT_EQ((std::vector<std::string>{"-Xmx64m", "-Dname=a b", "", "-Dq=x y"}), got);
}

TEST(SplitNarrowArguments, KeepsAnsiCharactersAndLongTexts) {
  // A character of the ANSI code page outside ASCII comes back as it went in.
  char upperAe = static_cast<char>(0xC4);
  std::string accented = std::string("-Dn=") + upperAe + "x";
  // Longer than the 8191 characters of a text buffer.
  std::string longOption = "-Dlong=" + std::string(9000, 'v');
  NarrowArgumentList list;
  ASSERT_EQ(SplitResult::ok, trySplitNarrowArguments((accented + " " + longOption).c_str(), list));
  std::vector<std::string> got(list.begin(), list.end());
  EXPECT_EQ((std::vector<std::string>{accented, longOption}), got);
}

TEST(SplitNarrowArguments, UnclosedQuoteIsWrongUsage) {
  NarrowArgumentList list;
  EXPECT_EQ(SplitResult::unclosedQuote, trySplitNarrowArguments("-Da=b -Dc='d", list));
  EXPECT_TRUE(list.empty());
}

TEST(SplitNarrowArguments, EmptyTextYieldsNothing) {
  NarrowArgumentList list;
  EXPECT_EQ(SplitResult::ok, trySplitNarrowArguments("", list));
  EXPECT_EQ(SplitResult::ok, trySplitNarrowArguments("   ", list));
  EXPECT_TRUE(list.empty());
}

TEST(TextConversions, WholeTextsBothWaysAtFullLength) {
  const unsigned kUtf8 = 65001;
  const std::string longText(20000, 'v');
  struct Case {
    const char* what;
    std::string narrow;
    std::wstring wide;
  };
  const Case cases[] = {
      {"empty", "", L""},
      {"ASCII", "-Dx=1", L"-Dx=1"},
      {"outside ASCII and outside the basic plane", "caf\xc3\xa9 \xf0\x9f\x98\x80", L"caf\u00e9 \U0001F600"},
      {"longer than a text buffer", longText, std::wstring(longText.begin(), longText.end())},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.wide, wideFromNarrow(c.narrow.c_str(), kUtf8)) << c.what;
    EXPECT_EQ(c.narrow, narrowFromWide(c.wide.c_str(), kUtf8)) << c.what;
  }
}

}  // namespace
