#include "ResourceDirectory.h"

#include <cstdio>
#include <map>
#include <set>

#include "Unicode.h"

namespace tovex {
namespace {

constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kDataAlignment = 8;

// Type, name, language.
constexpr int kLevels = 3;

// Far more than any executable carries; a crafted directory could otherwise
// name the same data millions of times.
constexpr std::size_t kMaxResources = 65536;
constexpr uint64_t kMaxResourceBytes = 256u << 20;

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

class DirectoryReader {
public:
    DirectoryReader(const Bytes& section, uint32_t sectionRva) : section_(section), rva_(sectionRva) {}

    std::vector<Resource> read(uint32_t rootOffset) {
        Resource path;
        readDirectory(rootOffset, 0, path);
        return std::move(resources_);
    }

private:
    void need(uint64_t offset, uint64_t size, const std::string& what) {
        if (offset + size > section_.size())
            throw ResourceFormatError(what + " at section offset " + hex(static_cast<uint32_t>(offset)) +
                                      " lies outside the resource section (" + std::to_string(section_.size()) +
                                      " bytes)");
    }

    ResourceId readId(uint32_t field) {
        if (!(field & kHighBit)) {
            if (field > 0xFFFF)
                throw ResourceFormatError("resource identifier " + std::to_string(field) + " exceeds 65535");
            return ResourceId::of(static_cast<uint16_t>(field));
        }
        uint32_t at = field & ~kHighBit;
        need(at, 2, "a resource name");
        uint16_t length = readU16(section_, at);
        need(at + 2, 2u * length, "a resource name");
        std::u16string name;
        for (uint16_t i = 0; i < length; ++i) name.push_back(static_cast<char16_t>(readU16(section_, at + 2 + 2u * i)));
        return ResourceId::named(std::move(name));
    }

    void readDirectory(uint32_t offset, int level, Resource& path) {
        need(offset, kDirectoryHeaderSize, "a resource directory");
        // Each directory belongs to one entry: a shared one multiplies the
        // resources, a looping one never ends.
        if (!visited_.insert(offset).second)
            throw ResourceFormatError("the resource directory at section offset " + hex(offset) +
                                      " is reached twice (shared or looping)");
        uint32_t count = uint32_t{readU16(section_, offset + 12)} + readU16(section_, offset + 14);
        need(offset + kDirectoryHeaderSize, uint64_t{count} * kDirectoryEntrySize, "a resource directory's entries");
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t entry = offset + kDirectoryHeaderSize + i * kDirectoryEntrySize;
            ResourceId id = readId(readU32(section_, entry));
            uint32_t target = readU32(section_, entry + 4);
            bool isDirectory = (target & kHighBit) != 0;
            if (level == 0) path.type = id;
            if (level == 1) path.name = id;
            if (level == 2) {
                if (!id.isNumber) throw ResourceFormatError("a resource language is a name, not a number");
                path.language = id.number;
            }
            if (level + 1 < kLevels) {
                if (!isDirectory)
                    throw ResourceFormatError("resource " + describe(path, level) +
                                              " has data where a directory was expected");
                readDirectory(target & ~kHighBit, level + 1, path);
            } else {
                if (isDirectory)
                    throw ResourceFormatError("resource " + describe(path, level) +
                                              " nests deeper than type, name and language");
                readData(target, path);
            }
        }
    }

    void readData(uint32_t entryOffset, Resource& path) {
        need(entryOffset, kDataEntrySize, "a resource data entry");
        uint32_t dataRva = readU32(section_, entryOffset);
        uint32_t size = readU32(section_, entryOffset + 4);
        if (dataRva < rva_)
            throw ResourceFormatError("the data of resource " + describe(path, kLevels) + " at RVA " + hex(dataRva) +
                                      " lies before the resource section (RVA " + hex(rva_) + ")");
        need(uint64_t{dataRva} - rva_, size, "the data of resource " + describe(path, kLevels));
        if (resources_.size() >= kMaxResources)
            throw ResourceFormatError("the resource section holds more than " + std::to_string(kMaxResources) +
                                      " resources");
        totalBytes_ += size;
        if (totalBytes_ > kMaxResourceBytes)
            throw ResourceFormatError("the resources' data add up to more than " +
                                      std::to_string(kMaxResourceBytes) + " bytes");
        Resource resource = path;
        resource.codePage = readU32(section_, entryOffset + 8);
        auto begin = section_.begin() + (dataRva - rva_);
        resource.data.assign(begin, begin + size);
        resources_.push_back(std::move(resource));
    }

    static std::string describe(const Resource& path, int level) {
        std::string text = describeResourceId(path.type);
        if (level > 1) text += "/" + describeResourceId(path.name);
        if (level > 2) text += "/" + std::to_string(path.language);
        return text;
    }

    const Bytes& section_;
    uint32_t rva_;
    std::vector<Resource> resources_;
    std::set<uint32_t> visited_;
    uint64_t totalBytes_ = 0;
};

// Windows looks names up by binary search over the code units (it upper-
// cases the name it is asked for), and numbers likewise; names come first.
struct IdOrder {
    bool operator()(const ResourceId& a, const ResourceId& b) const {
        if (a.isNumber != b.isNumber) return !a.isNumber;
        return a.isNumber ? a.number < b.number : a.name < b.name;
    }
};

using LanguageMap = std::map<uint16_t, const Resource*>;
using NameMap = std::map<ResourceId, LanguageMap, IdOrder>;
using TypeMap = std::map<ResourceId, NameMap, IdOrder>;

uint32_t directorySize(std::size_t entries) {
    return kDirectoryHeaderSize + static_cast<uint32_t>(entries) * kDirectoryEntrySize;
}

uint32_t alignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

void putU16(Bytes& out, std::size_t at, uint16_t value) {
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void putU32(Bytes& out, std::size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

class DirectoryWriter {
public:
    DirectoryWriter(const TypeMap& types, uint32_t sectionRva) : types_(types), rva_(sectionRva) {}

    Bytes write() {
        layOut();
        out_.assign(end_, 0);
        // Plain loops over the pairs: a lambda may not capture a structured binding before C++20.
        writeDirectory(0, [&](auto emit) {
            for (const auto& type : types_) emit(type.first, typeDirectories_.at(&type.second) | kHighBit);
        });
        for (const auto& type : types_) {
            const NameMap& names = type.second;
            writeDirectory(typeDirectories_.at(&names), [&](auto emit) {
                for (const auto& name : names) emit(name.first, nameDirectories_.at(&name.second) | kHighBit);
            });
        }
        for (const auto& type : types_) {
            for (const auto& name : type.second) {
                const LanguageMap& languages = name.second;
                writeDirectory(nameDirectories_.at(&languages), [&](auto emit) {
                    for (const auto& language : languages)
                        emit(ResourceId::of(language.first), dataEntries_.at(language.second));
                });
            }
        }
        for (const auto& [text, at] : strings_) {
            putU16(out_, at, static_cast<uint16_t>(text.size()));
            for (std::size_t i = 0; i < text.size(); ++i) putU16(out_, at + 2 + 2 * i, static_cast<uint16_t>(text[i]));
        }
        for (const auto& [resource, entry] : dataEntries_) {
            uint32_t at = data_.at(resource);
            putU32(out_, entry, rva_ + at);
            putU32(out_, entry + 4, static_cast<uint32_t>(resource->data.size()));
            putU32(out_, entry + 8, resource->codePage);
            std::copy(resource->data.begin(), resource->data.end(), out_.begin() + at);
        }
        return std::move(out_);
    }

private:
    // Tables first (root, types, names), then the names, the data entries
    // and the data: the order linkers use.
    void layOut() {
        uint32_t at = directorySize(types_.size());
        for (const auto& [type, names] : types_) {
            typeDirectories_[&names] = at;
            at += directorySize(names.size());
        }
        for (const auto& [type, names] : types_) {
            for (const auto& [name, languages] : names) {
                nameDirectories_[&languages] = at;
                at += directorySize(languages.size());
            }
        }
        for (const auto& [type, names] : types_) {
            at = placeString(type, at);
            for (const auto& [name, languages] : names) at = placeString(name, at);
        }
        at = alignUp(at, 4);
        for (const auto& [type, names] : types_) {
            for (const auto& [name, languages] : names) {
                for (const auto& [language, resource] : languages) {
                    dataEntries_[resource] = at;
                    at += kDataEntrySize;
                }
            }
        }
        for (const auto& [type, names] : types_) {
            for (const auto& [name, languages] : names) {
                for (const auto& [language, resource] : languages) {
                    at = alignUp(at, kDataAlignment);
                    data_[resource] = at;
                    at += static_cast<uint32_t>(resource->data.size());
                }
            }
        }
        end_ = alignUp(at, 4);
    }

    uint32_t placeString(const ResourceId& id, uint32_t at) {
        if (id.isNumber || strings_.count(id.name)) return at;
        strings_[id.name] = at;
        return at + 2 + 2 * static_cast<uint32_t>(id.name.size());
    }

    template <typename Entries>
    void writeDirectory(uint32_t at, Entries entries) {
        std::size_t named = 0, numbered = 0;
        std::size_t next = at + kDirectoryHeaderSize;
        entries([&](const ResourceId& id, uint32_t target) {
            (id.isNumber ? numbered : named)++;
            putU32(out_, next, id.isNumber ? id.number : strings_.at(id.name) | kHighBit);
            putU32(out_, next + 4, target);
            next += kDirectoryEntrySize;
        });
        putU16(out_, at + 12, static_cast<uint16_t>(named));
        putU16(out_, at + 14, static_cast<uint16_t>(numbered));
    }

    const TypeMap& types_;
    uint32_t rva_;
    std::map<const NameMap*, uint32_t> typeDirectories_;
    std::map<const LanguageMap*, uint32_t> nameDirectories_;
    std::map<std::u16string, uint32_t> strings_;
    std::map<const Resource*, uint32_t> dataEntries_;
    std::map<const Resource*, uint32_t> data_;
    uint32_t end_ = 0;
    Bytes out_;
};

}  // namespace

std::vector<Resource> parseResourceDirectory(const Bytes& section, uint32_t sectionRva, uint32_t directoryOffset) {
    return DirectoryReader(section, sectionRva).read(directoryOffset);
}

Bytes serialiseResourceDirectory(const std::vector<Resource>& resources, uint32_t sectionRva) {
    TypeMap types;
    for (const Resource& resource : resources) types[resource.type][resource.name][resource.language] = &resource;
    return DirectoryWriter(types, sectionRva).write();
}

std::optional<std::string> standardTypeName(const ResourceId& type) {
    if (!type.isNumber) return std::nullopt;
    static const char* const kNames[] = {nullptr,       "RT_CURSOR",     "RT_BITMAP",     "RT_ICON",
                                         "RT_MENU",     "RT_DIALOG",     "RT_STRING",     "RT_FONTDIR",
                                         "RT_FONT",     "RT_ACCELERATOR", "RT_RCDATA",    "RT_MESSAGETABLE",
                                         "RT_GROUP_CURSOR", nullptr,     "RT_GROUP_ICON", nullptr,
                                         "RT_VERSION",  "RT_DLGINCLUDE", nullptr,         "RT_PLUGPLAY",
                                         "RT_VXD",      "RT_ANICURSOR",  "RT_ANIICON",    "RT_HTML",
                                         "RT_MANIFEST"};
    if (type.number >= sizeof kNames / sizeof kNames[0] || !kNames[type.number]) return std::nullopt;
    return std::string(kNames[type.number]);
}

std::string describeResourceId(const ResourceId& id) {
    if (id.isNumber) return std::to_string(id.number);
    std::string utf16;
    for (char16_t unit : id.name) {
        utf16.push_back(static_cast<char>(unit & 0xFF));
        utf16.push_back(static_cast<char>(unit >> 8));
    }
    return utf16LeToUtf8(utf16);
}

}  // namespace tovex
