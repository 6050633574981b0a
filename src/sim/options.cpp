// The options of hostcmd-sim.
#include <cstdio>
#include <cstdlib>

#include "install/install.h"
#include "sim/sim.h"

namespace {
// "E=DIR": a drive letter, "=" and a host folder.
bool driveOption(const std::string& option, const std::string& value, std::vector<std::pair<char, std::string>>& drives,
                 std::string& error) {
    char letter = value.empty() ? 0 : value[0];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (value.size() < 3 || letter < 'A' || letter > 'Z' || value[1] != '=') {
        error = option + " takes LETTER=FOLDER, not \"" + value + "\"";
        return false;
    }
    for (auto& drive : drives)
        if (drive.first == letter) {
            error = std::string(option) + " gives drive " + letter + ": twice";
            return false;
        }
    drives.emplace_back(letter, value.substr(2));
    return true;
}

// "CAPTION=ANSWER", split at the first "=".
bool answerOption(const std::string& value, SimOptions& options, std::string& error) {
    std::size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0) {
        error = "an answer takes CAPTION=BUTTON, not \"" + value + "\"";
        return false;
    }
    options.answers.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    return true;
}

bool answersFile(const std::string& path, SimOptions& options, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read the answers file " + path;
        return false;
    }
    std::string bytes;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
    std::fclose(file);
    int number = 0;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (!answerOption(line, options, error)) {
            error = path + ":" + std::to_string(number) + ": " + error;
            return false;
        }
    }
    return true;
}
}  // namespace

bool parseSimOptions(const std::vector<std::string>& arguments, SimOptions& options, std::string& error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        bool takesValue = argument == "--simulate" || argument == "--simulate-file" || argument == "--drive" ||
                          argument == "--cd" || argument == "--registry" || argument == "--code-page" ||
                          argument == "--answer" || argument == "--answers" || argument == "--cwd" ||
                          argument == "--user" || argument == "--install-word";
        if (takesValue && i + 1 >= arguments.size()) {
            error = argument + " needs a value";
            return false;
        }
        const std::string value = takesValue ? arguments[++i] : std::string();
        if (argument == "--simulate") {
            if (options.haveCommandLine) {
                error = "only one command line can be simulated";
                return false;
            }
            options.commandLine = value;
            options.haveCommandLine = true;
        } else if (argument == "--simulate-file") {
            if (!options.file.empty()) {
                error = "only one file can be simulated";
                return false;
            }
            options.file = value;
        } else if (argument == "--batch" || argument == "--check" || argument == "--installer") {
            options.kind = argument.substr(2);
        } else if (argument == "--drive") {
            if (!driveOption(argument, value, options.drives, error)) return false;
        } else if (argument == "--cd") {
            if (!driveOption(argument, value, options.cds, error)) return false;
        } else if (argument == "--registry") {
            options.registryFiles.push_back(value);
        } else if (argument == "--code-page") {
            char* end = nullptr;
            unsigned long page = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end || page == 0 || page > 65535) {
                error = "--code-page takes a code page number, not \"" + value + "\"";
                return false;
            }
            options.codePage = static_cast<unsigned>(page);
        } else if (argument == "--answer") {
            if (!answerOption(value, options, error)) return false;
        } else if (argument == "--answers") {
            if (!answersFile(value, options, error)) return false;
        } else if (argument == "--answer-default") {
            options.answerDefault = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--cwd") {
            if (value.size() < 3 || value[1] != ':' || value[2] != '\\') {
                error = "--cwd takes an absolute Windows path such as C:\\work, not \"" + value + "\"";
                return false;
            }
            options.currentDirectory = value;
        } else if (argument == "--install-word") {
            if (!isInstallWord(value)) {
                error = "--install-word takes install, installQuiet, installUser or installUserQuiet, not \"" + value + "\"";
                return false;
            }
            options.installWord = value;
        } else if (argument == "--user") {
            if (value.empty() || value.find_first_of("\\/:*?\"<>|") != std::string::npos) {
                error = "--user takes a user name, not \"" + value + "\"";
                return false;
            }
            options.user = value;
        } else if (argument.size() > 1 && argument[0] == '-' && argument[1] == '-') {
            error = "unknown option " + argument;
            return false;
        } else if (options.haveCommandLine) {
            error = "only one command line can be simulated";
            return false;
        } else {
            options.commandLine = argument;
            options.haveCommandLine = true;
        }
    }
    if (options.haveCommandLine == !options.file.empty()) {
        error = options.haveCommandLine ? "give a command line or --simulate-file, not both"
                                        : "give a command line or --simulate-file FILE";
        return false;
    }
    if (!options.kind.empty() && options.file.empty()) {
        error = "--" + options.kind + " applies only to --simulate-file";
        return false;
    }
    return true;
}
