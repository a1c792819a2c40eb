#include "carp/performance_stage.h"

#include <array>
#include <memory>

#include "carp/carp3_file.h"
#include "carp/carp4_file.h"
#include "platform/file_system.h"

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

    const std::string converted = context.OutputFile(kPerformanceText);
    source.ConvertToCarp4(converted);
    for (const char* name : kPerformanceCopies) {
        ShareFileReplace(converted, context.OutputFile(name));
    }

    Carp4File& first = context.Keep(std::make_unique<Carp4File>(converted));
    first.Load();
    context.members->Add(first);
    for (const char* name : kPerformanceCopies) {
        Carp4File& copy = context.Keep(std::make_unique<Carp4File>(context.OutputFile(name)));
        copy.Load();
        context.members->Add(copy);
    }
}

}  // namespace carconv
