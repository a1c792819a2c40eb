#include "app/stage_table.h"

#include <vector>

#include "app/template_files.h"
#include "carp/performance_stage.h"
#include "fedata/front_end_stage.h"
#include "image/skin_stage.h"
#include "mesh/mesh_stage.h"

namespace carconv {

std::span<const Stage> ConversionStages() {
    static const std::vector<Stage> stages = {
        {"performance data", RunPerformanceStage},
        {"mesh", RunMeshStage},
        {"skin texture", RunSkinStage},
        {"dashboard", RunDashboardStage},
        {"front-end data", RunFrontEndStage},
        {"engine sounds", RunEngineSoundStage},
    };
    return stages;
}

}  // namespace carconv
