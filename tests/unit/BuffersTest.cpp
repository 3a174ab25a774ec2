// The bounded copy, append and format helpers: they cut at capacity - 1,
// always terminate, never write past the capacity, and say when they cut.
#include "Buffers.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr char kFill = '#';
constexpr size_t kGuard = 8;

// A buffer of `capacity` usable bytes followed by guard bytes that no helper
// may touch; every byte starts as kFill.
template <typename Char>
class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t capacity, const Char* initial = nullptr)
      : capacity_(capacity), bytes_(capacity + kGuard, static_cast<Char>(kFill)) {
    if (initial != nullptr) {
      for (size_t i = 0; initial[i] != 0; ++i) bytes_[i] = initial[i];
      bytes_[std::char_traits<Char>::length(initial)] = 0;
    }
  }
  Char* data() { return &bytes_[0]; }
  size_t capacity() const { return capacity_; }
  std::basic_string<Char> text() const { return std::basic_string<Char>(bytes_.c_str()); }
  bool guardIntact() const {
    for (size_t i = capacity_; i < bytes_.size(); ++i) {
      if (bytes_[i] != static_cast<Char>(kFill)) return false;
    }
    return true;
  }
  bool untouched() const {
    for (Char c : bytes_) {
      if (c != static_cast<Char>(kFill)) return false;
    }
    return true;
  }

 private:
  size_t capacity_;
  std::basic_string<Char> bytes_;
};

struct CopyCase {
  const char* source;
  size_t capacity;
  const char* expected;
  bool whole;
};

TEST(CopyText, CutsAtCapacityAndTerminates) {
  static const CopyCase cases[] = {
      {"abc", 10, "abc", true},
      {"abc", 4, "abc", true},  // exact fit with the terminator
      {"abcd", 4, "abc", false},
      {"abcdef", 1, "", false},
      {"", 1, "", true},
      {nullptr, 5, "", true},  // no text copies as the empty text
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(std::string("source ") + (c.source ? c.source : "(null)") + ", capacity " +
                 std::to_string(c.capacity));
    GuardedBuffer<char> buffer(c.capacity);
    EXPECT_EQ(c.whole, copyText(buffer.data(), buffer.capacity(), c.source));
    EXPECT_EQ(c.expected, buffer.text());
    EXPECT_TRUE(buffer.guardIntact());
  }
}

TEST(CopyText, CapacityZeroWritesNothing) {
  GuardedBuffer<char> buffer(0);
  EXPECT_FALSE(copyText(buffer.data(), 0, "abc"));
  EXPECT_FALSE(copyText(buffer.data(), 0, ""));
  EXPECT_TRUE(buffer.untouched());
}

struct AppendCase {
  const char* initial;
  const char* source;
  size_t capacity;
  const char* expected;
  bool whole;
};

TEST(AppendText, CutsAtCapacityAndTerminates) {
  static const AppendCase cases[] = {
      {"ab", "cd", 10, "abcd", true},
      {"ab", "cd", 5, "abcd", true},  // exact fit
      {"ab", "cde", 5, "abcd", false},
      {"abcd", "x", 5, "abcd", false},  // already full
      {"", "xyz", 3, "xy", false},
      {"ab", "", 3, "ab", true},
      {"ab", nullptr, 3, "ab", true},
  };
  for (const AppendCase& c : cases) {
    SCOPED_TRACE(std::string(c.initial) + " + " + (c.source ? c.source : "(null)") + ", capacity " +
                 std::to_string(c.capacity));
    GuardedBuffer<char> buffer(c.capacity, c.initial);
    EXPECT_EQ(c.whole, appendText(buffer.data(), buffer.capacity(), c.source));
    EXPECT_EQ(c.expected, buffer.text());
    EXPECT_TRUE(buffer.guardIntact());
  }
}

TEST(AppendText, UnterminatedDestinationIsLeftAlone) {
  // No terminator within the capacity: there is no end to append at.
  GuardedBuffer<char> buffer(4);
  EXPECT_FALSE(appendText(buffer.data(), buffer.capacity(), "x"));
  EXPECT_TRUE(buffer.untouched());
}

TEST(AppendText, CapacityZeroWritesNothing) {
  GuardedBuffer<char> buffer(0);
  EXPECT_FALSE(appendText(buffer.data(), 0, "x"));
  EXPECT_TRUE(buffer.untouched());
}

TEST(FormatText, CutsAtCapacityAndTerminates) {
  struct Case {
    size_t capacity;
    const char* expected;
    bool whole;
  };
  // "%s=%d" of "key", 1234 is "key=1234": eight characters.
  static const Case cases[] = {
      {20, "key=1234", true},
      {9, "key=1234", true},  // exact fit
      {8, "key=123", false},
      {4, "key", false},
      {1, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("capacity " + std::to_string(c.capacity));
    GuardedBuffer<char> buffer(c.capacity);
    EXPECT_EQ(c.whole, formatText(buffer.data(), buffer.capacity(), "%s=%d", "key", 1234));
    EXPECT_EQ(c.expected, buffer.text());
    EXPECT_TRUE(buffer.guardIntact());
  }
}

TEST(FormatText, CapacityZeroWritesNothing) {
  GuardedBuffer<char> buffer(0);
  EXPECT_FALSE(formatText(buffer.data(), 0, "%d", 5));
  EXPECT_TRUE(buffer.untouched());
}

TEST(FormatText, LongResultInFullSizeBuffer) {
  // Longer than the largest text a launcher buffer holds.
  std::string longText(kTextBufferSize + 100, 'x');
  static char buffer[kTextBufferSize];
  EXPECT_FALSE(formatText(buffer, sizeof buffer, "[%s]", longText.c_str()));
  EXPECT_EQ("[" + std::string(kTextBufferSize - 2, 'x'), std::string(buffer));
}

TEST(CopyText, PartOfALongerText) {
  struct Case {
    const char* text;
    size_t length;
    size_t capacity;
    const char* expected;
    bool whole;
  };
  const Case cases[] = {
      {"abc;def", 3, 8, "abc", true},
      {"abc;def", 3, 4, "abc", true},
      {"abc;def", 3, 3, "ab", false},
      {"abc", 0, 4, "", true},
  };
  for (const Case& c : cases) {
    GuardedBuffer<char> buffer(c.capacity);
    EXPECT_EQ(c.whole, copyText(buffer.data(), buffer.capacity(), std::string_view(c.text, c.length)));
    EXPECT_EQ(c.expected, buffer.text());
    EXPECT_TRUE(buffer.guardIntact());
  }
}

TEST(ForEachListEntry, VisitsNonEmptyEntriesUntilOneStops) {
  struct Case {
    const char* list;
    const char* stopAt;
    std::vector<std::string> visited;
    bool stopped;
  };
  const Case cases[] = {
      {"", "", {}, false},
      {";;", "", {}, false},
      {"a;bc;;d;", "", {"a", "bc", "d"}, false},
      {"a;bc;d", "bc", {"a", "bc"}, true},
      {"only", "", {"only"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> visited;
    bool stopped = forEachListEntry(c.list, [&](std::string_view entry) {
      visited.emplace_back(entry);
      return entry == c.stopAt;
    });
    EXPECT_EQ(c.visited, visited) << c.list;
    EXPECT_EQ(c.stopped, stopped) << c.list;
  }
}

TEST(TrimLineEnd, RemovesEveryLineEndAtTheEndOnly) {
  struct Case {
    const char* line;
    const char* expected;
  };
  const Case cases[] = {
      {"text\n", "text"}, {"text\r\n", "text"}, {"text\r\r\n\n", "text"}, {"a\nb\r\n", "a\nb"},
      {"\r\n", ""},      {"", ""},               {"plain", "plain"},        {" blank \n", " blank "},
  };
  for (const Case& c : cases) {
    char line[32];
    copyText(line, sizeof line, c.line);
    trimLineEnd(line);
    EXPECT_STREQ(c.expected, line) << c.line;
  }
}

}  // namespace
