// Why the start cannot go on, as a value: a start-up step hands it back to
// runLauncher, which shows its message and ends the process, instead of
// ending the process itself deep inside a helper.
#pragma once
#include <string>

#include "ErrorCodes.h"

struct StartFailure {
  enum class Kind {
    none,
    message,          // key's text, its placeholder's first use filled
    messageFillings,  // key's text, every use of its placeholder filled, then text as details
    text,             // a fixed text
  };
  Kind kind = Kind::none;
  int key = 0;
  const char* placeholder = nullptr;  // one of the placeholder constants, or none
  std::string value;  // what fills the placeholder
  std::string text;  // the fixed text, or the details after the message

  explicit operator bool() const { return kind != Kind::none; }
};

// Message key, its placeholder (when given) filled with value.
StartFailure messageFailure(int key, const char* placeholder = nullptr, const char* value = nullptr);
// Message 1009 with the internal error's code.
StartFailure internalFailure(InternalError error);
// The block's fixed text for what could not be read.
StartFailure blockFailure(BlockError error);

// Shows the failure's message as the error report shows any and ends the
// process with exit code 1.
[[noreturn]] void reportStartFailure(const StartFailure& failure);
