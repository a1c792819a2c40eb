#pragma once

// UnpackBudget: how much a tree of containers (an archive, the archives and picture archives
// inside it, and so on down) may write to disk when it is unpacked.
//
// A container's directory may point several entries at the same bytes, and a member may be a
// container itself, so a small crafted file could otherwise unpack to many times its own size,
// or into a great many files. A container that does not overlap its entries unpacks at most its
// own size; nesting repeats that once per level. The budget of a tree is derived from the size of
// its outermost file:
//
//   bytes  kByteAllowance + kBytesPerSourceByte x outermost size
//   files  kFileAllowance + outermost size / kSourceBytesPerFile
//
// A member that grows when it is loaded (a run-length texture is decoded, and written back
// decoded) takes its growth from the byte limit as well, reckoned from its header before anything
// is decoded or allocated, so the loaded members of a tree cannot hold many times what it may
// unpack either, not even for a moment.
//
// These limits leave room for a package nested a few levels deep and for modest overlaps, and stops
// an amplifying file with an UnpackLimitError naming the outermost file. The file limit also
// refuses a package of tens of thousands of near-empty members, which the format allows but no car
// needs, and which would take longer to unpack than any real package. Every container of a tree
// charges the one budget, which the outermost container creates and hands down with the nesting
// depth.

#include <cstdint>
#include <memory>
#include <string>

#include "files/errors.h"

namespace carconv {

// Unpacking a tree of containers would exceed its budget. Like a nesting too deep, this stops
// the load of every container of the tree.
class UnpackLimitError : public FormatError {
  public:
    using FormatError::FormatError;
};

class UnpackBudget {
  public:
    static constexpr std::uint64_t kByteAllowance = std::uint64_t{1} << 20;
    static constexpr std::uint64_t kBytesPerSourceByte = 4;
    static constexpr std::uint64_t kFileAllowance = 1024;
    static constexpr std::uint64_t kSourceBytesPerFile = 256;

    // The budget of a tree whose outermost container is `file`, of `fileSize` bytes.
    UnpackBudget(std::string file, std::uint64_t fileSize);

    // A budget for the container `file` of `fileSize` bytes: `shared` when the container lies in
    // a tree that already has one, else a fresh one of its own.
    static std::shared_ptr<UnpackBudget> ForContainer(std::shared_ptr<UnpackBudget> shared,
                                                      const std::string& file,
                                                      std::uint64_t fileSize);

    // Takes one file of `bytes` bytes from the budget, before it is written. Throws
    // UnpackLimitError, and takes nothing, when the tree would exceed either limit.
    void Charge(std::uint64_t bytes);
    // Takes `bytes` from the byte limit alone: what an unpacked file grew by when it was loaded.
    // Throws UnpackLimitError, and takes nothing, when the tree would exceed the limit.
    void ChargeGrowth(std::uint64_t bytes);

    std::uint64_t ByteLimit() const { return byteLimit_; }
    std::uint64_t FileLimit() const { return fileLimit_; }
    std::uint64_t BytesUsed() const { return bytesUsed_; }
    std::uint64_t FilesUsed() const { return filesUsed_; }

  private:
    std::string file_;
    std::uint64_t byteLimit_;
    std::uint64_t fileLimit_;
    std::uint64_t bytesUsed_ = 0;
    std::uint64_t filesUsed_ = 0;
};

}  // namespace carconv
