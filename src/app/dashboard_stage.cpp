#include <memory>

#include "app/template_files.h"
#include "image/fsh_file.h"
#include "image/tga_file.h"
#include "mesh/fce4_file.h"
#include "platform/file_system.h"

namespace carconv {

namespace {

template <typename T>
void CarryTemplate(StageContext& context, const char* name) {
    std::string copy = context.OutputFile(name);
    CopyFileReplace(context.TemplateFile(name), copy);
    T& file = context.Keep(std::make_unique<T>(copy));
    file.Load();
    context.members->Add(file);
}

}  // namespace

void RunDashboardStage(StageContext& context) {
    CarryTemplate<FshFile>(context, "dash.fsh");
    CarryTemplate<Fce4File>(context, "dash.fce");
    CarryTemplate<TgaFile>(context, "dash00.tga");
}

}  // namespace carconv
