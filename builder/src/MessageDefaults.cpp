#include "MessageDefaults.h"

#include <algorithm>
#include <iterator>

#include "BlockFormat.h"
#include "KeyTable.h"

namespace tovex {
namespace {

struct DefaultMessage {
    int32_t key;
    const char* text;
};


// Placeholders filled in here, at build time, before the launcher fills in its own.
// {Application} starts a sentence; without a name it reads "This application".
constexpr std::string_view kApplicationFirst = "{Application}";
constexpr std::string_view kApplication = "{application}";
constexpr std::string_view kJava = "{java}";
constexpr std::string_view kDownload = "{download}";
constexpr const char* kDefaultDownloadPage = "https://adoptium.net/";

const DefaultMessage kMessages[] = {
    {1001,
     "{Application} needs {java},\r\nbut none was found on this computer.\r\nPlease install one, for example from\r\n"
     "{download}\r\nand start {application} again."},
    {1002, "The Java runtime found on the search path (PATH) is damaged.\r\nPlease reinstall it."},
    {1003, "The %ENV_VAR_NAME% environment variable does not\r\npoint to a working Java runtime."},
    {1004, "The Java runtime at %DEFINED_PATH% is damaged.\r\nPlease reinstall it."},
    {1005, "{Application} could not start Java. The main method may have thrown an exception."},
    {1006, "File or directory %FILE_NAME% not found or empty.\r\n{Application} may need to be installed again."},
    {1007, "Wrong parameter usage: a quoted argument has no closing quote."},
    {1008, "The environment variable %ENV_VAR_NAME% has to be defined to start {application}."},
    {1009, "An internal error occurred (error code: %ERROR_CODE%)."},
    {1010, "{Application} could not load its main class."},
    {1011, "The main class of {application} has no main method."},
    {key::msgCopyHint, "Press Ctrl+C to copy this message."},
    {key::msgOpenDownloadPage, "Open the download page %DOWNLOAD_URL% now?"},
};

// With the modern runtime search the launcher says what went wrong in Java.
const DefaultMessage kModernMessages[] = {
    {1001,
     "{Application} needs {java},\r\nbut none that fits was found on this computer.\r\nJava runtimes looked at:\r\n"
     "%RUNTIMES_TRIED%\r\nPlease install one, for example from\r\n{download}\r\nand start {application} again."},
    {key::msgWrongArchitecture,
     "{Application} needs {java} built for %REQUIRED_ARCH% Windows;\r\nthe one found at %RUNTIME_PATH% is "
     "%FOUND_ARCH%.\r\nJava runtimes looked at:\r\n%RUNTIMES_TRIED%\r\nPlease install a %REQUIRED_ARCH% Java "
     "runtime, for example from\r\n{download}"},
    {1005, "{Application} stopped because of an error in Java:\r\n%EXCEPTION%"},
    {1010, "{Application} could not load the launcher's class %CLASS_NAME%.\r\nIt may need to be installed again."},
    {1011, "The launcher's class %CLASS_NAME% of {application} has no main method.\r\n"
           "It may need to be installed again."},
    {key::msgNoWorkingDirectory,
     "{Application} cannot start in its working directory\r\n%FILE_NAME%:\r\nthe folder does not exist or cannot "
     "be entered."},
};

const DefaultMessage kClassicMessages[] = {
    {1000, "Error"},
    {1001,
     "No JVM could be found on your system.\r\nPlease define TOVEX_JAVA_HOME\r\nto point to an installed JDK or JRE, "
     "or download a Java runtime from {download}"},
    {1002,
     "The JVM found in your path is damaged.\r\nPlease reinstall or define TOVEX_JAVA_HOME\r\nto point to an "
     "installed JDK or JRE."},
    {1003, "The %ENV_VAR_NAME% environment variable does not\r\npoint to a working JDK or JRE."},
    {1004,
     "The JVM found at %DEFINED_PATH% is damaged.\r\nPlease reinstall or define TOVEX_JAVA_HOME\r\nto point to an "
     "installed JDK or JRE."},
    {1005, "The JVM could not be started. The main method may have thrown an exception."},
    {1006, "File or directory %FILE_NAME% not found or empty\r\n"},
    {1007, "Wrong Parameter Usage"},
    {1008, "The environment variable %ENV_VAR_NAME% has to be defined"},
    {1009, "An internal error occurred (error code: %ERROR_CODE%)"},
    {1010, "Couldn't load main class."},
    {1011, "Main method not found."},
};

bool isSet(const std::vector<Setting>& settings, int32_t key) {
    return std::any_of(settings.begin(), settings.end(), [&](const Setting& s) { return !s.wide && s.key == key; });
}

void addUnset(std::vector<Setting>& settings, int32_t key, std::string text) {
    if (!isSet(settings, key))
        settings.push_back({key, false, std::move(text), "default message " + std::to_string(key), SourcePos{},
                            blockformat::kMaxTextLength});
}

void replaceAll(std::string& text, std::string_view placeholder, const std::string& value) {
    for (std::size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

// "Java 17 or later", "Java 11 to 21", or "a Java runtime" without bounds.
std::string javaWanted(const MessageContext& context) {
    bool min = context.minJavaVersion && !context.minJavaVersion->empty();
    bool max = context.maxJavaVersion && !context.maxJavaVersion->empty();
    if (min && max) return "Java " + *context.minJavaVersion + " to " + *context.maxJavaVersion;
    if (min) return "Java " + *context.minJavaVersion + " or later";
    if (max) return "Java " + *context.maxJavaVersion + " or earlier";
    return "a Java runtime";
}

}  // namespace

void addMessageDefaults(std::vector<Setting>& settings, const MessageContext& context) {
    bool named = context.applicationName && !context.applicationName->empty();
    addUnset(settings, 1000, named ? *context.applicationName : "Error");
    std::vector<DefaultMessage> messages;
    if (context.modern) messages.assign(std::begin(kModernMessages), std::end(kModernMessages));
    messages.insert(messages.end(), std::begin(kMessages), std::end(kMessages));
    for (const DefaultMessage& message : messages) {
        std::string text = message.text;
        replaceAll(text, kApplicationFirst, named ? *context.applicationName : "This application");
        replaceAll(text, kApplication, named ? *context.applicationName : "the application");
        replaceAll(text, kJava, javaWanted(context));
        bool ownPage = context.downloadUrl && !context.downloadUrl->empty();
        replaceAll(text, kDownload, ownPage ? *context.downloadUrl : kDefaultDownloadPage);
        addUnset(settings, message.key, text);
    }
}

void addClassicMessageDefaults(std::vector<Setting>& settings) {
    auto set = std::find_if(settings.rbegin(), settings.rend(),
                            [](const Setting& s) { return !s.wide && s.key == key::downloadUrl && !s.text.empty(); });
    // A copy: adding settings moves them.
    std::string page = set != settings.rend() ? set->text : kDefaultDownloadPage;
    for (const DefaultMessage& message : kClassicMessages) {
        std::string text = message.text;
        replaceAll(text, kDownload, page);
        addUnset(settings, message.key, text);
    }
}

}  // namespace tovex
