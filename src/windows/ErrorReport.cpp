// The one family of error-reporting routines.
#include "ErrorReport.h"
#include "ErrorReportInternal.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Buffers.h"
#include "ConfigKeyNames.h"
#include "Log.h"
#include "Paths.h"
#include "WebAddress.h"

namespace {

// Read by whichever thread meets an error, so atomic. Message boxes are on
// until the quiet switch or key 107 turns them off; the owner is the splash
// window while it shows, set by the splash thread.
std::atomic<bool> boxesOn{true};
std::atomic<HWND> messageOwner{nullptr};

constexpr int kMostSteps = 4;
struct Steps {
  ReportStep step[kMostSteps];
  int count;
};

// What start-up hands the report, on the main thread before any other thread
// runs. Process-wide: any exit, from any unit, takes these steps and reads
// these texts.
struct ReportSetup {
  ConfiguredText text;
  ConfiguredNumber number;
  Steps beforeMessage;
  Steps beforeExit;
};
ReportSetup setup;

void takeSteps(const Steps& steps) {
  for (int i = 0; i < steps.count; ++i) steps.step[i]();
}

void textOf(int key, char* out, size_t capacity) {
  if (setup.text != nullptr) {
    setup.text(key, out, capacity);
  } else if (capacity > 0) {
    out[0] = 0;
  }
}

int numberOf(int key) { return setup.number != nullptr ? setup.number(key) : 0; }

}  // namespace

void setMessageSource(ConfiguredText text, ConfiguredNumber number) {
  setup.text = text;
  setup.number = number;
}

bool addReportStep(ReportMoment moment, ReportStep step) {
  Steps& steps = moment == ReportMoment::beforeMessage ? setup.beforeMessage : setup.beforeExit;
  if (steps.count >= kMostSteps) return false;
  steps.step[steps.count++] = step;
  return true;
}

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

void replaceEveryUse(char* text, size_t capacity, const char* placeholder, const char* value) {
  if (capacity == 0 || placeholder == nullptr || *placeholder == 0 || value == nullptr) return;
  // One pass over the text as configured: a value that holds the placeholder
  // (an exception's own text, say) is put in as it is, never filled again.
  std::vector<char> filled(capacity);
  filled[0] = 0;
  size_t placeholderLength = strlen(placeholder);
  const char* rest = text;
  for (const char* found = strstr(rest, placeholder); found != nullptr; found = strstr(rest, placeholder)) {
    size_t used = strlen(filled.data());
    copyText(filled.data() + used, capacity - used, std::string_view(rest, static_cast<size_t>(found - rest)));
    appendText(filled.data(), capacity, value);
    rest = found + placeholderLength;
  }
  appendText(filled.data(), capacity, rest);
  copyText(text, capacity, filled.data());
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
  formatText(out, capacity, kLogPathFormat, text, longPath);
}

namespace {

bool modernMessages() { return numberOf(key::modernRuntime) != 0; }

// Appends "\r\n\r\n" and a text, when there is one.
void appendParagraph(char* out, size_t capacity, const char* text) {
  if (text == nullptr || *text == 0) return;
  appendText(out, capacity, "\r\n\r\n");
  appendText(out, capacity, text);
}

// Shows a composed message; the answer of the box (IDOK without boxes).
int presentMessage(const char* message, UINT buttons) {
  if (!boxesOn) {
    // Binary, so that the text goes out as configured (its own CR LF line
    // breaks included) followed by exactly one line feed.
    _setmode(_fileno(stderr), _O_BINARY);
    fputs(message, stderr);
    fputc('\n', stderr);
    fflush(stderr);
    return IDOK;
  }
  char caption[kTextBufferSize];
  textOf(key::msgErrorCaption, caption, sizeof caption);
  // A splash window that is going away as the box comes up would take the
  // box with it: a window no longer there owns nothing.
  HWND owner = messageOwner;
  if (owner != nullptr && !IsWindow(owner)) owner = nullptr;
  return MessageBoxA(owner, message, caption, MB_ICONERROR | buttons);
}

// The text to show: the log's path, then in a box the copy hint (key 3006),
// then the question, if any.
int reportComposed(const char* text, const char* question, UINT buttons) {
  takeSteps(setup.beforeMessage);
  char message[kTextBufferSize];
  composeErrorMessage(message, sizeof message, text, logFilePath());
  if (boxesOn) {
    char hint[kTextBufferSize];
    textOf(key::msgCopyHint, hint, sizeof hint);
    appendParagraph(message, sizeof message, hint);
  }
  appendParagraph(message, sizeof message, question);
  return presentMessage(message, buttons);
}

// A key's text with its placeholders filled, one after the other.
void fillKeyText(char* out, size_t capacity, int key, const Filling* fillings, size_t count) {
  textOf(key, out, capacity);
  if (!modernMessages()) return;
  for (size_t i = 0; i < count; ++i) replaceEveryUse(out, capacity, fillings[i].placeholder, fillings[i].value);
}

}  // namespace

void showError(const char* text) { reportComposed(text, nullptr, MB_OK); }

void showErrorKeyWith(int key, const Filling* fillings, size_t count, const char* details) {
  char text[kTextBufferSize];
  fillKeyText(text, sizeof text, key, fillings, count);
  if (modernMessages()) appendParagraph(text, sizeof text, details);
  showError(text);
}

void fatalErrorKeyWith(int key, const Filling* fillings, size_t count, const char* details) {
  showErrorKeyWith(key, fillings, count, details);
  ExitProcess(static_cast<UINT>(ExitCode::failed));
}

bool isWebAddress(const char* url) { return webaddress::check(url).problem == webaddress::Problem::none; }

void showNoRuntimeError(int key, const Filling* fillings, size_t count) {
  char text[kTextBufferSize];
  fillKeyText(text, sizeof text, key, fillings, count);
  char url[kTextBufferSize];
  textOf(key::downloadUrl, url, sizeof url);
  if (url[0] == 0 || !isWebAddress(url)) {
    if (url[0] != 0) logError("download page %s is not a web address", url);
    showError(text);
    return;
  }
  char question[kTextBufferSize];
  char asked[kTextBufferSize];
  textOf(key::msgOpenDownloadPage, question, sizeof question);
  if (!boxesOn || question[0] == 0) {
    // Nothing to ask with: the address is shown, unless the text names it already.
    if (strstr(text, url) == nullptr) {
      appendText(text, sizeof text, "\r\n");
      appendText(text, sizeof text, url);
    }
    showError(text);
    return;
  }
  replacePlaceholder(asked, sizeof asked, question, kDownloadUrlPlaceholder, url);
  if (reportComposed(text, asked, MB_YESNO) != IDYES) return;
  logInfo("opening %s", url);
  ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
}

void showErrorKey(int key, const char* placeholder, const char* value) {
  char text[kTextBufferSize];
  textOf(key, text, sizeof text);
  char filled[kTextBufferSize];
  replacePlaceholder(filled, sizeof filled, text, placeholder, value);
  showError(filled);
}

void fatalError(const char* text) {
  showError(text);
  ExitProcess(static_cast<UINT>(ExitCode::failed));
}

void fatalErrorKey(int key, const char* placeholder, const char* value) {
  showErrorKey(key, placeholder, value);
  ExitProcess(static_cast<UINT>(ExitCode::failed));
}

void exitLauncher(ExitCode code) {
  takeSteps(setup.beforeExit);
  ExitProcess(static_cast<UINT>(code));
}

void fatalInternalError(InternalError error) {
  fatalErrorKey(key::msgInternalError, kErrorCodePlaceholder, internalErrorCode(error));
}

void fatalBlockError(BlockError error) { fatalError(blockErrorText(error)); }

void printSystemError(unsigned long code) {
  char line[32];
  formatText(line, sizeof line, kSystemErrorLineFormat, code);
  fputs(line, stdout);
  fflush(stdout);
}

void fatalNoWritableLocation() {
  MessageBoxA(nullptr, kNoWritableLocation, kNoWritableLocationCaption, MB_ICONERROR);
  exitLauncher(ExitCode::failed);
}

void announceRuntimeUnpacking() {
  fputs(kUnpackingRuntime, stdout);
  fflush(stdout);
}
