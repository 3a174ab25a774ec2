#include "MessageDefaults.h"

#include <algorithm>

#include "BlockFormat.h"

namespace tovex {
namespace {

struct DefaultMessage {
    int32_t key;
    const char* text;
};

const DefaultMessage kDefaultMessages[] = {
    {1000, "Error"},
    {1001,
     "No JVM could be found on your system.\r\nPlease define TOVEX_JAVA_HOME\r\nto point to an installed JDK or JRE, "
     "or download a Java runtime from https://adoptium.net/"},
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
    {3003,
     "This application needs a %REQUIRED_ARCH% Java runtime; the one found at %RUNTIME_PATH% is "
     "%FOUND_ARCH%.\r\nPlease install a %REQUIRED_ARCH% JDK or JRE, or define TOVEX_JAVA_HOME\r\nto point to "
     "one."},
};

}  // namespace

void addMessageDefaults(std::vector<Setting>& settings) {
    for (const DefaultMessage& message : kDefaultMessages) {
        bool set = std::any_of(settings.begin(), settings.end(),
                               [&](const Setting& s) { return !s.wide && s.key == message.key; });
        if (!set)
            settings.push_back({message.key, false, message.text, "default message " + std::to_string(message.key),
                                SourcePos{}, blockformat::kMaxTextLength});
    }
}

}  // namespace tovex
