#pragma once

// The parts of a file dialog request that a desktop toolkit needs in its own terms: the filter
// text split into named pattern lists, and the default extension added to a typed name.

#include <string>
#include <string_view>
#include <vector>

namespace carconv {

// One entry of a filter text: what the dialog shows, and the glob patterns it selects.
struct DialogFilterEntry {
    std::string name;
    std::vector<std::string> patterns;
};

// Splits a filter text "Name|pattern;pattern|Name|pattern||" into its entries, in order. The text
// ends at the first empty name; an entry whose pattern part is missing or empty is dropped, as are
// empty patterns.
std::vector<DialogFilterEntry> ParseDialogFilter(std::string_view filter);

// A glob pattern that matches what `pattern` matches, ignoring the case of ASCII letters
// ("*.viv" becomes "*.[vV][iI][vV]"), for toolkits whose patterns are case-sensitive.
std::string CaseInsensitiveGlob(std::string_view pattern);

// `path` with "." and `defaultExtension` appended when its last component has no dot; otherwise,
// or when the last component is empty or there is no default extension, `path` as it is.
std::string CompleteExtension(const std::string& path, const std::string& defaultExtension);

}  // namespace carconv
