#pragma once

// File names looked up without regard to ASCII letter case, the way the game's file system looks
// them up. Packages in circulation name their members "CARP.TXT", "Car.Fce" or "FEDATA.ENG" as
// often as "carp.txt"; every stage and the template installation find a file through an index
// like this one, on every platform, whether or not the file system ignores case itself.

#include <map>
#include <optional>
#include <span>
#include <string>

#include "files/viv_archive.h"

namespace carconv {

// `text` with the ASCII letters A to Z turned into a to z; every other byte unchanged.
std::string AsciiLowerCase(std::string text);

class NameIndex {
  public:
    // The member names of an archive's directory, in directory order. Of two names that are equal
    // but for letter case the later wins, as it does when a file system that ignores case unpacks
    // them over each other; each such pair is reported as a warning naming `archiveName` and both
    // names.
    static NameIndex OfArchive(std::span<const VivEntry> directory, const std::string& archiveName);

    // The regular files of `directory`, links to regular files included. Of names equal but for
    // letter case, the one spelled in lower case is taken, else the first in byte order. A
    // directory that cannot be read gives an empty index: whoever opens a file in it meets the
    // reason.
    static NameIndex OfDirectory(const std::string& directory);

    // The name, as the index spells it, that equals `name` but for ASCII letter case.
    std::optional<std::string> Find(const std::string& name) const;

  private:
    std::map<std::string, std::string> spelled_;  // lower-case name -> name as spelled
};

}  // namespace carconv
