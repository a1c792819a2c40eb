#include "files/game_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "files/errors.h"
#include "files/file_list.h"
#include "files/working_directory.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::ScratchDir;

class MarkingFile : public GameFile {
  public:
    using GameFile::GameFile;
    int SaveAs(std::string target) override {
        test::WriteFile(target, std::string("typed"));
        return 1;
    }
};

TEST(GameFile, BaseOperationsTreatTheFileAsAnOpaqueBlob) {
    ScratchDir dir;
    test::WriteFile(dir.File("empty"), std::string());
    test::WriteFile(dir.File("blob.bnk"), std::string("abc\0def", 7));

    GameFile empty(dir.File("empty"));
    EXPECT_EQ(empty.Load(), 1);
    EXPECT_EQ(empty.length, 0);

    GameFile blob(dir.File("blob.bnk"));
    EXPECT_EQ(blob.Load(), 1);
    EXPECT_EQ(blob.length, 7);
    EXPECT_EQ(blob.Save(), 1);  // writes nothing
    EXPECT_EQ(test::ReadFile(dir.File("blob.bnk")).size(), 7u);

    MarkingFile typed(dir.File("blob.bnk"));
    typed.Save();  // dispatched to the concrete SaveAs with the object's own path
    EXPECT_EQ(test::ReadFile(dir.File("blob.bnk")), test::Bytes({'t', 'y', 'p', 'e', 'd'}));

    GameFile missing(dir.File("nothere"));
    EXPECT_THROW(missing.Load(), IoError);
}

TEST(GameFile, FileNameIsTheLastComponentAfterAnySeparator) {
    EXPECT_EQ(GameFile("C:\\cars\\out\\carp1.txt").GetFileName(), "carp1.txt");
    EXPECT_EQ(GameFile("/tmp/x/car.fce").GetFileName(), "car.fce");
    EXPECT_EQ(GameFile("c:car.viv").GetFileName(), "car.viv");
    EXPECT_EQ(GameFile("plain").GetFileName(), "plain");
}

TEST(FileList, KeepsOrderAndOwnsNothing) {
    auto a = std::make_unique<GameFile>("a");
    auto b = std::make_unique<GameFile>("b");
    {
        FileList list;
        EXPECT_EQ(list.Add(*a), 0);
        EXPECT_EQ(list.Add(*b), 1);
        EXPECT_EQ(list.GetSize(), 2);
        EXPECT_EQ(&list.ElementAt(0), a.get());
        EXPECT_EQ(&list.ElementAt(1), b.get());
        list.RemoveAll();
        EXPECT_EQ(list.GetSize(), 0);
        list.Add(*a);
    }
    EXPECT_EQ(a->path, "a");  // still usable after the list is gone
}

TEST(RemoveDirectoryTree, RemovesDeepTreesWithOrWithoutTrailingSeparator) {
    ScratchDir dir;
    test::WriteFile(dir.File("kept"), std::string("1"));
    for (const char* variant : {"t1", "t2/"}) {
        std::string root = dir.File("t1");
        if (std::string(variant) == "t2/")
            root = dir.File("t2");
        std::filesystem::create_directories(root + "/dash/.x");
        test::WriteFile(root + "/dash/.x/f", std::string("1"));
        test::WriteFile(root + "/.dotfile", std::string("1"));
        test::WriteFile(root + "/car.fce", std::string("1"));
#ifndef _WIN32
        // Links go themselves; what they lead to stays.
        std::filesystem::create_directory_symlink(dir.Path(), root + "/dash/up");
        std::filesystem::create_symlink(dir.File("kept"), root + "/kept");
#endif
        RemoveDirectoryTree(dir.File(variant));
        EXPECT_FALSE(test::Exists(root)) << variant;
        EXPECT_EQ(test::ReadFile(dir.File("kept")), test::Bytes{'1'});
    }
    RemoveDirectoryTree(dir.File("does-not-exist"));  // no effect, no report
    EXPECT_EQ(test::ListNames(dir.Path()), std::vector<std::string>{"kept"});
}

TEST(WorkingDirectory, EachIsNewAndUnderTheTemporaryDirectory) {
    std::string first, second;
    {
        WorkingDirectory a("car.viv");
        WorkingDirectory b("car.viv");
        first = a.Path();
        second = b.Path();
        EXPECT_NE(first, second);
        EXPECT_TRUE(std::filesystem::is_directory(first));
        // Compared without the trailing separator that Windows gives the temporary directory.
        const std::filesystem::path temp =
            (std::filesystem::temp_directory_path() / "").parent_path();
        EXPECT_EQ(std::filesystem::path(first).parent_path(), temp);
        // The hint cannot steer the path.
        WorkingDirectory c("../../etc");
        EXPECT_EQ(std::filesystem::path(c.Path()).parent_path(), temp);
    }
    EXPECT_FALSE(test::Exists(first));
    EXPECT_FALSE(test::Exists(second));
}

}  // namespace
}  // namespace carconv
