// Reading the command line at start-up: the tail after the program name, and
// the two internal requests it may carry.
#include "LauncherInternal.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CommandLineTail, SkipsProgramNameAndFollowingBlanks) {
  struct Case {
    const char* commandLine;
    const char* tail;
  };
  static const Case cases[] = {
      {"app.exe -x y", "-x y"},
      {"app.exe", ""},
      {"", ""},
      {"  \t app.exe \t -x", "-x"},
      {"app.exe\t-x", "-x"},
      {"app.exe -x  ", "-x  "},  // only the blanks before the tail go
      {"\"C:\\Program Files\\App\\app.exe\" -x", "-x"},
      {"\"C:\\Program Files\\App\\app.exe\"-x", "-x"},  // the closing quote ends the name
      {"\"C:\\My App\\app.exe\"   \"quoted arg\"", "\"quoted arg\""},
      {"\"C:\\My App\\app.exe -x", ""},  // no closing quote: the name runs to the end
      {"\"\" -x", "-x"},
      {"c:\\dir\\app\"x\".exe -y", "-y"},  // a quote inside an unquoted name is part of it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("command line [") + c.commandLine + "]");
    EXPECT_STREQ(c.tail, commandLineTail(c.commandLine));
  }
}

TEST(CommandLineTail, PointsIntoTheGivenText) {
  const char* line = "app.exe -x";
  EXPECT_EQ(line + 8, commandLineTail(line));
}

TEST(InternalRequests, RebootOnlyAsTheWholeTail) {
  struct Case {
    const char* tail;
    bool reboot;
  };
  static const Case cases[] = {
      {"__vdl_reboot", true},
      {"__vdl_reboot ", false},
      {"__vdl_reboot x", false},
      {"__vdl_rebootx", false},
      {"__VDL_REBOOT", false},
      {"__vdl_reboo", false},
      {"x __vdl_reboot", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("tail [") + c.tail + "]");
    EXPECT_EQ(c.reboot, isRebootRequest(c.tail));
  }
}

TEST(InternalRequests, QuietSwitchIsACaseSensitivePrefix) {
  struct Case {
    const char* tail;
    bool quiet;
  };
  static const Case cases[] = {
      {"-q_vdl_internal", true},
      {"-q_vdl_internal arg", true},
      {"-q_vdl_internalx", true},
      {"-Q_VDL_INTERNAL", false},
      {"-q_vdl_interna", false},
      {" -q_vdl_internal", false},
      {"arg -q_vdl_internal", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("tail [") + c.tail + "]");
    EXPECT_EQ(c.quiet, isQuietSwitch(c.tail));
  }
}

// The launcher reads its whole command line through these two steps.
TEST(InternalRequests, RecognisedBehindAProgramName) {
  EXPECT_TRUE(isRebootRequest(commandLineTail("\"C:\\My App\\app.exe\"  __vdl_reboot")));
  EXPECT_TRUE(isQuietSwitch(commandLineTail("app.exe\t-q_vdl_internal -x")));
}

}  // namespace
