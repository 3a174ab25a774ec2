// The names of included files: what a name may be, and how the names are
// listed in key 2003 (each followed by ';', in the order of the files' data)
// and counted in key 2002.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovex {

// A number as the launcher reads it from a record, like C's atoi: leading
// white space, a sign, digits; saturated to int.
int launcherInt(std::string_view text);

// Why the launcher would refuse to extract a file of this name, or nothing:
// it refuses names that could reach outside its extraction directory.
std::optional<std::string> unsafeNameProblem(std::string_view name);

// Why the launcher refuses a name as stored in the executable (in the code
// page's bytes), or nothing: the unsafe names and the Windows devices, among
// them COM and LPT with the code page's superscript digits.
std::optional<std::string> launcherRefusalProblem(std::string_view storedName);

// Why an included file cannot have this name, or nothing. Besides the unsafe
// names, refuses those that would not come out under the name given: empty,
// with ';', or a name Windows refuses or changes. The result reads after the
// name, e.g. "contains ';', which ...". `name` is UTF-8; the launcher's own
// check of the stored bytes is launcherRefusalProblem.
std::optional<std::string> includedNameProblem(std::string_view name);

// The value of key 2003 for these names.
std::string listIncludedNames(const std::vector<std::string>& names);

// What the launcher extracts given the stored values of keys 2002 and 2003.
struct LauncherFileList {
    std::vector<std::string> names;  // one per entry of the included-files area, in order
    int count;                       // key 2002 as the launcher reads it
    std::size_t namesListed;         // the names key 2003 holds as the launcher reads it
};

// The launcher reads both values as C strings into 8192-byte buffers, takes
// the count like atoi, skips empty names and stops after `count` of them.
LauncherFileList filesTheLauncherExtracts(std::string_view countValue, std::string_view namesValue);

}  // namespace tovex
