#include "mesh/mesh_stage.h"

#include <array>
#include <cstdint>
#include <memory>

#include "files/errors.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "platform/file_system.h"

namespace carconv {

void RunMeshStage(StageContext& context) {
    // Read where it lies: the mesh is most of a package, and is left in it rather than unpacked.
    const std::string source = context.InputFile("car.fce");
    const FileRange bytes = context.InputBytes(source);
    if (Fce4File::IsVersion4Mesh(bytes)) {
        throw CarconvError("car.fce is already a version-4 mesh");
    }

    Fce3File& mesh = context.Keep(std::make_unique<Fce3File>(source));
    mesh.LoadFrom(bytes);
    const std::string converted = context.OutputFile("car.fce");
    static constexpr std::array<const char*, 4> kMembers = {"car.fce", "car1.fce", "car2.fce",
                                                            "car3.fce"};
    if (mesh.Fce4Size(converted) <= static_cast<std::uint64_t>(context.heldMemberLimit)) {
        // The four members hold the same bytes, built in memory.
        const auto content = std::make_shared<const Bytes>(mesh.Fce4Bytes(converted));
        for (const char* name : kMembers)
            context.HoldMember(name, Fce4File::kTypeTag, content);
        return;
    }
    mesh.ConvertToFce4(converted);

    static constexpr std::array<const char*, 3> kCopies = {"car1.fce", "car2.fce", "car3.fce"};
    for (const char* name : kCopies)
        ShareFileReplace(converted, context.OutputFile(name));

    for (const char* name : kMembers) {
        Fce4File& member = context.Keep(std::make_unique<Fce4File>(context.OutputFile(name)));
        member.Load();
        context.members->Add(member);
    }
}

}  // namespace carconv
