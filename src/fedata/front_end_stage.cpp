#include "fedata/front_end_stage.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "fedata/fedata3_file.h"
#include "fedata/fedata4_file.h"
#include "files/game_file.h"
#include "image/fsh_file.h"

namespace carconv {

namespace {

constexpr const char* kPictureArchiveName = "fedata.fsh";
constexpr std::array<const char*, 7> kLanguageFileNames = {"fedata.eng", "fedata.bri", "fedata.ger",
                                                           "fedata.fre", "fedata.ita", "fedata.spa",
                                                           "fedata.swe"};

}  // namespace

void RunFrontEndStage(StageContext& context) {
    if (const std::optional<std::string> pictureSource =
            context.FindInputFile(kPictureArchiveName)) {
        // The car's front-end pictures: carried into the package from the input, packed as
        // they lie.
        context.members->Add(context.Keep(LoadCarriedPictureArchive(
            context.OutputFile(kPictureArchiveName), context.InputBytes(*pictureSource))));
    }

    for (const char* name : kLanguageFileNames) {
        Fedata3File& source = context.Keep(std::make_unique<Fedata3File>(context.InputFile(name)));
        source.LoadFrom(context.InputBytes(source.path));
        // Held for the archive writer rather than written to a file: a kilobyte or so.
        const std::unique_ptr<Fedata4File> converted = source.ToFedata4(context.OutputFile(name));
        context.HoldMember(name, converted->typeTag,
                           std::make_shared<const Bytes>(converted->Serialize()));
    }
}

}  // namespace carconv
