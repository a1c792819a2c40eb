#include "image/skin_stage.h"

#include <array>
#include <memory>

#include "image/tga_file.h"
#include "platform/file_system.h"

namespace carconv {

namespace {

constexpr const char* kSkinName = "car00.tga";
// The skin and the copies the newer layout carries, in member order.
constexpr std::array<const char*, 4> kMemberNames = {"car00.tga", "car100.tga", "car200.tga",
                                                     "car300.tga"};

}  // namespace

void RunSkinStage(StageContext& context) {
    TgaFile& source = context.Keep(std::make_unique<TgaFile>(context.InputFile(kSkinName)));
    source.LoadFrom(context.InputBytes(source.path));
    source.FlipRows();
    if (source.length <= context.heldMemberLimit) {
        // The flipped skin is in memory already; its four members hold the same bytes.
        const auto content = std::make_shared<const Bytes>(source.Serialize());
        for (const char* name : kMemberNames)
            context.HoldMember(name, source.typeTag, content);
        return;
    }
    const std::string skin = context.OutputFile(kSkinName);
    source.SaveAs(skin);
    for (std::size_t i = 1; i < kMemberNames.size(); ++i) {
        ShareFileReplace(skin, context.OutputFile(kMemberNames[i]));
    }
    for (const char* name : kMemberNames) {
        TgaFile& member = context.Keep(std::make_unique<TgaFile>(context.OutputFile(name)));
        member.Load();
        context.members->Add(member);
    }
}

}  // namespace carconv
