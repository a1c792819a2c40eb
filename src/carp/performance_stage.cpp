#include "carp/performance_stage.h"

#include <array>
#include <memory>

#include "carp/carp3_file.h"
#include "carp/carp4_file.h"

namespace carconv {

namespace {

constexpr const char* kPerformanceText = "carp.txt";
// The package carries the converted text three more times under these names.
constexpr std::array<const char*, 3> kPerformanceCopies = {"carp1.txt", "carp2.txt", "carp3.txt"};

}  // namespace

void RunPerformanceStage(StageContext& context) {
    Carp3File& source =
        context.Keep(std::make_unique<Carp3File>(context.InputFile(kPerformanceText)));
    source.LoadFrom(context.InputBytes(source.path));

    // A few kilobytes, held for the archive writer rather than written to a file; the copies
    // hold the same bytes.
    const std::unique_ptr<Carp4File> converted =
        source.ToCarp4(context.OutputFile(kPerformanceText));
    const auto text = std::make_shared<const Bytes>(converted->Serialize(converted->path));
    context.HoldMember(kPerformanceText, converted->typeTag, text);
    for (const char* name : kPerformanceCopies)
        context.HoldMember(name, converted->typeTag, text);
}

}  // namespace carconv
