// Inputs that once crashed, hung or misbehaved under the fuzzer, kept in
// tests/regression/<target>/ and replayed through the loader of their target, from a file and, as
// the fuzz targets read them, from memory. Each must load (and what is written from it must load
// again) or fail with a CarconvError; a crash, a sanitizer report or any other exception fails the
// suite.

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

// Parses what carconv wrote; it must not be refused.
template <class File>
void ExpectParses(const Bytes& written) {
    File file("written");
    EXPECT_NO_THROW(file.Parse(written));
}

// What each fuzz target does with its input: `run` with the input at `input` under the name the
// target gives it (`scratch` takes whatever it writes), `parse` with the input in memory (none
// for the conversion, which works on files).
struct Target {
    std::string inputName;
    std::function<void(const std::string& input, const ScratchDir& scratch)> run;
    std::function<void(const Bytes& input)> parse;
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
          },
          [](const Bytes& input) {
              VivArchive archive("car.viv");
              archive.Parse(input);
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
          },
          [](const Bytes& input) {
              Carp3File carp("carp.txt");
              carp.Parse(input);
              ExpectParses<Carp3File>(carp.Serialize("same.txt"));
              ExpectParses<Carp4File>(carp.ToCarp4("converted.txt")->Serialize("converted.txt"));
          }}},
        {"carp4",
         {"carp.txt",
          [](const std::string& input, const ScratchDir& scratch) {
              Carp4File carp(input);
              carp.Load();
              carp.SaveAs(scratch.File("same.txt"));
              ExpectLoads<Carp4File>(scratch.File("same.txt"));
          },
          [](const Bytes& input) {
              Carp4File carp("carp.txt");
              carp.Parse(input);
              ExpectParses<Carp4File>(carp.Serialize("same.txt"));
          }}},
        {"fce3",
         {"car.fce",
          [](const std::string& input, const ScratchDir& scratch) {
              Fce3File mesh(input);
              mesh.Load();
              mesh.ConvertToFce4(scratch.File("converted.fce"));
              ExpectLoads<Fce4File>(scratch.File("converted.fce"));
          },
          [](const Bytes& input) {
              Fce3File mesh("car.fce");
              mesh.Parse(input);
              ExpectParses<Fce4File>(mesh.ToFce4("converted.fce")->Serialize("converted.fce"));
          }}},
        {"fce4",
         {"car.fce",
          [](const std::string& input, const ScratchDir& scratch) {
              Fce4File mesh(input);
              mesh.Load();
              mesh.SaveAs(scratch.File("same.fce"));
              ExpectLoads<Fce4File>(scratch.File("same.fce"));
          },
          [](const Bytes& input) {
              Fce4File mesh("car.fce");
              mesh.Parse(input);
              ExpectParses<Fce4File>(mesh.Serialize("same.fce"));
          }}},
        {"fedata3",
         {"fedata.eng",
          [](const std::string& input, const ScratchDir& scratch) {
              Fedata3File data(input);
              data.Load();
              data.ConvertToFedata4(scratch.File("converted.eng"));
              ExpectLoads<Fedata4File>(scratch.File("converted.eng"));
          },
          [](const Bytes& input) {
              Fedata3File data("fedata.eng");
              data.Parse(input);
              ExpectParses<Fedata4File>(data.ToFedata4("converted.eng")->Serialize());
          }}},
        {"fedata4",
         {"fedata.eng",
          [](const std::string& input, const ScratchDir& scratch) {
              Fedata4File data(input);
              data.Load();
              data.SaveAs(scratch.File("same.eng"));
              ExpectLoads<Fedata4File>(scratch.File("same.eng"));
          },
          [](const Bytes& input) {
              Fedata4File data("fedata.eng");
              data.Parse(input);
              ExpectParses<Fedata4File>(data.Serialize());
          }}},
        {"fsh_file",
         {"dash.fsh",
          [](const std::string& input, const ScratchDir&) {
              FshFile pictures(input);
              pictures.Load();
          },
          [](const Bytes& input) {
              FshFile pictures("dash.fsh");
              pictures.Parse(input);
          }}},
        {"fsh_image",
         {"dash",
          [](const std::string& input, const ScratchDir&) {
              FshImage image(input);
              image.Load();
          },
          [](const Bytes& input) {
              FshImage image("dash");
              image.Parse(input);
          }}},
        {"tga",
         {"car00.tga",
          [](const std::string& input, const ScratchDir& scratch) {
              TgaFile texture(input);
              texture.Load();
              texture.SaveAs(scratch.File("same.tga"));
              ExpectLoads<TgaFile>(scratch.File("same.tga"));
          },
          [](const Bytes& input) {
              TgaFile texture("car00.tga");
              texture.Parse(input);
              ExpectParses<TgaFile>(texture.Serialize());
          }}},
        {"convert",
         {"in.viv",
          [](const std::string& input, const ScratchDir& scratch) {
              test::WriteTemplates(scratch.Path());
              ConvertPackage(input, scratch.File("out.viv"), scratch.Path() + "/");
              ExpectLoads<VivArchive>(scratch.File("out.viv"));
          },
          nullptr}},
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
            if (target->second.parse) {
                try {
                    target->second.parse(test::ReadFile(file.string()));
                } catch (const CarconvError&) {
                }
            }
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0) << "no regression inputs under " << root;
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

}  // namespace
}  // namespace carconv
