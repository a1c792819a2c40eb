#include "files/member_factory.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <typeinfo>
#include <utility>

#include "carp/carp3_file.h"
#include "carp/carp4_file.h"
#include "fedata/fedata3_file.h"
#include "fedata/fedata4_file.h"
#include "files/errors.h"
#include "files/name_index.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "image/fsh_file.h"
#include "image/tga_file.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "platform/file_system.h"

namespace carconv {

namespace {

// Tested in this order; the order only matters for the record, as no two overlap.
constexpr std::array<std::string_view, 7> kFedataNames = {"fedata.ita", "fedata.bri", "fedata.spa",
                                                          "fedata.fre", "fedata.swe", "fedata.eng",
                                                          "fedata.ger"};
constexpr std::array<std::string_view, 4> kCarpNames = {"carp.txt", "carp1.txt", "carp2.txt",
                                                        "carp3.txt"};
// Only the version-4 performance text has a section for parameter 80.
constexpr std::string_view kCarp4Marker = "(80)";
// Front-end data whose first byte, taken as signed, is at least this is in the version-3 layout.
constexpr int kFedata3FirstByteMin = 32;

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

template <std::size_t N>
bool EndsWithAny(std::string_view text, const std::array<std::string_view, N>& suffixes) {
    return std::any_of(suffixes.begin(), suffixes.end(),
                       [text](std::string_view s) { return EndsWith(text, s); });
}

bool IsVersion4Mesh(const std::string& path) {
    return Fce4File::HasVersionMark(ReadFilePrefix(path, Fce4File::kVersionMarkAt + 1));
}

bool IsVersion3Fedata(const std::string& path) {
    Bytes first = ReadFilePrefix(path, 1);
    return first.empty() || static_cast<std::int8_t>(first[0]) >= kFedata3FirstByteMin;
}

bool IsVersion4Carp(const std::string& path) {
    Bytes text = ReadWholeFile(path);
    return std::search(text.begin(), text.end(), kCarp4Marker.begin(), kCarp4Marker.end()) !=
           text.end();
}

bool IsPlain(const GameFile& file) {
    return typeid(file) == typeid(GameFile);
}

}  // namespace

std::unique_ptr<GameFile> NewMemberFile(const std::string& path, int nestingDepth,
                                        std::shared_ptr<UnpackBudget> budget) {
    const std::string name = AsciiLowerCase(path);
    if (EndsWith(name, ".viv"))
        return std::make_unique<VivArchive>(path, nestingDepth, std::move(budget));
    if (EndsWith(name, ".fsh"))
        return std::make_unique<FshFile>(path, std::move(budget));
    if (EndsWith(name, ".tga"))
        return std::make_unique<TgaFile>(path);
    if (EndsWith(name, ".fce")) {
        if (IsVersion4Mesh(path))
            return std::make_unique<Fce4File>(path);
        return std::make_unique<Fce3File>(path);
    }
    if (EndsWithAny(name, kFedataNames)) {
        if (IsVersion3Fedata(path))
            return std::make_unique<Fedata3File>(path);
        return std::make_unique<Fedata4File>(path);
    }
    if (EndsWithAny(name, kCarpNames)) {
        if (IsVersion4Carp(path))
            return std::make_unique<Carp4File>(path);
        return std::make_unique<Carp3File>(path);
    }
    return std::make_unique<GameFile>(path);
}

std::unique_ptr<GameFile> CreateMemberFile(std::string path, int nestingDepth,
                                           std::shared_ptr<UnpackBudget> budget) {
    std::unique_ptr<GameFile> file = NewMemberFile(path, nestingDepth, std::move(budget));
    if (IsPlain(*file))
        return file;
    try {
        file->Load();
    } catch (const ArchiveNestingError&) {
        throw;
    } catch (const UnpackLimitError&) {
        throw;
    } catch (const FormatError& e) {
        ReportWarning(file->GetFileName() + ": kept unread, it is not a valid " + file->typeTag +
                      " file: " + e.what());
        // Released first: a container removes what it unpacked before it failed.
        file.reset();
        file = std::make_unique<GameFile>(std::move(path));
        file->Load();
    }
    return file;
}

}  // namespace carconv
