#pragma once

// What the two mesh layouts share: a fixed header that gives, for each array, a record count and
// an offset relative to the end of the header, followed by the arrays themselves. Records are
// opaque; the meshes only move them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "files/byte_reader.h"
#include "platform/read_only_file.h"

namespace carconv {

// Where the header describes one array.
struct MeshArrayLayout {
    const char* name;         // the array's name, used in error messages
    std::size_t recordSize;   // bytes per record
    const char* countField;   // name of the header field that counts the records
    std::size_t countAt;      // header position of that count
    const char* offsetField;  // name of the header field that places the array
    std::size_t offsetAt;     // header position of that offset
};

// Reads every array that `header` describes from the file behind `reader`: array i starts at
// file position headerSize + its offset and holds count * recordSize bytes.
//
// All arrays are checked before any is copied: a negative count or offset, or an array that
// reaches past the end of the file, throws FormatError naming the file and the array, so no
// buffer is ever sized by a number the file cannot back. Arrays may lie in any order and with
// gaps between them.
std::vector<Bytes> ReadMeshArrays(ByteReader& reader, ByteSpan header, std::size_t headerSize,
                                  std::span<const MeshArrayLayout> arrays);

// The checks of ReadMeshArrays alone, against a file of `fileSize` bytes named `fileName`: a mesh
// can be validated without copying its arrays.
void CheckMeshArrays(ByteSpan header, std::size_t headerSize, std::size_t fileSize,
                     const std::string& fileName, std::span<const MeshArrayLayout> arrays);

// Reads the first header.size() bytes of the mesh that fills `source` (a file, or a range of one:
// a member inside its package) into `header` and checks every array they describe against the
// mesh's size, without reading the arrays. Returns that size. `fileName` names the mesh in
// messages. Throws IoError when the file cannot be read or the mesh is 2 GiB or more, FormatError
// when it is shorter than the header or an array does not fit; `header` is unchanged then.
std::size_t LoadMeshHeader(const FileRange& source, const std::string& fileName,
                           std::span<std::uint8_t> header, std::span<const MeshArrayLayout> arrays);

// LoadMeshHeader of a mesh file whose bytes are all in memory, with the same checks and errors,
// `fileName` naming it; the arrays are read too and returned.
std::vector<Bytes> ParseMesh(ByteSpan file, const std::string& fileName,
                             std::span<std::uint8_t> header,
                             std::span<const MeshArrayLayout> arrays);

// Reads the arrays of a mesh whose `header` was loaded earlier from `source`, named `fileName`,
// after checking that the mesh still begins with that header. Throws IoError when the file cannot
// be read and FormatError when it has changed so that the header or the arrays no longer match.
std::vector<Bytes> RereadMeshArrays(const FileRange& source, const std::string& fileName,
                                    ByteSpan header, std::span<const MeshArrayLayout> arrays);

// The arrays of a mesh whose `header` was loaded earlier from `source`, named `fileName`, read
// from there a bounded piece at a time, for a writer that passes them on without holding them
// whole. Opening checks that the mesh still begins with that header and that every array lies
// inside it, with the errors of RereadMeshArrays; a piece is read only from inside the array it
// belongs to.
class MeshArrayFile {
  public:
    MeshArrayFile(const FileRange& source, const std::string& fileName, ByteSpan header,
                  std::size_t headerSize, std::span<const MeshArrayLayout> arrays);
    ~MeshArrayFile();
    MeshArrayFile(const MeshArrayFile&) = delete;
    MeshArrayFile& operator=(const MeshArrayFile&) = delete;

    // The size in bytes of array `array` (its index in the layout table).
    std::uint64_t ArraySize(std::size_t array) const;
    // Reads bytes [at, at + into.size()) of array `array` into `into`. Throws FormatError when
    // the file has been cut short since it was opened, std::out_of_range when the range is not
    // inside the array (a caller's mistake).
    void ReadPiece(std::size_t array, std::uint64_t at, std::span<std::uint8_t> into) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The name held in a fixed-size name slot: its bytes up to the first NUL, or the whole slot when
// it has none.
std::string SlotName(ByteSpan slot);

// `index` as a slot position, after checking that it lies in [0, slots); std::out_of_range
// otherwise (a caller's mistake, never a property of a file).
std::size_t SlotIndex(int index, int slots, const char* table);

}  // namespace carconv
