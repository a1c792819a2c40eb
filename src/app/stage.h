#pragma once

// What a conversion stage receives from the run, and how it hands over the objects it creates.
//
// A stage reads version-3 members by name from the input working directory (or template files
// from the templates directory), finding them without regard to letter case (InputFile,
// FindInputFile, TemplateFile; the members asked for are the ones the package carries; a member
// the run left in the input package, as it leaves every member a stage reads, is read from its
// range there, InputBytes), writes version-4 files under the names it chooses into the output
// working directory, creates one file object per output file, loads it and appends it to `members`
// in the order the package needs. Every object a stage creates goes to Keep(): the run holds them
// until the output archive has been written and destroys them in reverse order of creation.
//
// A member no larger than `heldMemberLimit` may instead be handed over as bytes in memory
// (HoldMember): the archive writer writes them where the member lies, and no working file is
// written, read back and removed for it.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "files/file_list.h"
#include "files/game_file.h"
#include "files/name_index.h"
#include "platform/read_only_file.h"

namespace carconv {

// The largest member the conversion holds in memory rather than in a working file: a stock car's
// mesh and skin, and far below the memory a conversion may take.
inline constexpr std::int64_t kHeldMemberLimit = std::int64_t{1} << 20;

struct StageContext {
    std::string templateDirectory;  // ends in a separator
    std::string inputDirectory;     // no trailing separator
    std::string outputDirectory;    // no trailing separator
    FileList* members = nullptr;
    std::vector<std::unique_ptr<GameFile>>* objects = nullptr;
    // The input archive's members and the templates directory's files, by name in any letter
    // case. A template name missing from its index is used as it is given.
    NameIndex inputNames{};
    NameIndex templateNames{};
    // The names, in lower case, of the input members the stages asked for.
    std::set<std::string> requestedInputs{};
    std::string inputPackage{};  // the input package's path, as given, for messages
    // The input members that were left in the input package rather than unpacked, by the path
    // InputFile gives them, with their ranges of the package.
    std::map<std::string, FileRange> inputInPackage{};
    // The largest member a stage holds in memory (HoldMember) rather than writes to a file.
    std::int64_t heldMemberLimit = kHeldMemberLimit;

    // Takes over `object` for the rest of the run and returns it.
    template <typename T>
    T& Keep(std::unique_ptr<T> object) {
        T& ref = *object;
        objects->push_back(std::move(object));
        return ref;
    }

    // Makes the output member `name` of the bytes `content`, typed `typeTag`, keeps it and
    // appends it to `members`; members of several names may share the same bytes.
    GameFile& HoldMember(const std::string& name, std::string typeTag,
                         std::shared_ptr<const Bytes> content);

    // Where the bytes of the input member at `memberPath` (InputFile) lie: that file, or for a
    // member left in the input package, its range there.
    FileRange InputBytes(const std::string& memberPath) const;
    // The path of the input member `name`, in whatever letter case it has. Throws CarconvError
    // "<input package> has no member <name>" when there is none.
    std::string InputFile(const std::string& name);
    // The same, or nothing when the input package has no such member.
    std::optional<std::string> FindInputFile(const std::string& name);
    // The path of the template file `name`, in whatever letter case it has.
    std::string OutputFile(const std::string& name) const;
    std::string TemplateFile(const std::string& name) const;
};

// A stage of the conversion run. Failures are thrown.
using StageFunction = void (*)(StageContext& context);

struct Stage {
    const char* name;
    StageFunction run;
};

}  // namespace carconv
