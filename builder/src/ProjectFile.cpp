// Reading a project file: TOML in, settings and build options out, with an
// error for everything the launcher could not use, pointing at its line.
#include <toml++/toml.h>

#include <algorithm>
#include <limits>
#include <map>

#include "BlockFormat.h"
#include "KeyTable.h"
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
    std::vector<std::string_view> names = {kBuildTable, kRawTable, kFilesTable, kResourcesTable};
    for (const KeyInfo& key : allKeys())
        if (key.kind != KeyKind::Managed) names.push_back(key.name);
    return names;
}

std::string didYouMean(std::string_view word, const std::vector<std::string_view>& candidates) {
    std::optional<std::string_view> match = closestMatch(word, candidates);
    return match ? " (did you mean " + quoted(*match) + "?)" : "";
}

class ProjectReader {
public:
    explicit ProjectReader(std::string fileName) : fileName_(std::move(fileName)) {}

    ProjectReadResult read(std::string_view text) {
        toml::table root;
        try {
            root = toml::parse(text, fileName_);
        } catch (const toml::parse_error& e) {
            error(posOf(e.source()), "TOML syntax error: " + std::string(e.description()));
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

    void readBuild(const toml::node& node) {
        const toml::table* build = node.as_table();
        if (!build) {
            error(posOf(node.source()), "'build' must be a table ([build]), got " + describeType(node));
            return;
        }
        BuildOptions& options = result_.project.build;
        forEachInFileOrder(*build, [&](const toml::key& name, const toml::node& value) {
            if (name == kOutputEntry) {
                options.output = pathEntry("[build] " + std::string(name.str()), value);
                options.outputPos = posOf(value.source());
            } else if (name == kStubEntry) {
                options.stub = pathEntry("[build] " + std::string(name.str()), value);
                options.stubPos = posOf(value.source());
            } else if (name == kCodePageEntry) {
                options.codePage = codePageEntry(value);
            } else if (name == kRuntimeLibraryEntry) {
                options.runtimeLibrary = pathEntry("[build] " + std::string(name.str()), value);
                options.runtimeLibraryPos = posOf(value.source());
            } else if (name == kIncludeRuntimeLibraryEntry) {
                if (value.is_boolean())
                    options.includeRuntimeLibrary = value.as_boolean()->get();
                else
                    error(posOf(value.source()),
                          "[build] includeRuntimeLibrary: expected true or false, got " + describeType(value));
            } else if (name == kArchitectureEntry) {
                options.architecture = architectureEntry(value);
                options.architecturePos = posOf(value.source());
            } else {
                error(posOf(name.source()),
                      "unknown [build] setting " + quoted(name.str()) +
                          didYouMean(name.str(), {kOutputEntry, kStubEntry, kCodePageEntry, kRuntimeLibraryEntry,
                                                  kIncludeRuntimeLibraryEntry, kArchitectureEntry}));
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
        const toml::table* table = node.as_table();
        if (!table) {
            error(posOf(node.source()), "'resources' must be a table ([resources]), got " + describeType(node));
            return;
        }
        ResourceOptions& resources = result_.project.resources;
        forEachInFileOrder(*table, [&](const toml::key& name, const toml::node& value) {
            if (name == kSplashPictureEntry) {
                resources.splashPicture = pathEntry("[resources] " + std::string(name.str()), value);
                resources.splashPicturePos = posOf(value.source());
            } else if (name == kIconEntry) {
                resources.icon = pathEntry("[resources] " + std::string(name.str()), value);
                resources.iconPos = posOf(value.source());
            } else if (name == kVersionTable) {
                readVersion(value);
            } else {
                error(posOf(name.source()),
                      "unknown [resources] setting " + quoted(name.str()) +
                          didYouMean(name.str(), {kSplashPictureEntry, kIconEntry, kVersionTable}));
            }
        });
    }

    std::optional<VersionNumber> versionNumber(const std::string& origin, const toml::node& value) {
        std::optional<std::string> text = stringText(origin, value);
        if (!text) return std::nullopt;
        std::string problem;
        std::optional<VersionNumber> number = parseVersionNumber(*text, problem);
        if (!number)
            error(posOf(value.source()), origin + ": \"" + *text + "\" " + problem +
                                             "; write up to four numbers from 0 to 65535 with dots, e.g. \"1.2.0.7\"");
        return number;
    }

    void readVersion(const toml::node& node) {
        const toml::table* table = node.as_table();
        if (!table) {
            error(posOf(node.source()),
                  "'version' in [resources] must be a table ([resources.version]), got " + describeType(node));
            return;
        }
        VersionOptions version;
        bool valid = true;
        bool hasFileVersion = false;
        std::optional<std::string> fileVersionText, productVersionText;
        std::vector<std::string_view> known = {kFileVersionEntry, kProductVersionEntry};
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
        version.strings.emplace_back("ProductVersion", *productVersionText);
        result_.project.resources.version = std::move(version);
    }

    void readRaw(const toml::node& node) {
        const toml::table* raw = node.as_table();
        if (!raw) {
            error(posOf(node.source()), "'raw' must be a table ([raw.narrow], [raw.wide]), got " + describeType(node));
            return;
        }
        forEachInFileOrder(*raw, [&](const toml::key& name, const toml::node& value) {
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

    std::string fileName_;
    ProjectReadResult result_;
    std::map<int32_t, Claim> narrowClaims_;  // key numbers set so far, to catch a key set twice
    std::map<int32_t, Claim> wideClaims_;
};

}  // namespace

ProjectReadResult readProject(std::string_view tomlText, const std::string& fileName) {
    return ProjectReader(fileName).read(tomlText);
}

}  // namespace tovex
