// Fixed text buffers and the one place where their lengths are checked.
//
// Narrow texts and paths live in buffers of kTextBufferSize bytes (8191
// characters and the terminator); wide texts in kTextBufferSize units. Every
// copy, append and format of a narrow text into such a buffer goes through
// these helpers, which never write past the capacity and always terminate the
// result. They return false when the text had to be cut.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string_view>

constexpr size_t kTextBufferSize = 8192;

// A command line for CreateProcessA: at most 32767 characters and the terminator.
constexpr size_t kCommandLineSize = 32768;

bool copyText(char* dst, size_t capacity, const char* src);
bool appendText(char* dst, size_t capacity, const char* src);

// printf-style formatting into a fixed buffer; false when the result was cut.
bool formatText(char* dst, size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
bool formatTextV(char* dst, size_t capacity, const char* format, va_list args);

// The first characters of a longer text, e.g. one entry of a list; false when
// it had to be cut.
bool copyText(char* dst, size_t capacity, std::string_view src);

// Removes the line ends ("\n", "\r") at the end of a line read from a file.
void trimLineEnd(char* line);

// Calls visit(entry) with each non-empty entry of a ";"-separated list, as a
// view into the list, until visit returns true; whether one did.
template <typename Visit>
bool forEachListEntry(std::string_view list, Visit visit) {
  while (!list.empty()) {
    size_t end = list.find(';');
    std::string_view entry = list.substr(0, end);
    if (!entry.empty() && visit(entry)) return true;
    if (end == std::string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return false;
}

// A text buffer of kTextBufferSize bytes that lives for the whole run. Its
// storage is taken from the heap on first use, because a fixed buffer in
// static storage adds its size to the executable. It is never freed, so code
// that runs while the process ends can still read it.
class RunText {
 public:
  char* text() {
    if (storage_ == nullptr) storage_ = new char[kTextBufferSize]();
    return storage_;
  }
  static constexpr size_t capacity = kTextBufferSize;

 private:
  char* storage_ = nullptr;
};
