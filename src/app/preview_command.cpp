#include "app/preview_command.h"

#include <filesystem>
#include <system_error>

#include "files/errors.h"
#include "platform/file_system.h"
#include "platform/terminal.h"

namespace carconv {

std::string DefaultPreviewPath(const std::string& input) {
    std::filesystem::path path = NativePath(input);
    path.replace_filename(PathString(path.stem()) + "-preview.png");
    return PathString(path);
}

void WritePreview(const std::string& input, const std::string& output,
                  const PreviewOptions& options) {
    namespace fs = std::filesystem;
    const std::string target = output.empty() ? DefaultPreviewPath(input) : output;
    const bool toStandardOutput = target == "-";
    if (!toStandardOutput) {
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(NativePath(target), ec)))
            throw IoError(target, "is a directory");
        std::error_code same;
        if (fs::equivalent(NativePath(input), NativePath(target), same) && !same)
            throw IoError(target, "is the input itself: choose another output");
    }
    const Bytes png = EncodePng(RenderCarPreview(input, options));
    if (toStandardOutput) {
        WriteStandardOutput(png);
        return;
    }
    SweepAbandonedTemporariesBeside(target);
    AtomicFileWriter out(target, AtomicFileWriter::Devices::kWriteInto);
    out.Write(png);
    out.Commit();
}

}  // namespace carconv
