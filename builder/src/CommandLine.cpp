#include "CommandLine.h"

#include <optional>
#include <utility>

#include "CodePage.h"
#include "Suggest.h"

namespace tovex {
namespace {

// Walks the arguments after the command, splitting "--name=value".
class ArgumentCursor {
public:
    ArgumentCursor(const std::vector<std::string>& args, std::size_t start) : args_(args), next_(start) {}

    bool done() const { return next_ >= args_.size(); }

    enum class Kind { Option, Positional, EndOfOptions };

    // Takes the next argument. An option's "=value" part is kept for takeValue().
    Kind take(std::string& text) {
        text = args_[next_++];
        inlineValue_.reset();
        if (optionsEnded_ || text.size() < 2 || text[0] != '-') return Kind::Positional;
        if (text == "--") {
            optionsEnded_ = true;
            return Kind::EndOfOptions;
        }
        if (std::size_t equals = text.find('='); text.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue_ = text.substr(equals + 1);
            text.erase(equals);
        }
        return Kind::Option;
    }

    bool hasInlineValue() const { return inlineValue_.has_value(); }

    std::optional<std::string> takeValue() {
        if (inlineValue_) return std::exchange(inlineValue_, std::nullopt);
        if (done()) return std::nullopt;
        return args_[next_++];
    }

private:
    const std::vector<std::string>& args_;
    std::size_t next_;
    bool optionsEnded_ = false;
    std::optional<std::string> inlineValue_;
};

const char* const kTryHelp = "; run 'tovex --help' for usage";

UsageError usageError(const std::string& message) { return {message + kTryHelp}; }

UsageError missingValue(const std::string& option) { return usageError("option " + option + " needs a value"); }

UsageError unknownOption(const std::string& command, const std::string& option) {
    return usageError("unknown option " + option + " for '" + command + "'");
}

bool isHelp(const std::string& text) { return text == "--help" || text == "-h"; }

// Parses [options] and exactly one positional argument. `option` handles one
// option and returns an error, if any.
template <typename Request, typename OptionHandler>
Invocation parseCommand(const std::vector<std::string>& args, const std::string& command, const char* positionalName,
                        std::string Request::*positional, OptionHandler option) {
    Request request{};
    bool havePositional = false;
    ArgumentCursor cursor(args, 1);
    while (!cursor.done()) {
        std::string text;
        ArgumentCursor::Kind kind = cursor.take(text);
        if (kind == ArgumentCursor::Kind::EndOfOptions) continue;
        if (kind == ArgumentCursor::Kind::Option) {
            if (isHelp(text)) return ShowHelp{};
            if (std::optional<UsageError> error = option(request, text, cursor)) return *error;
        } else if (!havePositional) {
            request.*positional = text;
            havePositional = true;
        } else {
            return usageError("unexpected argument '" + text + "' for '" + command + "'");
        }
    }
    if (!havePositional) return usageError("'" + command + "' needs " + positionalName);
    return request;
}

std::optional<UsageError> buildOption(BuildRequest& request, const std::string& option, ArgumentCursor& cursor) {
    if (option == "--no-runtime-library" || option == "--plain" || option == "--zip") {
        if (cursor.hasInlineValue()) return usageError("option " + option + " takes no value");
        if (option == "--plain")
            request.plain = true;
        else if (option == "--zip")
            request.zip = true;
        else
            request.includeRuntimeLibrary = false;
        return std::nullopt;
    }
    std::optional<std::string>* target = option == "-o" || option == "--output" ? &request.output
                                         : option == "--stub"                   ? &request.stub
                                         : option == "--runtime"                ? &request.runtime
                                                                                : nullptr;
    if (!target) return unknownOption("build", option);
    *target = cursor.takeValue();
    if (!*target || (*target)->empty()) return missingValue(option);
    return std::nullopt;
}

std::optional<UsageError> inspectOption(InspectRequest& request, const std::string& option, ArgumentCursor& cursor) {
    if (option == "--json") {
        if (cursor.hasInlineValue()) return usageError("option --json takes no value");
        request.json = true;
        return std::nullopt;
    }
    if (option == "--extract") {
        request.extractDirectory = cursor.takeValue();
        if (!request.extractDirectory || request.extractDirectory->empty()) return missingValue(option);
        return std::nullopt;
    }
    if (option != "--code-page") return unknownOption("inspect", option);
    std::optional<std::string> value = cursor.takeValue();
    if (!value) return missingValue(option);
    bool digits = !value->empty() && value->size() <= 9 && value->find_first_not_of("0123456789") == std::string::npos;
    if (!digits || !isSupportedCodePage(std::stoi(*value)))
        return usageError("code page '" + *value + "' is not supported; supported code pages are " +
                          supportedCodePageList());
    request.codePage = std::stoi(*value);
    return std::nullopt;
}

}  // namespace

Invocation parseCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) return usageError("no command given");
    const std::string& command = args[0];
    if (isHelp(command) || command == "help") return ShowHelp{};
    if (command == "--version" || command == "-V") return ShowVersion{};
    if (command == "build")
        return parseCommand<BuildRequest>(args, command, "a project file", &BuildRequest::projectFile, buildOption);
    if (command == "inspect") {
        Invocation inspect = parseCommand<InspectRequest>(args, command, "an executable to inspect",
                                                          &InspectRequest::file, inspectOption);
        const auto* request = std::get_if<InspectRequest>(&inspect);
        if (request && request->json && request->extractDirectory)
            return usageError("--json and --extract cannot be used together");
        return inspect;
    }
    if (command == "new") {
        if (args.size() != 2 || args[1].empty() || args[1][0] == '-')
            return usageError("'new' needs the application's name, e.g. tovex new MyApp");
        return NewRequest{args[1]};
    }
    if (command.rfind("-", 0) == 0) return usageError("unknown option " + command);
    std::optional<std::string_view> match = closestMatch(command, {"build", "inspect", "new"});
    return usageError("unknown command '" + command + "'" +
                      (match ? " (did you mean '" + std::string(*match) + "'?)" : std::string()));
}

std::string usageText() {
    return "Usage: tovex build PROJECT.toml [-o OUT.exe] [--stub launcher.exe] [--runtime DIR]\n"
           "                   [--no-runtime-library] [--plain] [--zip]\n"
           "       tovex inspect APP.exe [--json | --extract DIR] [--code-page N]\n"
           "       tovex new NAME\n"
           "       tovex --help | --version\n"
           "\n"
           "Commands:\n"
           "  build    Write a Windows launcher executable from a project file.\n"
           "  inspect  Show the configuration block and included files of a launcher\n"
           "           executable, or extract the files.\n"
           "  new      Write a commented starter project NAME.toml.\n"
           "\n"
           "Build options:\n"
           "  -o, --output FILE  where to write the executable (default: [build] output,\n"
           "                     else the project file's name with .exe, beside it)\n"
           "  --stub FILE        launcher stub to start from (default: [build] stub,\n"
           "                     else launcher64.exe beside the tovex program, or\n"
           "                     launcher.exe for [build] architecture = \"x86\")\n"
           "  --no-runtime-library\n"
           "                     leave out the Java runtime library (tovexlib.jar, from\n"
           "                     [build] runtimeLibrary, else beside the tovex program),\n"
           "                     which is otherwise the first included file\n"
           "  --runtime DIR      check that the Java runtime in DIR (shipped with the\n"
           "                     application) suits the executable (default: [build] runtime)\n"
           "  --plain            write only what the project sets, with the message texts\n"
           "                     of earlier versions, and leave the launcher's codes unchecked\n"
           "  --zip              also write the executable and its runtime folder as one\n"
           "                     zip beside it (default: [build] package)\n"
           "\n"
           "Inspect options:\n"
           "  --json             print JSON instead of a table\n"
           "  --extract DIR      write the included files into DIR (created if missing)\n"
           "                     instead of showing anything\n"
           "  --code-page N      ANSI code page of the narrow records and the names of\n"
           "                     included files (default 1252;\n"
           "                     supported: " +
           supportedCodePageList() +
           ")\n"
           "\n"
           "Exit status: 0 on success, 1 for bad input, 2 for a wrong command line.\n";
}

}  // namespace tovex
