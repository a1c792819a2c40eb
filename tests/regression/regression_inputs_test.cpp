// Inputs that once crashed, hung or misbehaved under the fuzzer, kept in
// tests/regression/<target>/ and replayed through the loader of their target. Each must load
// (and what is written from it must load again) or fail with a CarconvError; a crash, a sanitizer
// report or any other exception fails the suite.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/converter_app.h"
#include "carp/carp3_file.h"
#include "carp/carp4_file.h"
#include "fedata/fedata3_file.h"
#include "fedata/fedata4_file.h"
#include "files/errors.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "image/fsh_file.h"
#include "image/fsh_image.h"
#include "image/tga_file.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

// Loads a file that carconv wrote; it must not be refused.
template <class File>
void ExpectLoads(const std::string& path) {
    File file(path);
    EXPECT_NO_THROW(file.Load()) << path;
}

// What each fuzz target does with its input, which lies at `input` under the name the target
// gives it; `scratch` takes whatever the target writes.
struct Target {
    std::string inputName;
    std::function<void(const std::string& input, const ScratchDir& scratch)> run;
};

const std::map<std::string, Target>& Targets() {
    static const std::map<std::string, Target> targets = {
        {"viv_archive",
         {"car.viv",
          [](const std::string& input, const ScratchDir& scratch) {
              VivArchive archive(input);
              archive.Load();
              archive.SaveAs(scratch.File("copy.viv"));
              ExpectLoads<VivArchive>(scratch.File("copy.viv"));
          }}},
        {"carp3",
         {"carp.txt",
          [](const std::string& input, const ScratchDir& scratch) {
              Carp3File carp(input);
              carp.Load();
              carp.SaveAs(scratch.File("same.txt"));
              ExpectLoads<Carp3File>(scratch.File("same.txt"));
              carp.ConvertToCarp4(scratch.File("converted.txt"));
              ExpectLoads<Carp4File>(scratch.File("converted.txt"));
          }}},
        {"carp4",
         {"carp.txt",
          [](const std::string& input, const ScratchDir& scratch) {
              Carp4File carp(input);
              carp.Load();
              carp.SaveAs(scratch.File("same.txt"));
              ExpectLoads<Carp4File>(scratch.File("same.txt"));
          }}},
        {"fce3",
         {"car.fce",
          [](const std::string& input, const ScratchDir& scratch) {
              Fce3File mesh(input);
              mesh.Load();
              mesh.ConvertToFce4(scratch.File("converted.fce"));
              ExpectLoads<Fce4File>(scratch.File("converted.fce"));
          }}},
        {"fce4",
         {"car.fce",
          [](const std::string& input, const ScratchDir& scratch) {
              Fce4File mesh(input);
              mesh.Load();
              mesh.SaveAs(scratch.File("same.fce"));
              ExpectLoads<Fce4File>(scratch.File("same.fce"));
          }}},
        {"fedata3",
         {"fedata.eng",
          [](const std::string& input, const ScratchDir& scratch) {
              Fedata3File data(input);
              data.Load();
              data.ConvertToFedata4(scratch.File("converted.eng"));
              ExpectLoads<Fedata4File>(scratch.File("converted.eng"));
          }}},
        {"fedata4",
         {"fedata.eng",
          [](const std::string& input, const ScratchDir& scratch) {
              Fedata4File data(input);
              data.Load();
              data.SaveAs(scratch.File("same.eng"));
              ExpectLoads<Fedata4File>(scratch.File("same.eng"));
          }}},
        {"fsh_file",
         {"dash.fsh",
          [](const std::string& input, const ScratchDir&) {
              FshFile pictures(input);
              pictures.Load();
          }}},
        {"fsh_image",
         {"dash",
          [](const std::string& input, const ScratchDir&) {
              FshImage image(input);
              image.Load();
          }}},
        {"tga",
         {"car00.tga",
          [](const std::string& input, const ScratchDir& scratch) {
              TgaFile texture(input);
              texture.Load();
              texture.SaveAs(scratch.File("same.tga"));
              ExpectLoads<TgaFile>(scratch.File("same.tga"));
          }}},
        {"convert",
         {"in.viv",
          [](const std::string& input, const ScratchDir& scratch) {
              test::WriteTemplates(scratch.Path());
              ConvertPackage(input, scratch.File("out.viv"), scratch.Path() + "/");
              ExpectLoads<VivArchive>(scratch.File("out.viv"));
          }}},
    };
    return targets;
}

TEST(RegressionInputs, EveryKeptInputLoadsOrFailsCleanly) {
    const fs::path root(CARCONV_REGRESSION_DIR);
    ScopedWarningSink quiet([](const std::string&) {});
    const auto before = test::LeftoverWorkingDirectories();
    int replayed = 0;
    for (const auto& directory : fs::directory_iterator(root)) {
        if (!directory.is_directory())
            continue;
        const std::string targetName = directory.path().filename().string();
        auto target = Targets().find(targetName);
        ASSERT_NE(target, Targets().end()) << "no fuzz target named " << targetName;
        std::vector<fs::path> inputs;
        for (const auto& file : fs::directory_iterator(directory.path()))
            inputs.push_back(file.path());
        std::sort(inputs.begin(), inputs.end());
        for (const fs::path& file : inputs) {
            SCOPED_TRACE(targetName + "/" + file.filename().string());
            ScratchDir scratch;
            const std::string input = scratch.File(target->second.inputName);
            test::WriteFile(input, test::ReadFile(file.string()));
            try {
                target->second.run(input, scratch);
            } catch (const CarconvError&) {
                // The clean way to refuse an input.
            }
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0) << "no regression inputs under " << root;
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

}  // namespace
}  // namespace carconv
