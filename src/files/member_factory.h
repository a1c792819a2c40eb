#pragma once

// The member factory: turns an unpacked archive member into a file object of the class its name
// (and for some names, its content) calls for, loaded unless it is a plain GameFile.
//
// The name tests compare a lower-case copy of the path, so they ignore case; the first that
// matches decides:
//   1  ends with ".viv"                                    VivArchive (unpacked in turn)
//   2  ends with ".fsh"                                    FshFile
//   3  ends with ".tga"                                    TgaFile
//   4  ends with ".fce"          byte 3624 is ':'          Fce4File, else Fce3File
//   5  ends with "fedata.ita", ".bri", ".spa", ".fre", ".swe", ".eng" or ".ger"
//                                first byte, signed, >= 32 Fedata3File, else Fedata4File
//   6  ends with "carp.txt", "carp1.txt", "carp2.txt" or "carp3.txt"
//                                text holds "(80)"         Carp4File, else Carp3File
//   7  anything else                                       GameFile, not loaded
// A mesh too short to hold byte 3624 and an empty front-end file are taken as version 3.
// The object gets the path as it was passed in: the name tests ignore case, the file system
// may not.

#include <memory>
#include <string>

#include "files/byte_reader.h"
#include "files/game_file.h"
#include "files/unpack_budget.h"
#include "platform/read_only_file.h"

namespace carconv {

class DirectoryProblemMemo;

// Archives nested deeper than this inside a top-level archive are refused, so that a crafted
// package cannot recurse without bound.
inline constexpr int kMaxArchiveNesting = 16;

// The object of the class the tests above choose for the file at `path`, not loaded. An archive
// gets `nestingDepth` (0 for an archive that lies in no other); archives, picture archives and
// textures get `budget`, the unpack budget of the tree they lie in (none: their own; a texture
// without one decodes unbounded by it). Throws IoError when a
// content test cannot read the file.
std::unique_ptr<GameFile> NewMemberFile(const std::string& path, int nestingDepth,
                                        std::shared_ptr<UnpackBudget> budget = nullptr);
// The same choice for a member whose bytes are `content`, in memory; reads no file.
std::unique_ptr<GameFile> NewMemberFile(const std::string& path, ByteSpan content, int nestingDepth,
                                        std::shared_ptr<UnpackBudget> budget = nullptr);

// Whether the name of `path` gives it a type (archive, pictures, texture, mesh, front-end data,
// performance text). A member whose name gives none is carried unread: NewMemberFile makes a
// plain GameFile of it without reading its content, and the typing step leaves it as it is.
bool HasTypedName(const std::string& path);

// The member typing step of an archive's Load: NewMemberFile, then Load unless the object is a
// plain GameFile. `nestingDepth` is the depth an archive member gets: one more than that of the
// archive that holds it. A member whose content is malformed (FormatError) is reported as a
// warning naming the member and the problem and kept as a plain GameFile with its size measured;
// whatever later reads it as its format meets the same error. Exceeding kMaxArchiveNesting
// (ArchiveNestingError) or the unpack budget (UnpackLimitError) is not forgiven, and IoErrors
// propagate.
std::unique_ptr<GameFile> CreateMemberFile(std::string path, int nestingDepth = 1,
                                           std::shared_ptr<UnpackBudget> budget = nullptr);

// CreateMemberFile for a member of a top-level archive whose bytes are `source`, a range of the
// archive's file, for the objects that read their content where it lies: meshes, which load their
// header alone; picture archives, read without unpacking, their entries charged to `budget` all
// the same; textures; version-3 performance texts and front-end files. The object reads the range,
// now and later, and `path` names it in warnings and errors but holds no file. A member whose
// content is malformed is kept unread as a CarriedFile of the range, with CreateMemberFile's
// warning. Null for every other member: such a member needs a file of its own. Throws IoError
// when the range cannot be read.
std::unique_ptr<GameFile> CreateMemberInPlace(std::string path, const FileRange& source,
                                              std::shared_ptr<UnpackBudget> budget = nullptr);

// CreateMemberFile for a member whose bytes are `content`, in memory: the object is chosen by
// NewMemberFile of `content` and read by its Parse, with the same warnings and errors. Reads and
// writes no file; `path` names the member in errors and warnings. With a `memo`, the directory of
// an archive member is checked through it, and so are those of the archives inside it. Null for a
// member whose name gives it no type (HasTypedName), and for an archive member whose directory is
// malformed (after its warning); `path` is then left as it was: the archive carries such a member
// as a plain GameFile of its size, and its name is typed once.
std::unique_ptr<GameFile> ParseMemberFile(std::string&& path, ByteSpan content, int nestingDepth = 1,
                                          std::shared_ptr<UnpackBudget> budget = nullptr,
                                          DirectoryProblemMemo* memo = nullptr);

}  // namespace carconv
