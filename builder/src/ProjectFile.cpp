// Reading a project file: TOML in, settings and build options out, with an
// error for everything the launcher could not use, pointing at its line.
#include <toml++/toml.h>

#include <algorithm>
#include <limits>
#include <map>

#include "BlockFormat.h"
#include "KeyTable.h"
#include "LauncherCodes.h"
#include "Project.h"
#include "Suggest.h"
#include "Unicode.h"

namespace tovex {
namespace {

constexpr std::string_view kBuildTable = "build";
constexpr std::string_view kRawTable = "raw";
constexpr std::string_view kFilesTable = "files";
constexpr std::string_view kOutputEntry = "output";
constexpr std::string_view kStubEntry = "stub";
constexpr std::string_view kCodePageEntry = "codePage";
constexpr std::string_view kRuntimeLibraryEntry = "runtimeLibrary";
constexpr std::string_view kIncludeRuntimeLibraryEntry = "includeRuntimeLibrary";
constexpr std::string_view kArchitectureEntry = "architecture";
constexpr std::string_view kReuseExtractionEntry = "reuseExtraction";
constexpr std::string_view kNarrowTable = "narrow";
constexpr std::string_view kWideTable = "wide";
constexpr std::string_view kPathEntry = "path";
constexpr std::string_view kNameEntry = "name";
constexpr std::string_view kResourcesTable = "resources";
constexpr std::string_view kSplashPictureEntry = "splashPicture";
constexpr std::string_view kIconEntry = "icon";
constexpr std::string_view kVersionTable = "version";
constexpr std::string_view kFileVersionEntry = "fileVersion";
constexpr std::string_view kProductVersionEntry = "productVersion";
constexpr std::string_view kProductVersionTextEntry = "productVersionText";
constexpr std::string_view kManifestEntry = "manifest";
constexpr std::string_view kGuiEntry = "gui";
constexpr std::string_view kConsoleEntry = "console";
constexpr std::string_view kRuntimeTable = "runtime";
constexpr std::string_view kBuildRuntimeEntry = "runtime";
constexpr std::string_view kRequiredEntry = "required";

// [runtime] entries that are launcher settings under another name.
struct RuntimeSetting {
    std::string_view entry;
    int32_t key;
};
constexpr RuntimeSetting kRuntimeSettings[] = {
    {"minVersion", key::minJavaVersion},
    {"maxVersion", key::maxJavaVersion},
    {"allowPrerelease", key::allowPrereleaseJava},
    {"requireJdk", key::requireJdk},
};
constexpr std::string_view kModernEntry = "modern";
constexpr std::string_view kSearchEntry = "search";
constexpr std::string_view kBundledEntry = "bundled";
constexpr std::string_view kImageEntry = "image";
// The folder beside the executable that an image goes into when [runtime] bundled names none.
constexpr const char* kDefaultImageFolder = "runtime";
constexpr std::string_view kPackageEntry = "package";

// Executable types: a GUI program shows its errors in message boxes, a console one on standard error.
constexpr const char* kGuiExecutableType = "1";
constexpr const char* kConsoleExecutableType = "0";

// [resources.version] texts and the StringFileInfo names they get.
struct VersionText {
    std::string_view entry;
    const char* stringName;
};
constexpr VersionText kVersionTexts[] = {
    {"productName", "ProductName"},
    {"companyName", "CompanyName"},
    {"fileDescription", "FileDescription"},
    {"copyright", "LegalCopyright"},
};

// A version text is one length-counted node of the version resource.
constexpr std::size_t kMaxVersionTextUnits = 4000;

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

SourcePos posOf(const toml::source_region& region) {
    return {static_cast<int>(region.begin.line), static_cast<int>(region.begin.column)};
}

std::string describeType(const toml::node& node) {
    switch (node.type()) {
        case toml::node_type::string: return "a string";
        case toml::node_type::integer: return "an integer";
        case toml::node_type::floating_point: return "a floating-point number";
        case toml::node_type::boolean: return "a boolean";
        case toml::node_type::array: return "an array";
        case toml::node_type::table: return "a table";
        case toml::node_type::date: return "a date";
        case toml::node_type::time: return "a time";
        case toml::node_type::date_time: return "a date-time";
        default: return "nothing";
    }
}

std::string quoted(std::string_view name) { return "'" + std::string(name) + "'"; }

// Windows message boxes break lines at CR LF only.
std::string withCrLf(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

enum class RawKeyProblem { None, NotDecimal, OutOfRange };

// A raw table's key as a key number: an optionally signed run of digits
// within 0..INT32_MAX.
RawKeyProblem parseRawKey(std::string_view text, int32_t& number) {
    std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == start) return RawKeyProblem::NotDecimal;
    int64_t value = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return RawKeyProblem::NotDecimal;
        if (value <= kInt32Max) value = value * 10 + (text[i] - '0');
    }
    if (start == 1 && value != 0) return RawKeyProblem::OutOfRange;
    if (value > kInt32Max) return RawKeyProblem::OutOfRange;
    number = static_cast<int32_t>(value);
    return RawKeyProblem::None;
}

// toml++ keeps tables sorted by key; messages read better in file order, and
// "set twice" should point at the later of two entries.
template <typename Visit>
void forEachInFileOrder(const toml::table& table, Visit visit) {
    using Entry = std::pair<const toml::key*, const toml::node*>;
    std::vector<Entry> entries;
    for (auto&& [name, value] : table) entries.emplace_back(&name, &value);
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const toml::source_position &left = a.first->source().begin, &right = b.first->source().begin;
        return left.line != right.line ? left.line < right.line : left.column < right.column;
    });
    for (const Entry& entry : entries) visit(*entry.first, *entry.second);
}

std::vector<std::string_view> topLevelNames() {
    std::vector<std::string_view> names = {kBuildTable,   kRawTable, kFilesTable,   kResourcesTable,
                                           kRuntimeTable, kGuiEntry, kConsoleEntry};
    for (const KeyInfo& key : allKeys())
        if (key.kind != KeyKind::Managed) names.push_back(key.name);
    return names;
}

std::string didYouMean(std::string_view word, const std::vector<std::string_view>& candidates) {
    std::optional<std::string_view> match = closestMatch(word, candidates);
    return match ? " (did you mean " + quoted(*match) + "?)" : "";
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// toml++'s description of a syntax error, tidied, with a hint for the usual causes: text without quotes
// (minJavaVersion = 1.8.0) and a Windows path in double quotes ("C:\Java").
std::string tomlSyntaxMessage(std::string_view description) {
    std::string detail(description);
    // toml++ 3.x says "expected expected digit or sign" in one place.
    for (std::size_t at; (at = detail.find("expected expected ")) != std::string::npos;) detail.erase(at, 9);
    constexpr std::string_view kWhile = "Error while parsing ";
    std::string kind;
    std::size_t colon = detail.find(": ");
    if (startsWith(detail, kWhile) && colon != std::string::npos) {
        kind = detail.substr(kWhile.size(), colon - kWhile.size());
        detail.erase(0, colon + 2);
    }
    std::string reading;
    if (kind == "floating-point")
        reading = "reading a floating-point number";
    else if (!kind.empty())
        reading =
            (std::string_view("aeiou").find(kind[0]) != std::string_view::npos ? "reading an " : "reading a ") + kind;
    std::string hint;
    static constexpr std::string_view kValueKinds[] = {
        "value",         "floating-point", "decimal integer", "hexadecimal integer",
        "octal integer", "binary integer", "integer",         "boolean",
        "date",          "time",           "date-time"};
    if (std::find(std::begin(kValueKinds), std::end(kValueKinds), kind) != std::end(kValueKinds))
        hint = "is it text? put the value in quotes, e.g. minJavaVersion = \"1.8.0_402\"";
    else if (detail.find("unknown escape sequence") != std::string::npos)
        hint =
            "in double quotes a backslash starts an escape: write \\\\ for one backslash, or put the text in "
            "single quotes, e.g. 'C:\\Java'";
    std::string note = reading.empty() ? hint : hint.empty() ? reading : reading + "; " + hint;
    return "TOML syntax error: " + detail + (note.empty() ? "" : " (" + note + ")");
}

class ProjectReader {
public:
    explicit ProjectReader(std::string fileName) : fileName_(std::move(fileName)) {}

    ProjectReadResult read(std::string_view text) {
        toml::table root;
        try {
            root = toml::parse(text, fileName_);
        } catch (const toml::parse_error& e) {
            error(posOf(e.source()), tomlSyntaxMessage(e.description()));
            result_.parsed = false;
            return std::move(result_);
        }
        readTopLevel(root);
        // Raw entries come second so that a clash names the setting it clashes with.
        if (const toml::node* raw = root.get(kRawTable)) readRaw(*raw);
        sortByPosition(result_.errors);
        return std::move(result_);
    }

private:
    struct Claim {
        std::string origin;
        SourcePos pos;
    };

    void error(SourcePos pos, std::string message) {
        result_.errors.push_back({fileName_, pos, std::move(message)});
    }

    void readTopLevel(const toml::table& root) {
        forEachInFileOrder(root, [&](const toml::key& name, const toml::node& value) {
            if (name == kBuildTable) {
                readBuild(value);
            } else if (name == kRawTable) {
                // read after all named settings, see read()
            } else if (name == kFilesTable) {
                readFiles(value);
            } else if (name == kResourcesTable) {
                readResources(value);
            } else if (name == kRuntimeTable) {
                readRuntime(value);
            } else if (name == kGuiEntry || name == kConsoleEntry) {
                readProgramKind(name == kGuiEntry, value);
            } else if (const KeyInfo* known = findKeyByName(name.str())) {
                readNamedSetting(*known, value);
            } else {
                error(posOf(name.source()),
                      "unknown setting " + quoted(name.str()) + didYouMean(name.str(), topLevelNames()));
            }
        });
    }

    void readNamedSetting(const KeyInfo& key, const toml::node& value) {
        std::string origin = quoted(key.name);
        if (key.number == key::classPath && value.is_array()) {
            readClassPathList(*value.as_array());
            return;
        }
        readNamedSettingAs(key, origin, value);
    }

    void readNamedSettingAs(const KeyInfo& key, const std::string& origin, const toml::node& value) {
        std::optional<std::string> text;
        switch (key.kind) {
            case KeyKind::Int: text = integerText(origin, value); break;
            case KeyKind::Switch: text = switchText(origin, value); break;
            case KeyKind::Text: text = stringText(origin, value); break;
            case KeyKind::Message:
                text = stringText(origin, value);
                if (text) text = withCrLf(*text);
                break;
            case KeyKind::Colour: text = colourText(origin, value); break;
            case KeyKind::Flavour: text = flavourText(origin, value); break;
            case KeyKind::Managed:
                error(posOf(value.source()), origin + " is set by the build tool from the included files");
                return;
        }
        // An empty flavour means "neither" and is not written, but still counts as set.
        claim(key.number, false, origin, posOf(value.source()));
        if (text && !(key.kind == KeyKind::Flavour && text->empty()))
            result_.project.settings.push_back({key.number, false, *text, origin, posOf(value.source()), key.maxLength});
    }

    std::optional<int32_t> int32Of(const std::string& origin, const toml::node& value) {
        int64_t number = value.as_integer()->get();
        if (number < kInt32Min || number > kInt32Max) {
            error(posOf(value.source()), origin + ": " + std::to_string(number) +
                                             " is out of the 32-bit integer range (-2147483648 to 2147483647)");
            return std::nullopt;
        }
        return static_cast<int32_t>(number);
    }

    std::optional<std::string> integerText(const std::string& origin, const toml::node& value) {
        if (!value.is_integer()) {
            error(posOf(value.source()), origin + ": expected an integer, got " + describeType(value));
            return std::nullopt;
        }
        std::optional<int32_t> number = int32Of(origin, value);
        return number ? std::optional<std::string>(std::to_string(*number)) : std::nullopt;
    }

    std::optional<std::string> switchText(const std::string& origin, const toml::node& value) {
        if (value.is_boolean()) return value.as_boolean()->get() ? "1" : "0";
        if (value.is_integer()) return integerText(origin, value);
        error(posOf(value.source()), origin + ": expected true or false, got " + describeType(value));
        return std::nullopt;
    }

    std::optional<std::string> stringText(const std::string& origin, const toml::node& value) {
        if (value.is_string()) return value.as_string()->get();
        std::string hint = value.is_integer() || value.is_floating_point() ? " (put the value in quotes)" : "";
        error(posOf(value.source()), origin + ": expected a string, got " + describeType(value) + hint);
        return std::nullopt;
    }

    std::optional<std::string> colourText(const std::string& origin, const toml::node& value) {
        const toml::array* components = value.as_array();
        if (!components) {
            error(posOf(value.source()), origin + ": expected [r, g, b], got " + describeType(value));
            return std::nullopt;
        }
        if (components->size() != 3) {
            error(posOf(value.source()), origin + ": expected [r, g, b] with three components, got " +
                                             std::to_string(components->size()));
            return std::nullopt;
        }
        std::string text;
        bool valid = true;
        for (std::size_t i = 0; i < 3; ++i) {
            const toml::node& component = (*components)[i];
            std::string which = origin + ": colour component " + std::to_string(i + 1);
            if (!component.is_integer()) {
                error(posOf(component.source()),
                      which + ": expected an integer from 0 to 255, got " + describeType(component));
                valid = false;
                continue;
            }
            int64_t level = component.as_integer()->get();
            if (level < 0 || level > 255) {
                error(posOf(component.source()), which + " is " + std::to_string(level) + ", outside 0 to 255");
                valid = false;
                continue;
            }
            text += (i > 0 ? "," : "") + std::to_string(level);
        }
        return valid ? std::optional<std::string>(text) : std::nullopt;
    }

    std::optional<std::string> flavourText(const std::string& origin, const toml::node& value) {
        if (const auto* flavour = value.as_string()) {
            if (flavour->get() == "wrapper") return std::string(1, blockformat::kWrapperFlavour);
            if (flavour->get() == "installer") return std::string(1, blockformat::kInstallerFlavour);
            if (flavour->get().empty()) return std::string();
        }
        std::string got = value.is_string() ? "\"" + value.as_string()->get() + "\"" : describeType(value);
        error(posOf(value.source()), origin + ": expected \"wrapper\", \"installer\" or \"\", got " + got);
        return std::nullopt;
    }

    // Records that a key is set, or reports that it already was.
    bool claim(int32_t key, bool wide, const std::string& origin, SourcePos pos) {
        std::map<int32_t, Claim>& claims = wide ? wideClaims_ : narrowClaims_;
        auto [existing, added] = claims.emplace(key, Claim{origin, pos});
        if (!added) {
            error(pos, std::string(wide ? "wide" : "narrow") + " key " + std::to_string(key) + " is set twice: by " +
                           existing->second.origin + " at line " + std::to_string(existing->second.pos.line) +
                           " and by " + origin);
        }
        return added;
    }

    // The node as a table, or nullptr after an error that names the section
    // and how it is written.
    const toml::table* tableOrError(const toml::node& node, const std::string& what, const char* form) {
        const toml::table* table = node.as_table();
        if (!table) error(posOf(node.source()), what + " must be a table (" + form + "), got " + describeType(node));
        return table;
    }

    // Visits a section's settings in file order; a section that is no table is an error.
    template <typename Visit>
    void forEachSetting(const toml::node& node, const std::string& what, const char* form, Visit visit) {
        if (const toml::table* table = tableOrError(node, what, form)) forEachInFileOrder(*table, visit);
    }

    void readBuild(const toml::node& node) {
        BuildOptions& options = result_.project.build;
        forEachSetting(node, "'build'", "[build]", [&](const toml::key& name, const toml::node& value) {
            if (name == kOutputEntry) {
                readPath("[build] " + std::string(name.str()), value, options.output, options.outputPos);
            } else if (name == kStubEntry) {
                readPath("[build] " + std::string(name.str()), value, options.stub, options.stubPos);
            } else if (name == kCodePageEntry) {
                options.codePage = codePageEntry(value);
            } else if (name == kRuntimeLibraryEntry) {
                readPath("[build] " + std::string(name.str()), value, options.runtimeLibrary,
                         options.runtimeLibraryPos);
            } else if (name == kBuildRuntimeEntry) {
                readPath("[build] runtime", value, options.runtime, options.runtimePos);
            } else if (name == kIncludeRuntimeLibraryEntry) {
                if (value.is_boolean())
                    options.includeRuntimeLibrary = value.as_boolean()->get();
                else
                    error(posOf(value.source()),
                          "[build] includeRuntimeLibrary: expected true or false, got " + describeType(value));
            } else if (name == kArchitectureEntry) {
                options.architecture = architectureEntry(value);
                options.architecturePos = posOf(value.source());
            } else if (name == kReuseExtractionEntry) {
                readNamedSettingAs(*findKeyByNumber(key::reuseExtraction), "[build] reuseExtraction", value);
            } else if (name == kPackageEntry) {
                const toml::value<std::string>* text = value.as_string();
                if (text && (text->get() == "zip" || text->get() == "none"))
                    options.zip = text->get() == "zip";
                else
                    error(posOf(value.source()), "[build] package: expected \"zip\" or \"none\", got " +
                                                     (text ? "\"" + text->get() + "\"" : describeType(value)));
            } else {
                error(posOf(name.source()),
                      "unknown [build] setting " + quoted(name.str()) +
                          didYouMean(name.str(), {kOutputEntry, kStubEntry, kCodePageEntry, kRuntimeLibraryEntry,
                                                  kIncludeRuntimeLibraryEntry, kBuildRuntimeEntry, kArchitectureEntry,
                                                  kReuseExtractionEntry, kPackageEntry}));
            }
        });
    }

    std::optional<std::string> architectureEntry(const toml::node& value) {
        if (const toml::value<std::string>* text = value.as_string(); text && (text->get() == "x64" || text->get() == "x86"))
            return text->get();
        std::string got = value.is_string() ? "\"" + value.as_string()->get() + "\"" : describeType(value);
        error(posOf(value.source()), "[build] architecture: expected \"x64\" or \"x86\", got " + got);
        return std::nullopt;
    }

    // A path setting and where it stands, for later messages about the file it names.
    void readPath(const std::string& origin, const toml::node& value, std::optional<std::string>& path,
                  SourcePos& pos) {
        path = pathEntry(origin, value);
        pos = posOf(value.source());
    }

    std::optional<std::string> pathEntry(const std::string& origin, const toml::node& value) {
        if (!value.is_string()) {
            error(posOf(value.source()), origin + ": expected a file path (a string), got " + describeType(value));
            return std::nullopt;
        }
        if (value.as_string()->get().empty()) {
            error(posOf(value.source()), origin + ": expected a file path, got an empty string");
            return std::nullopt;
        }
        return value.as_string()->get();
    }

    int codePageEntry(const toml::node& value) {
        if (!value.is_integer()) {
            error(posOf(value.source()), "[build] codePage: expected an integer, got " + describeType(value));
            return 0;
        }
        int64_t codePage = value.as_integer()->get();
        if (codePage < kInt32Min || codePage > kInt32Max || !isSupportedCodePage(static_cast<int>(codePage))) {
            error(posOf(value.source()), "[build] codePage: code page " + std::to_string(codePage) +
                                             " is not supported; supported code pages are " + supportedCodePageList());
            return 0;
        }
        return static_cast<int>(codePage);
    }

    void readFiles(const toml::node& node) {
        const toml::array* tables = node.as_array();
        if (!tables) {
            error(posOf(node.source()), "'files' must be an array of tables ([[files]]), got " + describeType(node));
            return;
        }
        for (const toml::node& element : *tables) {
            if (const toml::table* table = element.as_table())
                readIncludedFile(*table);
            else
                error(posOf(element.source()), "'files' must hold tables ([[files]]), got " + describeType(element));
        }
    }

    // An entry with any error is left out, so that it causes no further errors
    // (a clash of names, say) that would go away with the first one fixed.
    void readIncludedFile(const toml::table& table) {
        IncludedFile file;
        file.tablePos = posOf(table.source());
        bool valid = true;
        bool havePath = false;
        forEachInFileOrder(table, [&](const toml::key& name, const toml::node& value) {
            if (name == kPathEntry) {
                havePath = true;
                std::optional<std::string> path = pathEntry("[[files]] path", value);
                valid = valid && path;
                file.path = path.value_or("");
                file.pathPos = posOf(value.source());
            } else if (name == kNameEntry) {
                if (value.is_string()) {
                    file.name = value.as_string()->get();
                    file.namePos = posOf(value.source());
                } else {
                    error(posOf(value.source()), "[[files]] name: expected a file name (a string), got " +
                                                     describeType(value));
                    valid = false;
                }
            } else {
                error(posOf(name.source()), "unknown [[files]] setting " + quoted(name.str()) +
                                                didYouMean(name.str(), {kPathEntry, kNameEntry}));
                valid = false;
            }
        });
        if (!havePath) error(file.tablePos, "[[files]] needs a path: path = \"FILE\", relative to the project file");
        if (valid && havePath) result_.project.files.push_back(std::move(file));
    }

    void readResources(const toml::node& node) {
        ResourceOptions& resources = result_.project.resources;
        forEachSetting(node, "'resources'", "[resources]", [&](const toml::key& name, const toml::node& value) {
            if (name == kSplashPictureEntry) {
                readPath("[resources] " + std::string(name.str()), value, resources.splashPicture,
                         resources.splashPicturePos);
            } else if (name == kIconEntry) {
                readPath("[resources] " + std::string(name.str()), value, resources.icon, resources.iconPos);
            } else if (name == kVersionTable) {
                readVersion(value);
            } else if (name == kManifestEntry) {
                readPath("[resources] manifest", value, resources.manifest, resources.manifestPos);
            } else {
                error(posOf(name.source()),
                      "unknown [resources] setting " + quoted(name.str()) +
                          didYouMean(name.str(), {kSplashPictureEntry, kIconEntry, kVersionTable, kManifestEntry}));
            }
        });
    }

    std::optional<VersionNumber> versionNumber(const std::string& origin, const toml::node& value) {
        std::optional<std::string> text = stringText(origin, value);
        if (!text) return std::nullopt;
        std::string problem;
        std::optional<VersionNumber> number = parseVersionNumber(*text, problem);
        // A Maven version such as 1.0-SNAPSHOT: its numbers make the fixed version.
        std::size_t suffix = text->find_first_of("-+");
        if (!number && suffix != std::string::npos && suffix > 0) {
            std::string ignored;
            number = parseVersionNumber(text->substr(0, suffix), ignored);
            if (number)
                result_.warnings.push_back(
                    {fileName_, posOf(value.source()),
                     origin + ": \"" + *text + "\" is not a Windows version number; the numeric version is " +
                         std::to_string((*number)[0]) + "." + std::to_string((*number)[1]) + "." +
                         std::to_string((*number)[2]) + "." + std::to_string((*number)[3]) +
                         ", the text stays as written (productVersionText sets a free text of its own)",
                     true});
        }
        if (!number)
            error(posOf(value.source()), origin + ": \"" + *text + "\" " + problem +
                                             "; write up to four numbers from 0 to 65535 with dots, e.g. \"1.2.0.7\"");
        return number;
    }

    void readVersion(const toml::node& node) {
        const toml::table* table = tableOrError(node, "'version' in [resources]", "[resources.version]");
        if (!table) return;
        VersionOptions version;
        bool valid = true;
        bool hasFileVersion = false;
        std::optional<std::string> fileVersionText, productVersionText, freeProductText;
        std::vector<std::string_view> known = {kFileVersionEntry, kProductVersionEntry, kProductVersionTextEntry};
        for (const VersionText& text : kVersionTexts) known.push_back(text.entry);
        forEachInFileOrder(*table, [&](const toml::key& name, const toml::node& value) {
            std::string origin = "[resources.version] " + std::string(name.str());
            if (name == kFileVersionEntry || name == kProductVersionEntry) {
                bool file = name == kFileVersionEntry;
                hasFileVersion = hasFileVersion || file;
                std::optional<VersionNumber> number = versionNumber(origin, value);
                valid = valid && number;
                if (!number) return;
                (file ? version.fileVersion : version.productVersion) = *number;
                (file ? fileVersionText : productVersionText) = value.as_string()->get();
                return;
            }
            if (name == kProductVersionTextEntry) {
                freeProductText = stringText(origin, value);
                valid = valid && freeProductText;
                return;
            }
            auto text = std::find_if(std::begin(kVersionTexts), std::end(kVersionTexts),
                                     [&](const VersionText& candidate) { return candidate.entry == name.str(); });
            if (text == std::end(kVersionTexts)) {
                error(posOf(name.source()),
                      "unknown [resources.version] setting " + quoted(name.str()) + didYouMean(name.str(), known));
                valid = false;
                return;
            }
            std::optional<std::string> value8 = stringText(origin, value);
            if (value8 && encodeUtf16Le(decodeUtf8(*value8)).size() / 2 > kMaxVersionTextUnits) {
                error(posOf(value.source()),
                      origin + ": longer than " + std::to_string(kMaxVersionTextUnits) + " characters");
                value8.reset();
            }
            valid = valid && value8;
            if (value8) version.strings.emplace_back(text->stringName, *value8);
        });
        if (!hasFileVersion) {
            error(posOf(table->source()), "[resources.version] needs fileVersion, e.g. fileVersion = \"1.0.0.0\"");
            return;
        }
        if (!valid || !fileVersionText) return;
        // Without its own product version, the product has the file's.
        if (!productVersionText) {
            version.productVersion = version.fileVersion;
            productVersionText = fileVersionText;
        }
        version.strings.emplace_back("FileVersion", *fileVersionText);
        version.strings.emplace_back("ProductVersion", freeProductText ? *freeProductText : *productVersionText);
        result_.project.resources.version = std::move(version);
    }

    void readRaw(const toml::node& node) {
        forEachSetting(node, "'raw'", "[raw.narrow], [raw.wide]", [&](const toml::key& name, const toml::node& value) {
            bool wide = name == kWideTable;
            if (name != kNarrowTable && !wide) {
                error(posOf(name.source()), "unknown table [raw." + std::string(name.str()) + "]" +
                                                didYouMean(name.str(), {kNarrowTable, kWideTable}) +
                                                "; raw records go in [raw.narrow] or [raw.wide]");
            } else if (const toml::table* records = value.as_table()) {
                readRawRecords(*records, wide);
            } else {
                error(posOf(value.source()),
                      "[raw." + std::string(name.str()) + "] must be a table, got " + describeType(value));
            }
        });
    }

    void readRawRecords(const toml::table& records, bool wide) {
        std::string table = wide ? "[raw.wide]" : "[raw.narrow]";
        forEachInFileOrder(records, [&](const toml::key& name, const toml::node& value) {
            SourcePos keyPos = posOf(name.source());
            int32_t number = 0;
            switch (parseRawKey(name.str(), number)) {
                case RawKeyProblem::NotDecimal:
                    error(keyPos, table + " key " + quoted(name.str()) + " is not a decimal integer");
                    return;
                case RawKeyProblem::OutOfRange:
                    error(keyPos, table + " key " + quoted(name.str()) + " is out of range (0 to 2147483647)");
                    return;
                case RawKeyProblem::None: break;
            }
            std::string origin = table + " key " + std::string(name.str());
            const KeyInfo* known = findKeyByNumber(number);
            if (known && known->kind == KeyKind::Managed) {
                error(keyPos, origin + " (" + std::string(known->name) +
                                  ") is set by the build tool from the included files");
                return;
            }
            if (!value.is_string()) {
                error(posOf(value.source()), origin + ": expected a string, got " + describeType(value) +
                                                 " (raw values are written as given, e.g. \"0\")");
                return;
            }
            if (!claim(number, wide, origin, keyPos)) return;
            int maxLength = known ? known->maxLength : blockformat::kMaxTextLength;
            result_.project.settings.push_back(
                {number, wide, value.as_string()->get(), origin, posOf(value.source()), maxLength});
        });
    }

    // gui = true / console = true: the executable type, and for a console program its PE subsystem.
    void readProgramKind(bool guiEntry, const toml::node& value) {
        std::string origin = quoted(guiEntry ? kGuiEntry : kConsoleEntry);
        if (!value.is_boolean()) {
            error(posOf(value.source()), origin + ": expected true or false, got " + describeType(value));
            return;
        }
        bool console = guiEntry != value.as_boolean()->get();
        if (programKind_ && programKind_->console != console) {
            error(posOf(value.source()), origin + " contradicts " + programKind_->origin + " at line " +
                                             std::to_string(programKind_->pos.line) +
                                             "; a program is either a GUI program or a console program");
            return;
        }
        if (programKind_) return;
        programKind_ = ProgramKind{console, origin, posOf(value.source())};
        if (!claim(key::executableType, false, origin, posOf(value.source()))) return;
        result_.project.console = console;
        result_.project.settings.push_back({key::executableType, false,
                                            console ? kConsoleExecutableType : kGuiExecutableType, origin,
                                            posOf(value.source()), blockformat::kMaxTextLength});
    }

    // classPath = ["lib/app.jar", "lib/*", "classes/", "env:CP", {path = "x.jar", required = false}]
    void readClassPathList(const toml::array& entries) {
        std::string code;
        bool valid = true;
        for (const toml::node& entry : entries) {
            std::optional<std::string> path;
            bool required = true;
            if (entry.is_string()) {
                path = entry.as_string()->get();
            } else if (const toml::table* table = entry.as_table()) {
                forEachInFileOrder(*table, [&](const toml::key& name, const toml::node& value) {
                    if (name == kPathEntry && value.is_string()) {
                        path = value.as_string()->get();
                    } else if (name == kRequiredEntry && value.is_boolean()) {
                        required = value.as_boolean()->get();
                    } else if (name == kPathEntry || name == kRequiredEntry) {
                        error(posOf(value.source()), "'classPath' " + std::string(name.str()) + ": expected " +
                                                         (name == kPathEntry ? "a string" : "true or false") +
                                                         ", got " + describeType(value));
                        valid = false;
                    } else {
                        error(posOf(name.source()), "unknown 'classPath' entry setting " + quoted(name.str()) +
                                                        didYouMean(name.str(), {kPathEntry, kRequiredEntry}));
                        valid = false;
                    }
                });
                if (!path && valid) {
                    error(posOf(entry.source()), "'classPath' entry needs a path: {path = \"lib/x.jar\"}");
                    valid = false;
                }
            } else {
                error(posOf(entry.source()),
                      "'classPath' entries are paths (strings) or {path = ..., required = false}, got " +
                          describeType(entry));
                valid = false;
            }
            if (!path) continue;
            std::string problem;
            std::optional<std::string> entryCode = classPathEntryCode(*path, required, problem);
            if (!entryCode) {
                error(posOf(entry.source()), "'classPath': " + problem);
                valid = false;
                continue;
            }
            code += *entryCode;
        }
        SourcePos pos = posOf(entries.source());
        if (!claim(key::classPath, false, "'classPath'", pos) || !valid) return;
        result_.project.settings.push_back({key::classPath, false, code, "'classPath'", pos, blockformat::kMaxTextLength});
    }

    void readRuntime(const toml::node& node) {
        std::vector<std::string_view> known = {kModernEntry, kSearchEntry, kBundledEntry, kImageEntry};
        for (const RuntimeSetting& setting : kRuntimeSettings) known.push_back(setting.entry);
        const toml::node* search = nullptr;
        forEachSetting(node, "'runtime'", "[runtime]", [&](const toml::key& name, const toml::node& value) {
            std::string origin = "[runtime] " + std::string(name.str());
            auto setting = std::find_if(std::begin(kRuntimeSettings), std::end(kRuntimeSettings),
                                        [&](const RuntimeSetting& candidate) { return candidate.entry == name.str(); });
            if (setting != std::end(kRuntimeSettings)) {
                readNamedSettingAs(*findKeyByNumber(setting->key), origin, value);
            } else if (name == kModernEntry) {
                if (!value.is_boolean()) {
                    error(posOf(value.source()), origin + ": expected true or false, got " + describeType(value));
                    return;
                }
                if (!claim(key::modernRuntime, false, origin, posOf(value.source()))) return;
                result_.project.modernRuntime = value.as_boolean()->get();
                if (value.as_boolean()->get())
                    result_.project.settings.push_back({key::modernRuntime, false, "1", origin, posOf(value.source()),
                                                        blockformat::kMaxTextLength});
            } else if (name == kSearchEntry) {
                search = &value;
            } else if (name == kImageEntry) {
                readRuntimeImage(value);
            } else if (name == kBundledEntry) {
                result_.project.bundledRuntime = pathEntry(origin, value);
                if (result_.project.bundledRuntime && result_.project.bundledRuntime->find(';') != std::string::npos) {
                    error(posOf(value.source()), origin + ": a folder name cannot hold ';', which separates the search's entries");
                    result_.project.bundledRuntime.reset();
                }
            } else {
                error(posOf(name.source()),
                      "unknown [runtime] setting " + quoted(name.str()) + didYouMean(name.str(), known));
            }
        });
        if (result_.project.runtimeImage) {
            if (!result_.project.bundledRuntime) result_.project.bundledRuntime = kDefaultImageFolder;
            if (!isRelativeFolder(*result_.project.bundledRuntime))
                error(result_.project.runtimeImage->pos,
                      "[runtime] image: the image goes into the folder [runtime] bundled names beside the "
                      "executable, so that folder must lie below the executable's, not \"" +
                          *result_.project.bundledRuntime + "\"");
        }
        if (search) readSearch(*search);
        if (search && result_.project.runtimeImage && !searchNamesBundled())
            result_.warnings.push_back({fileName_, posOf(search->source()),
                                        "[runtime] search does not name \"bundled\", so the executable will not look "
                                        "at the runtime image in '" + *result_.project.bundledRuntime + "'",
                                        true});
    }

    bool searchNamesBundled() const {
        std::string entry = "A" + *result_.project.bundledRuntime + ";";
        std::replace(entry.begin(), entry.end(), '/', '\\');
        for (const Setting& setting : result_.project.settings)
            if (setting.key == key::jvmSearchSequence && setting.text.find(entry) != std::string::npos) return true;
        return false;
    }

    // A folder below the executable's: not absolute, no ".." among its parts.
    static bool isRelativeFolder(const std::string& folder) {
        if ((folder.size() >= 2 && folder[1] == ':') || folder[0] == '/' || folder[0] == '\\') return false;
        std::size_t start = 0;
        while (start <= folder.size()) {
            std::size_t end = folder.find_first_of("/\\", start);
            if (folder.substr(start, end == std::string::npos ? std::string::npos : end - start) == "..") return false;
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return true;
    }

    // A list of module names, e.g. modules = ["java.base", "java.desktop"].
    std::optional<std::vector<std::string>> moduleList(const std::string& origin, const toml::node& value) {
        const toml::array* names = value.as_array();
        if (!names) {
            error(posOf(value.source()), origin + ": expected a list of module names such as [\"java.desktop\"], got " +
                                             describeType(value));
            return std::nullopt;
        }
        std::vector<std::string> modules;
        for (const toml::node& name : *names) {
            const toml::value<std::string>* text = name.as_string();
            if (!text || text->get().empty() || text->get().find_first_of(" ,;/\\") != std::string::npos) {
                error(posOf(name.source()), origin + ": expected a module name such as \"java.desktop\", got " +
                                                (text ? "\"" + text->get() + "\"" : describeType(name)));
                return std::nullopt;
            }
            modules.push_back(text->get());
        }
        return modules;
    }

    // [runtime] image = { jdk = "jdk-17-windows-x64.zip", modules = [...], addModules = [...] }
    void readRuntimeImage(const toml::node& node) {
        RuntimeImageOptions image;
        image.pos = posOf(node.source());
        bool valid = true, hasJdk = false;
        const char* form = "{ jdk = \"...\" }";
        forEachSetting(node, "[runtime] image", form, [&](const toml::key& name, const toml::node& value) {
            std::string origin = "[runtime] image " + std::string(name.str());
            if (name == "jdk") {
                std::optional<std::string> jdk = pathEntry(origin, value);
                hasJdk = jdk.has_value();
                valid = valid && hasJdk;
                image.jdk = jdk.value_or("");
                image.jdkPos = posOf(value.source());
            } else if (name == "modules" || name == "addModules") {
                std::optional<std::vector<std::string>> modules = moduleList(origin, value);
                valid = valid && modules;
                if (name == "modules") {
                    image.modules = modules;
                    image.modulesPos = posOf(value.source());
                } else {
                    image.addModules = modules.value_or(std::vector<std::string>());
                    image.addModulesPos = posOf(value.source());
                }
            } else {
                error(posOf(name.source()), "unknown [runtime] image setting " + quoted(name.str()) +
                                                didYouMean(name.str(), {"jdk", "modules", "addModules"}));
                valid = false;
            }
        });
        if (node.is_table() && !hasJdk && valid)
            error(image.pos, "[runtime] image needs the Windows JDK to link from: jdk = \"jdk-17-windows-x64.zip\" "
                             "(a folder or a vendor's zip)");
        if (node.is_table() && hasJdk && valid) result_.project.runtimeImage = std::move(image);
    }

    // [runtime] search = ["bundled", "env:JAVA_HOME", "registry", "path", "dir:C:\\Java"]
    void readSearch(const toml::node& value) {
        const toml::array* words = value.as_array();
        if (!words) {
            error(posOf(value.source()), "[runtime] search: expected a list such as [\"env:JAVA_HOME\", \"registry\"], got " +
                                             describeType(value));
            return;
        }
        std::string code;
        bool valid = true;
        for (const toml::node& word : *words) {
            if (!word.is_string()) {
                error(posOf(word.source()), "[runtime] search: expected a string, got " + describeType(word));
                valid = false;
                continue;
            }
            std::string problem;
            std::optional<std::string> entry =
                searchEntryCode(word.as_string()->get(), result_.project.bundledRuntime, problem);
            if (!entry) {
                error(posOf(word.source()), "[runtime] search: " + problem);
                valid = false;
                continue;
            }
            code += *entry;
        }
        if (!claim(key::jvmSearchSequence, false, "[runtime] search", posOf(value.source())) || !valid) return;
        result_.project.settings.push_back({key::jvmSearchSequence, false, code, "[runtime] search",
                                            posOf(value.source()), blockformat::kMaxTextLength});
    }

    struct ProgramKind {
        bool console;
        std::string origin;
        SourcePos pos;
    };

    std::string fileName_;
    std::optional<ProgramKind> programKind_;
    ProjectReadResult result_;
    std::map<int32_t, Claim> narrowClaims_;  // key numbers set so far, to catch a key set twice
    std::map<int32_t, Claim> wideClaims_;
};

}  // namespace

ProjectReadResult readProject(std::string_view tomlText, const std::string& fileName) {
    return ProjectReader(fileName).read(tomlText);
}

}  // namespace tovex
