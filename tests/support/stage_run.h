#pragma once

// The run's side of a conversion stage, for the stage tests: two working directories, the member
// list and the kept objects.

#include <memory>
#include <string>
#include <vector>

#include "app/stage.h"
#include "files/viv_archive.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv::test {

struct StageRun {
    ScratchDir in;
    ScratchDir out;
    FileList members;
    std::vector<std::unique_ptr<GameFile>> objects;
    StageContext context;

    // `templateDirectory` ends in a separator; the default names no folder that exists.
    explicit StageRun(const std::string& templateDirectory = "/nonexistent/") {
        context.templateDirectory = templateDirectory;
        context.inputDirectory = in.Path();
        context.outputDirectory = out.Path();
        context.members = &members;
        context.objects = &objects;
    }

    // The context as the run hands it over, with the input files as the package's members.
    StageContext& Context() {
        context.inputNames = NameIndex::OfDirectory(in.Path());
        context.inputPackage = "in.viv";
        return context;
    }

    // The members as the archive writer packs them, read back by the test's own parser.
    std::vector<std::pair<std::string, Bytes>> Packed() {
        ScratchDir dir;
        VivArchive archive(dir.File("packed.viv"));
        for (int i = 0; i < members.GetSize(); ++i)
            archive.members.Add(members.ElementAt(i));
        archive.SaveAs(archive.path);
        return ReadArchive(archive.path);
    }
};

}  // namespace carconv::test
