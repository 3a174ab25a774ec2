// Every way the launcher ends and every code or fixed text it shows, in one
// place: a new exit, internal error or fixed text is added here first.
#pragma once

// The process's exit codes.
enum class ExitCode : unsigned {
  success = 0,     // the application ended, or a running instance took over
  failed = 1,      // a reported failure
  noRuntime = 83,  // no usable Java runtime; the search showed its own message
};

// Internal errors, shown by message 1009 with their code in place of
// %ERROR_CODE%. The codes are the ones users and support already know.
enum class InternalError {
  extractionDirectoryNotMade,  // "7"
  includedFileNotMade,         // "11"
  includedFileNotWritten,      // "13"
  firstRunClassMissing,        // "14": the installer's first-run class
  firstRunMethodMissing,       // "15": its first-run method
  extractionFailed,            // "16": the included files as a whole
  unpackerNotStarted,          // "20": the packed runtime's unpack200.exe
  argumentArrayNotMade,        // "paramArray": the starter's String[]
  argumentNotMade,             // "jstr": one of its strings
};

constexpr const char* internalErrorCode(InternalError error) {
  switch (error) {
    case InternalError::extractionDirectoryNotMade: return "7";
    case InternalError::includedFileNotMade: return "11";
    case InternalError::includedFileNotWritten: return "13";
    case InternalError::firstRunClassMissing: return "14";
    case InternalError::firstRunMethodMissing: return "15";
    case InternalError::extractionFailed: return "16";
    case InternalError::unpackerNotStarted: return "20";
    case InternalError::argumentArrayNotMade: return "paramArray";
    case InternalError::argumentNotMade: return "jstr";
  }
  return "";
}

// Message 3008's text when the block has none (a block written before it).
constexpr const char* kNoWorkingDirectoryText = "The working directory %FILE_NAME% cannot be entered.";

// Failures met while the executable's own block is read: the message texts
// are not known yet, so each has a fixed text.
enum class BlockError {
  executableNotOpened,
  badMagic,
  readInt,
  readString,
  readWideString,
};

constexpr const char* blockErrorText(BlockError error) {
  switch (error) {
    case BlockError::executableNotOpened:
      return "Error opening media file. Please move this file to an ascii-only path like c:\\";
    case BlockError::badMagic: return "Internal Error: magic";
    case BlockError::readInt: return "Internal Error: readInt";
    case BlockError::readString: return "Internal Error: readString";
    case BlockError::readWideString: return "Internal Error: readWString";
  }
  return "";
}

// No temporary location can be written to: a message box with these, even
// when message boxes are off.
constexpr const char* kNoWritableLocation = "I am sorry, but you must be at least Poweruser to run this program.\n";
constexpr const char* kNoWritableLocationCaption = "Error";

// The note on the standard output stream while a packed runtime is restored.
constexpr const char* kUnpackingRuntime = "Preparing JRE ...\n";

// A message with the log's path below it: the text, then the path.
constexpr const char* kLogPathFormat = "%s\n\nLog: %s";

// A failed read's system code on the standard output stream.
constexpr const char* kSystemErrorLineFormat = "error %lu\n";

// What messages 1001 and 3003 fill in for their placeholders.
// %RUNTIMES_TRIED%: one indented line per refused runtime, the first few only.
constexpr const char* kMoreRuntimesTried = "\r\n    and more (the log lists them all)";
constexpr const char* kNoRuntimesTried = "    none";
// Why a runtime was refused, in the order of the Refusal enumeration
// (RuntimeCandidates.h); kUnknownText for any other value.
constexpr const char* kRefusalTexts[] = {
    "accepted", "no java executable", "no version",   "a pre-release",   "too old",
    "too new",  "other architecture", "no javaw.exe", "jvm.dll missing", "jvm.dll failed to load",
};
constexpr const char* kNoCreateJavaVmDetail = "it has no JNI_CreateJavaVM";
// A system error the system has no text for.
constexpr const char* kSystemErrorCodeFormat = "error %lu";
// %REQUIRED_ARCH% and %FOUND_ARCH%: a library's or runtime's machine.
constexpr const char* kMachine32BitText = "32-bit";
constexpr const char* kMachine64BitText = "64-bit";
constexpr const char* kMachineArm64Text = "ARM64";
constexpr const char* kUnknownText = "unknown";

// The details below a Java failure's message (key 3001): its stack lines.
constexpr const char* kStackLinePrefix = "    at ";
constexpr const char* kMoreStackLines = "\r\n    ...";

// What a second start of a single-instance application says when its
// arguments hold a line feed: the reader takes each line of the hand-over
// file for a start of its own, so such a text would reach the running
// application as several starts.
constexpr const char* kArgumentsNotHandedOver =
    "The application is already running. Arguments that hold a line break cannot be passed to it.";
