// The one family of error-reporting routines.
#include "ErrorReport.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "Buffers.h"
#include "Config.h"
#include "DeletionQueue.h"
#include "Log.h"
#include "Paths.h"
#include "Splash.h"

namespace {

// Message boxes are on until the quiet switch or key 107 turns them off.
volatile bool boxesOn = true;
// Written once by the splash thread, read by the thread that meets an error.
HWND volatile messageOwner = nullptr;

}  // namespace

void setQuiet() { boxesOn = false; }

bool messageBoxesOn() { return boxesOn; }

void setMessageOwner(HWND window) { messageOwner = window; }

HWND messageOwnerWindow() { return messageOwner; }

void replacePlaceholder(char* out, size_t capacity, const char* text, const char* placeholder,
                        const char* value) {
  const char* found = (placeholder != nullptr && *placeholder != 0) ? strstr(text, placeholder) : nullptr;
  if (found == nullptr || value == nullptr) {
    copyText(out, capacity, text);
    return;
  }
  size_t before = static_cast<size_t>(found - text);
  if (before >= capacity) before = capacity - 1;
  memcpy(out, text, before);
  out[before] = 0;
  appendText(out, capacity, value);
  appendText(out, capacity, found + strlen(placeholder));
}

void composeErrorMessage(char* out, size_t capacity, const char* text, const char* logPath) {
  if (logPath == nullptr) {
    copyText(out, capacity, text);
    return;
  }
  char longPath[kTextBufferSize];
  DWORD length = toLongPath(logPath, longPath, sizeof longPath);
  if (length == 0 || length >= sizeof longPath) copyText(longPath, sizeof longPath, logPath);
  // A text too long for the log suffix keeps its own words and loses the end of the suffix.
  formatText(out, capacity, "%s\n\nLog: %s", text, longPath);
}

void showError(const char* text) {
  queueRegisteredTemps();
  hideSplash();

  char message[kTextBufferSize];
  composeErrorMessage(message, sizeof message, text, logFilePath());

  if (boxesOn) {
    char caption[kTextBufferSize];
    configString(key::msgErrorCaption, caption, sizeof caption);
    // A splash window that is going away as the box comes up would take the
    // box with it: a window no longer there owns nothing.
    HWND owner = messageOwner;
    if (owner != nullptr && !IsWindow(owner)) owner = nullptr;
    MessageBoxA(owner, message, caption, MB_ICONERROR);
  } else {
    // Binary, so that the text goes out as configured (its own CR LF line
    // breaks included) followed by exactly one line feed.
    _setmode(_fileno(stderr), _O_BINARY);
    fprintf(stderr, "%s\n", message);
    fflush(stderr);
  }
}

void showErrorKey(int key, const char* placeholder, const char* value) {
  char text[kTextBufferSize];
  configString(key, text, sizeof text);
  char filled[kTextBufferSize];
  replacePlaceholder(filled, sizeof filled, text, placeholder, value);
  showError(filled);
}

void fatalError(const char* text) {
  showError(text);
  ExitProcess(1);
}

void fatalErrorKey(int key, const char* placeholder, const char* value) {
  showErrorKey(key, placeholder, value);
  ExitProcess(1);
}

void exitLauncher(int code) {
  queueRegisteredTemps();
  ExitProcess(static_cast<UINT>(code));
}
