#include <memory>

#include "app/template_files.h"
#include "files/carried_file.h"
#include "image/fsh_file.h"
#include "image/tga_file.h"
#include "mesh/fce4_file.h"
#include "platform/file_system.h"

namespace carconv {

namespace {

// Copies the template `name` into the output working directory; returns the copy's path.
std::string CopyTemplate(StageContext& context, const char* name) {
    std::string copy = context.OutputFile(name);
    CopyFileReplace(context.TemplateFile(name), copy);
    return copy;
}

// The template `name` loaded as a `T`: carried from the templates directory when packing it
// would give its bytes as they are, else copied, so that the member rewrites its copy.
template <typename T>
void CarryTemplate(StageContext& context, const char* name) {
    auto checked = std::make_unique<T>(context.OutputFile(name));
    checked->LoadFrom(FileRange{context.TemplateFile(name)});
    if (checked->WritesWhatItRead()) {
        GameFile& carried = context.Keep(
            std::make_unique<CarriedFile>(context.OutputFile(name), context.TemplateFile(name)));
        carried.Load();
        carried.typeTag = checked->typeTag;
        context.members->Add(carried);
        return;
    }
    T& file = context.Keep(std::make_unique<T>(CopyTemplate(context, name)));
    file.Load();
    context.members->Add(file);
}

}  // namespace

void RunDashboardStage(StageContext& context) {
    // Packed as it lies, so carried from the templates directory without a copy.
    context.members->Add(context.Keep(LoadCarriedPictureArchive(
        context.OutputFile("dash.fsh"), FileRange{context.TemplateFile("dash.fsh")})));
    CarryTemplate<Fce4File>(context, "dash.fce");
    CarryTemplate<TgaFile>(context, "dash00.tga");
}

}  // namespace carconv
