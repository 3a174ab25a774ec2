// The English message texts every executable carries unless its project
// gives its own.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "Project.h"

namespace tovex {

// What the texts say about the application.
struct MessageContext {
    std::optional<std::string> applicationName;  // UTF-8
    std::optional<std::string> minJavaVersion;
    std::optional<std::string> maxJavaVersion;
    // The launcher fills %EXCEPTION%, %CLASS_NAME% and its other own
    // placeholders only with the modern runtime search on (key 3001).
    bool modern = true;
    // The download page (key 3004): the texts that name a place to get Java
    // name it, so that a message and its question show one address.
    std::optional<std::string> downloadUrl;
};

// Adds a setting for each message key the project leaves unset: texts that
// name the application and the Java it needs, with its name as the caption.
void addMessageDefaults(std::vector<Setting>& settings, const MessageContext& context);

// Adds the texts of earlier versions, for builds with --plain.
void addClassicMessageDefaults(std::vector<Setting>& settings);

}  // namespace tovex
