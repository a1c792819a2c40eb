#include "app/stage.h"

#include "platform/file_system.h"

namespace carconv {

std::string StageContext::InputFile(const std::string& name) const {
    return JoinPath(inputDirectory, inputNames.Find(name).value_or(name));
}

std::string StageContext::OutputFile(const std::string& name) const {
    return JoinPath(outputDirectory, name);
}

std::string StageContext::TemplateFile(const std::string& name) const {
    return JoinPath(templateDirectory, templateNames.Find(name).value_or(name));
}

}  // namespace carconv
