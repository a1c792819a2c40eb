// Fuzz target: the whole conversion of a package from arbitrary bytes, with the template files of
// the sample generator's stock car. A package that converts must give an archive that loads.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/converter_app.h"
#include "files/viv_archive.h"
#include "fuzz_support.h"
#include "sample_cars.h"

using namespace carconv;
using namespace carconv::fuzz;

namespace {

// The template folder, filled once per process; ends in a separator.
const std::string& TemplateDirectory() {
    static const std::string directory = [] {
        std::string dir = ScratchPath("templates");
        std::filesystem::create_directories(dir);
        for (const samples::Member& member : samples::StockCarMembers(1)) {
            std::ofstream out(dir + "/" + member.name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(member.bytes.data()),
                      static_cast<std::streamsize>(member.bytes.size()));
        }
        return dir + "/";
    }();
    return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& templates = TemplateDirectory();
    RunOneOnDisk([&] {
        std::string input = WriteInput("in.viv", data, size);
        std::string output = ScratchPath("out.viv");
        ConvertPackage(input, output, templates);
        MustLoad<VivArchive>(output);
    });
    return 0;
}
