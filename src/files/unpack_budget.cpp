#include "files/unpack_budget.h"

#include <utility>

#include <fmt/format.h>

namespace carconv {

UnpackBudget::UnpackBudget(std::string file, std::uint64_t fileSize)
    : file_(std::move(file)),
      byteLimit_(kByteAllowance + kBytesPerSourceByte * fileSize),
      fileLimit_(kFileAllowance + fileSize / kSourceBytesPerFile) {}

std::shared_ptr<UnpackBudget> UnpackBudget::ForContainer(std::shared_ptr<UnpackBudget> shared,
                                                         const std::string& file,
                                                         std::uint64_t fileSize) {
    if (shared)
        return shared;
    return std::make_shared<UnpackBudget>(file, fileSize);
}

void UnpackBudget::Charge(std::uint64_t bytes) {
    if (filesUsed_ >= fileLimit_) {
        throw UnpackLimitError(
            file_, fmt::format("unpacking would create more than {} files, too many for a file "
                               "of this size",
                               fileLimit_));
    }
    ChargeGrowth(bytes);
    ++filesUsed_;
}

void UnpackBudget::ChargeGrowth(std::uint64_t bytes) {
    if (bytes > byteLimit_ - bytesUsed_) {
        throw UnpackLimitError(
            file_, fmt::format("unpacking would write more than {} bytes, too many for a file "
                               "of this size",
                               byteLimit_));
    }
    bytesUsed_ += bytes;
}

}  // namespace carconv
