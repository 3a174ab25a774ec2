// A PE resource section as a flat list of resources (type, name, language,
// data), read from a stub and written anew with the application's resources.
#pragma once
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ByteOrder.h"

namespace tovex {

// Resource types used here (the Windows RT_ numbers).
namespace resourcetype {
constexpr uint16_t icon = 3;
constexpr uint16_t bitmap = 2;
constexpr uint16_t groupIcon = 14;
constexpr uint16_t version = 16;
constexpr uint16_t manifest = 24;
}  // namespace resourcetype

// A type or a name: an integer identifier or a UTF-16 name.
struct ResourceId {
    bool isNumber = true;
    uint16_t number = 0;
    std::u16string name;

    static ResourceId of(uint16_t number) { return {true, number, {}}; }
    static ResourceId named(std::u16string name) { return {false, 0, std::move(name)}; }
    bool operator==(const ResourceId& other) const {
        return isNumber == other.isNumber && (isNumber ? number == other.number : name == other.name);
    }
    bool operator!=(const ResourceId& other) const { return !(*this == other); }
};

struct Resource {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    Bytes data;
};

class ResourceFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the resource directory that starts at `directoryOffset` of `section`,
// a section loaded at `sectionRva`. Throws ResourceFormatError saying what is
// wrong and where.
std::vector<Resource> parseResourceDirectory(const Bytes& section, uint32_t sectionRva, uint32_t directoryOffset);

// The resources as a section loaded at `sectionRva`: the directory tables,
// the names, the data entries and the data, in the order Windows searches
// them (named entries first, by name, then numbers ascending). The same
// type, name and language may not appear twice.
Bytes serialiseResourceDirectory(const std::vector<Resource>& resources, uint32_t sectionRva);

// "RT_BITMAP", "RT_GROUP_ICON", ... for the standard types; nothing otherwise.
std::optional<std::string> standardTypeName(const ResourceId& type);

// The number, or the name in UTF-8.
std::string describeResourceId(const ResourceId& id);

}  // namespace tovex
