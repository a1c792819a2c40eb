#include "app/stage.h"

#include <fmt/format.h>

#include "files/errors.h"
#include "files/held_file.h"
#include "files/safe_name.h"
#include "platform/file_system.h"

namespace carconv {

std::string StageContext::InputFile(const std::string& name) {
    std::optional<std::string> path = FindInputFile(name);
    if (!path)
        throw CarconvError(fmt::format("{} has no member {}", PrintableName(inputPackage), name));
    return *path;
}

std::optional<std::string> StageContext::FindInputFile(const std::string& name) {
    requestedInputs.insert(AsciiLowerCase(name));
    std::optional<std::string> member = inputNames.Find(name);
    if (!member)
        return std::nullopt;
    return JoinPath(inputDirectory, *member);
}

FileRange StageContext::InputBytes(const std::string& memberPath) const {
    const auto found = inputInPackage.find(memberPath);
    return found == inputInPackage.end() ? FileRange{memberPath} : found->second;
}

GameFile& StageContext::HoldMember(const std::string& name, std::string typeTag,
                                   std::shared_ptr<const Bytes> content) {
    GameFile& member =
        Keep(std::make_unique<HeldFile>(OutputFile(name), std::move(typeTag), std::move(content)));
    member.Load();
    members->Add(member);
    return member;
}

std::string StageContext::OutputFile(const std::string& name) const {
    return JoinPath(outputDirectory, name);
}

std::string StageContext::TemplateFile(const std::string& name) const {
    return JoinPath(templateDirectory, templateNames.Find(name).value_or(name));
}

}  // namespace carconv
