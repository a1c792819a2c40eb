#include "app/stage.h"

#include "platform/file_system.h"

namespace carconv {

std::string StageContext::InputFile(const std::string& name) const {
    return JoinPath(inputDirectory, name);
}

std::string StageContext::OutputFile(const std::string& name) const {
    return JoinPath(outputDirectory, name);
}

std::string StageContext::TemplateFile(const std::string& name) const {
    return JoinPath(templateDirectory, name);
}

}  // namespace carconv
