// Whether the environment asks for the diagnostic log.
#include "Log.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestFiles.h"

namespace {

class LogRequest : public testing::Test {
 protected:
  // Sets both variables; nullptr removes one.
  void setVariables(const char* tovex, const char* vandrel) {
    ASSERT_TRUE(SetEnvironmentVariableA("TOVEX_LOG", tovex));
    ASSERT_TRUE(SetEnvironmentVariableA("VANDREL_LOG", vandrel));
  }

 private:
  testfiles::SavedVariable tovex_{"TOVEX_LOG"};
  testfiles::SavedVariable vandrel_{"VANDREL_LOG"};
};

TEST_F(LogRequest, OnlyTheExactWordYesCounts) {
  struct Case {
    const char* tovex;
    const char* vandrel;
    bool requested;
  };
  static const Case cases[] = {
      {nullptr, nullptr, false},
      {"yes", nullptr, true},
      {nullptr, "yes", true},
      {"yes", "yes", true},
      {"no", "yes", true},
      {"yes", "no", true},
      {"Yes", nullptr, false},
      {"YES", nullptr, false},
      {"yes ", nullptr, false},
      {" yes", nullptr, false},
      {"ye", nullptr, false},
      {"1", "true", false},
      {"", "", false},
      {nullptr, "Yes", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("TOVEX_LOG=") + (c.tovex ? c.tovex : "(unset)") +
                 " VANDREL_LOG=" + (c.vandrel ? c.vandrel : "(unset)"));
    setVariables(c.tovex, c.vandrel);
    EXPECT_EQ(c.requested, logRequestedByEnvironment());
  }
}

TEST_F(LogRequest, ValueLongerThanATextBufferIsNotYes) {
  std::string tooLong = "yes" + std::string(9000, ' ');
  setVariables(tooLong.c_str(), nullptr);
  EXPECT_FALSE(logRequestedByEnvironment());

  // The other variable still counts.
  setVariables(tooLong.c_str(), "yes");
  EXPECT_TRUE(logRequestedByEnvironment());
}

}  // namespace
