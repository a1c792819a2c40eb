#include "app/stage_table.h"

#include <vector>

#include "carp/performance_stage.h"

namespace carconv {

std::span<const Stage> ConversionStages() {
    static const std::vector<Stage> stages = {
        {"performance data", RunPerformanceStage},
    };
    return stages;
}

}  // namespace carconv
