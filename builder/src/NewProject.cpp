#include "NewProject.h"

#include <fstream>

#include "CodePage.h"
#include "ExitCode.h"
#include "FileIo.h"
#include "IncludedNames.h"
#include "Unicode.h"

namespace fs = std::filesystem;

namespace tovex {

std::string starterProject(const std::string& name) {
    return "# " + name + ": build the executable with  tovex build " + name + ".toml\n"
           "# Every setting is explained in tovex's user guide (builder/README.md).\n"
           "\n"
           "applicationName = \"" + name + "\"\n"
           "# The class with the main method. Leave it out when the first jar below\n"
           "# names its Main-Class in its manifest.\n"
           "mainClass = \"com.example.Main\"\n"
           "\n"
           "# A GUI program shows its errors in message boxes; a command-line tool\n"
           "# writes to the console it was started from:\n"
           "# console = true\n"
           "\n"
           "# [runtime]\n"
           "# minVersion = \"17\"                  # the oldest Java the application runs on\n"
           "# search = [\"env:JAVA_HOME\", \"registry\", \"path\"]   # where to look, in this order\n"
           "\n"
           "# The application's jar, put into the executable and on the class path.\n"
           "[[files]]\n"
           "path = \"target/" + name + ".jar\"\n"
           "\n"
           "# [[files]]                           # more jars, e.g. libraries\n"
           "# path = \"target/lib/library.jar\"\n";
}

namespace {

// The name becomes the application's name and its jar's in the project, narrow texts of the default code page.
std::optional<std::string> projectNameProblem(const std::string& name) {
    std::u32string characters = decodeUtf8(name);
    if (encodeUtf8(characters) != name)
        return "it is not valid UTF-8 text (the project file is UTF-8); give the name in UTF-8";
    Encoded encoded = encodeToCodePage(name, kDefaultCodePage);
    if (encoded.failure)
        return "character " + std::to_string(encoded.failure->position) + " (" +
               codePointLabel(encoded.failure->codePoint) + ") has no form in code page " +
               std::to_string(kDefaultCodePage) +
               ", in which the executable stores the application's name and its "
               "jar's; choose a name of letters, digits, '-' and '_'";
    return includedNameProblem(name + ".toml");
}

}  // namespace

int runNew(const std::string& name, std::ostream& out, std::ostream& err) {
    if (std::optional<std::string> problem = projectNameProblem(name)) {
        // Malformed bytes are shown as U+FFFD, so that the message itself is UTF-8.
        err << "tovex: error: cannot name a project file '" << encodeUtf8(decodeUtf8(name)) << ".toml': " << *problem
            << '\n';
        return kExitBadInput;
    }
    fs::path file = pathFromUtf8(name + ".toml");
    std::error_code ignored;
    if (fs::exists(file, ignored)) {
        err << "tovex: error: " << name << ".toml already exists; it was left as it is\n";
        return kExitBadInput;
    }
    std::string text = starterProject(name);
    try {
        writeFileReplacing(file, [&](std::ostream& stream) { stream << text; });
    } catch (const FileError& e) {
        err << "tovex: error: cannot write " << name << ".toml: " << e.what() << '\n';
        return kExitBadInput;
    }
    out << "wrote " << name << ".toml; put the application's jar at target/" << name
        << ".jar, or change the path in the file, then run: tovex build " << name << ".toml\n";
    return kExitSuccess;
}

}  // namespace tovex
