// Runs the simulation and reports what changed and what was shown, as text
// (one line per item, stable for golden files) or as JSON.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "app/runner.h"
#include "install/journal.h"
#include "platform/memory_platform.h"
#include "sim/sim.h"

namespace {
const Handle simulatedInstance = 0x400000;
const std::size_t shownBytes = 256;  // files up to this size show their bytes in the text
const std::uint64_t reportedBytes = 16 << 20;  // and up to this size in the JSON
const std::size_t maxQuestions = 1000;

struct Unanswered {
    std::string message;
};

struct Item {  // one line of the report: its JSON fields, in order
    std::vector<std::pair<std::string, std::string>> fields;  // name, JSON value
    std::string text;
};

std::string shown(const std::string& bytes) {  // as the trace shows texts
    std::string text = "\"";
    for (unsigned char c : bytes) {
        if (c == '\r') text += "<CR>";
        else if (c == '\n') text += "<LF>";
        else if (c == '\t') text += "<TAB>";
        else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<0x%02X>", c);
            text += hex;
        } else text += static_cast<char>(c);
    }
    return text + "\"";
}

std::string json(const std::string& bytes) {  // one character per byte
    std::string text = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') text += std::string("\\") + static_cast<char>(c);
        else if (c >= 0x20 && c < 0x7F) text += static_cast<char>(c);
        else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            text += escape;
        }
    }
    return text + "\"";
}
std::string jsonBool(bool value) { return value ? "true" : "false"; }

std::string rootName(const std::string& key) {  // "<root number>\path" -> "HKLM\path"
    std::size_t slash = key.find('\\');
    unsigned long long root = std::stoull(key.substr(0, slash));
    std::string name = root == rootClassesRoot ? "HKCR" : root == rootCurrentUser ? "HKCU" : root == rootLocalMachine ? "HKLM" : "HKU";
    return slash == std::string::npos ? name : name + key.substr(slash);
}

std::string typeName(unsigned type) {
    switch (type) {
        case 1: return "REG_SZ";
        case 2: return "REG_EXPAND_SZ";
        case 3: return "REG_BINARY";
        case 4: return "REG_DWORD";
        case 7: return "REG_MULTI_SZ";
        default: return "REG_" + std::to_string(type);
    }
}

std::string valueText(const FakeRegistryValue& value) {
    if ((value.type == 1 || value.type == 2) && !value.bytes.empty() && value.bytes.back() == '\0')
        return shown(value.bytes.substr(0, value.bytes.size() - 1));
    if (value.type == 4 && value.bytes.size() == 4) {
        unsigned long number = 0;
        for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(value.bytes[i]);
        char text[16];
        std::snprintf(text, sizeof text, "dword:%08lx", number);
        return text;
    }
    std::string text = "hex:";
    for (std::size_t i = 0; i < value.bytes.size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, i ? ",%02x" : "%02x", static_cast<unsigned char>(value.bytes[i]));
        text += pair;
    }
    return text;
}

const char* buttonNames[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
std::vector<int> buttonsOf(unsigned style) {
    switch (style & 0xF) {
        case 1: return {1, 2};
        case 2: return {3, 4, 5};
        case 3: return {6, 7, 2};
        case 4: return {6, 7};
        case 5: return {4, 2};
        default: return {1};
    }
}

bool sameNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

// The scripted answers, each taken once, in order, by caption.
std::vector<std::pair<std::string, std::string>> script;
std::vector<bool> used;
bool answerDefault;
std::vector<std::string> boxAnswers, dialogAnswers;  // what was answered, per box and per dialog

bool takeAnswer(const std::string& caption, std::string& answer) {
    for (std::size_t i = 0; i < script.size(); ++i)
        if (!used[i] && script[i].first == caption) {
            used[i] = true;
            answer = script[i].second;
            return true;
        }
    return false;
}

int answerBox(const FakeBox& box) {
    if (fakeBoxes.size() + fakeDialogs.size() > maxQuestions)
        throw Unanswered{"more than " + std::to_string(maxQuestions) + " boxes and dialogs: the run does not end"};
    std::vector<int> buttons = buttonsOf(box.style);
    std::string answer;
    int id = 0;
    if (takeAnswer(box.caption, answer)) {
        for (int button : buttons)
            if (sameNoCase(answer, buttonNames[button])) id = button;
        if (!id) throw Unanswered{"the box \"" + box.caption + "\" has no button \"" + answer + "\""};
    } else if (answerDefault) {
        std::size_t index = (box.style >> 8) & 0xF;
        id = buttons[index < buttons.size() ? index : 0];
    } else {
        // The message says how to answer: the option with this caption and a
        // button the box has, or the default button for every box.
        std::string names;
        for (int button : buttons) names += std::string(names.empty() ? "" : ", ") + buttonNames[button];
        throw Unanswered{"no answer for the box \"" + box.caption + "\" (" + shown(box.text) + "): give --answer \"" +
                         box.caption + "=BUTTON\" (" + names + "), or --answer-default for its default button"};
    }
    boxAnswers.push_back(buttonNames[id]);
    return id;
}

bool answerDialog(const FakeDialog& dialog, std::string& path) {
    if (fakeBoxes.size() + fakeDialogs.size() > maxQuestions)
        throw Unanswered{"more than " + std::to_string(maxQuestions) + " boxes and dialogs: the run does not end"};
    std::string caption = fakeDialogCaption(dialog.kind, dialog.title), answer;
    // The folder browser's window is captioned "Browse for Folder"; its title is the text inside.
    if (!takeAnswer(caption, answer) && !(dialog.kind == "browse" && takeAnswer("Browse for Folder", answer))) {
        if (!answerDefault)
            throw Unanswered{"no answer for the " + dialog.kind + " dialog \"" + caption + "\": give --answer \"" +
                             caption + "=" + (dialog.kind == "browse" ? "FOLDER" : "NAME") +
                             "\" (or Cancel), or --answer-default to cancel it"};
        answer = "Cancel";
    }
    if (sameNoCase(answer, "Cancel")) {
        dialogAnswers.push_back("");
        return false;
    }
    // A typed name is taken in the folder the dialog shows: its initial directory, else the current one.
    path = answer;
    if (dialog.kind != "browse" && !(path.size() >= 2 && path[1] == ':') && path.compare(0, 2, "\\\\") != 0) {
        std::string base = !dialog.initialDir.empty() && fakeDirectoryExists(dialog.initialDir) ? dialog.initialDir
                                                                                                 : fakeCurrentDirectory();
        path = base + (base.back() == '\\' ? "" : "\\") + path;
    }
    dialogAnswers.push_back(path);
    return true;
}

struct Snapshot {
    std::map<std::string, FakeEntry> entries;
    FakeRegistry registry;
};

bool isShortcutName(const std::string& lowerPath) {
    return lowerPath.size() > 4 && lowerPath.compare(lowerPath.size() - 4, 4, ".lnk") == 0;
}

bool sameFile(const FakeEntry& a, const FakeEntry& b) {
    if (a.directory != b.directory || a.readOnly != b.readOnly || a.size != b.size) return false;
    if (!a.source.empty() && a.source == b.source) return true;
    return a.directory || fakeEntryBytes(a) == fakeEntryBytes(b);
}

void fileItems(const Snapshot& before, const Snapshot& after, std::vector<Item>& files, std::vector<Item>& shortcuts) {
    std::vector<std::string> paths;
    for (auto& entry : before.entries) paths.push_back(entry.first);
    for (auto& entry : after.entries)
        if (!before.entries.count(entry.first)) paths.push_back(entry.first);
    std::sort(paths.begin(), paths.end());
    for (const std::string& path : paths) {
        auto old = before.entries.find(path), now = after.entries.find(path);
        bool existed = old != before.entries.end(), exists = now != after.entries.end();
        const FakeEntry& entry = exists ? now->second : old->second;
        if (existed && exists && sameFile(old->second, now->second) && !fakeShortcuts.count(path)) continue;
        if (fakeShortcuts.count(path) && exists) {
            const FakeShortcut& link = fakeShortcuts[path];
            Item item;
            item.fields = {{"change", json("made")}, {"path", json(entry.name)}, {"target", json(link.target)},
                           {"arguments", json(link.arguments)}, {"working_directory", json(link.workingDirectory)},
                           {"icon", json(link.iconFile)}, {"icon_index", std::to_string(link.iconIndex)},
                           {"description", json(link.description)}};
            item.text = "shortcut made " + entry.name + ": target " + shown(link.target) + ", arguments " +
                        (link.hasArguments ? shown(link.arguments) : "none") + ", working directory " +
                        (link.hasWorkingDirectory ? shown(link.workingDirectory) : "none") + ", icon " +
                        (link.hasIcon ? shown(link.iconFile) + " " + std::to_string(link.iconIndex) : "none") +
                        ", description " + shown(link.description);
            shortcuts.push_back(item);
            continue;
        }
        if (!exists && !entry.directory && isShortcutName(path)) {
            shortcuts.push_back(Item{{{"change", json("deleted")}, {"path", json(entry.name)}}, "shortcut deleted " + entry.name});
            continue;
        }
        Item item;
        std::string change = !existed ? "created" : !exists ? "deleted" : "changed";
        item.fields = {{"change", json(change)}, {"kind", json(entry.directory ? "folder" : "file")}, {"path", json(entry.name)}};
        item.text = change + " " + (entry.directory ? "folder " : "file ") + entry.name;
        if (!entry.directory && exists) {
            std::string bytes = entry.size <= reportedBytes ? fakeEntryBytes(entry) : std::string();
            if (existed) item.fields.push_back({"old_size", std::to_string(old->second.size)});
            item.fields.push_back({"size", std::to_string(entry.size)});
            item.fields.push_back({"bytes", entry.size <= reportedBytes ? json(bytes) : "null"});
            item.fields.push_back({"read_only", jsonBool(entry.readOnly)});
            item.text += " (" + (existed ? std::to_string(old->second.size) + " -> " : std::string()) +
                         std::to_string(entry.size) + " bytes" + (entry.readOnly ? ", read-only" : "") + ")";
            if (entry.size <= shownBytes) item.text += ": " + shown(bytes);
        }
        files.push_back(item);
    }
}

void registryItems(const Snapshot& before, const Snapshot& after, std::vector<Item>& items) {
    std::map<std::string, Item> sorted;  // by folded key, then value
    for (auto& key : after.registry.keys)
        if (!before.registry.keys.count(key.first))
            sorted[key.first + "\n"] = Item{{{"change", json("created key")}, {"key", json(rootName(key.second))}},
                                            "created key " + rootName(key.second)};
    for (auto& key : before.registry.keys)
        if (!after.registry.keys.count(key.first))
            sorted[key.first + "\n"] = Item{{{"change", json("deleted key")}, {"key", json(rootName(key.second))}},
                                            "deleted key " + rootName(key.second)};
    auto keyName = [](const FakeRegistry& registry, const std::string& key) {
        auto named = registry.keys.find(key);
        return rootName(named != registry.keys.end() ? named->second : key);
    };
    static const std::map<std::string, FakeRegistryValue> none;
    for (auto& key : after.registry.values) {
        auto oldKey = before.registry.values.find(key.first);
        const auto& oldValues = oldKey != before.registry.values.end() ? oldKey->second : none;
        for (auto& value : key.second) {
            auto old = oldValues.find(value.first);
            const FakeRegistryValue& now = value.second;
            if (old != oldValues.end() && old->second.type == now.type && old->second.bytes == now.bytes) continue;
            std::string name = now.name.empty() ? "@" : shown(now.name), shownKey = keyName(after.registry, key.first);
            Item item;
            item.fields = {{"change", json("set value")}, {"key", json(shownKey)}, {"name", json(now.name)},
                           {"type", json(typeName(now.type))}, {"bytes", json(now.bytes)}};
            item.text = "set value " + shownKey + " " + name + " = " + valueText(now) + " (" + typeName(now.type) + ")";
            if (old != oldValues.end()) {
                item.fields.push_back({"old_bytes", json(old->second.bytes)});
                item.text += ", was " + valueText(old->second);
            }
            sorted[key.first + "\n" + value.first] = item;
        }
    }
    for (auto& key : before.registry.values) {
        auto newKey = after.registry.values.find(key.first);
        const auto& newValues = newKey != after.registry.values.end() ? newKey->second : none;
        for (auto& value : key.second)
            if (!newValues.count(value.first)) {
                const FakeRegistryValue& old = value.second;
                std::string shownKey = keyName(before.registry, key.first);
                sorted[key.first + "\n" + value.first] =
                    Item{{{"change", json("deleted value")}, {"key", json(shownKey)}, {"name", json(old.name)}},
                         "deleted value " + shownKey + " " + (old.name.empty() ? "@" : shown(old.name))};
            }
    }
    for (auto& item : sorted) items.push_back(item.second);
}

// What an uninstall journal the run wrote holds, item by item as the
// uninstall reads it: every item of each journal the run changed.
std::string journalItemShown(const JournalItem& item) {
    switch (item.kind) {
        case journaledDirectory: return "folder " + item.name;
        case journaledFile:
            return "file " + item.name +
                   (item.identityKnown ? " (" + std::to_string(item.size) + " bytes)" : " (no identity: it stays)");
        case journaledKey: return "key " + registryRootName(item.root) + "\\" + item.name;
        case journaledValue: return "value " + registryRootName(item.root) + "\\" + item.name + " " + shown(item.valueName);
        default: return "installed directory " + item.name;
    }
}

void journalItems(const Snapshot& before, const Snapshot& after, std::vector<Item>& items) {
    const std::string suffix = std::string("\\") + journalKeyName;
    std::map<std::string, std::map<std::size_t, std::string>> journals;  // install key -> number -> item text
    std::map<std::string, bool> written;
    for (auto& key : after.registry.values) {
        auto named = after.registry.keys.find(key.first);
        const std::string& keyName = named != after.registry.keys.end() ? named->second : key.first;
        if (keyName.size() <= suffix.size() || !sameNoCase(keyName.substr(keyName.size() - suffix.size()), suffix))
            continue;
        std::string installKey = rootName(keyName.substr(0, keyName.size() - suffix.size()));
        auto oldKey = before.registry.values.find(key.first);
        for (auto& value : key.second) {
            const FakeRegistryValue& now = value.second;
            bool same = oldKey != before.registry.values.end() && oldKey->second.count(value.first) &&
                        oldKey->second.at(value.first).bytes == now.bytes;
            if (!same) written[installKey] = true;
            bool number = !now.name.empty() && now.name.size() < 10 &&
                          now.name.find_first_not_of("0123456789") == std::string::npos;
            if (number) journals[installKey][std::stoul(now.name)] = now.bytes.substr(0, now.bytes.find('\0'));
        }
    }
    for (auto& journal : journals) {
        if (!written.count(journal.first)) continue;
        for (auto& stored : journal.second) {
            JournalItem item;
            bool read = parseJournalItem(stored.second, item);
            const char* kinds[] = {"directory", "file", "key", "value", "installed"};
            Item shownItem{{{"journal", json(journal.first)}, {"item", std::to_string(stored.first)},
                            {"kind", read ? json(std::string(kinds[item.kind])) : "null"}},
                           "journal item " + std::to_string(stored.first) + " of " + journal.first + ": " +
                               (read ? journalItemShown(item) : "unreadable " + shown(stored.second) + ", left out")};
            if (read) {
                shownItem.fields.push_back({"name", json(item.kind == journaledKey || item.kind == journaledValue
                                                              ? registryRootName(item.root) + "\\" + item.name
                                                              : item.name)});
                if (item.kind == journaledValue) shownItem.fields.push_back({"value", json(item.valueName)});
                if (item.kind == journaledFile && item.identityKnown)
                    shownItem.fields.push_back({"size", std::to_string(item.size)});
            }
            items.push_back(shownItem);
        }
    }
}

std::vector<Item> eventItems() {
    std::vector<std::pair<std::size_t, Item>> events;
    for (std::size_t i = 0; i < fakeBoxes.size(); ++i) {
        const FakeBox& box = fakeBoxes[i];
        std::string buttons, list;
        for (int button : buttonsOf(box.style)) {
            buttons += std::string(buttons.empty() ? "" : " ") + buttonNames[button];
            list += std::string(list.empty() ? "" : ",") + json(std::string(buttonNames[button]));
        }
        std::string answer = i < boxAnswers.size() ? boxAnswers[i] : "";
        events.push_back({box.callNumber,
                          Item{{{"kind", json("box")}, {"caption", json(box.caption)}, {"text", json(box.text)},
                                {"buttons", "[" + list + "]"}, {"answer", answer.empty() ? "null" : json(answer)}},
                               "box " + shown(box.caption) + " " + shown(box.text) + " [" + buttons + "] answered " +
                                   (answer.empty() ? "nothing" : answer)}});
    }
    for (std::size_t i = 0; i < fakeDialogs.size(); ++i) {
        const FakeDialog& dialog = fakeDialogs[i];
        std::string answer = i < dialogAnswers.size() ? dialogAnswers[i] : "";
        std::string kind = dialog.kind == "browse" ? "folder browser" : dialog.kind + " dialog";
        Item item{{{"kind", json("dialog")}, {"dialog", json(dialog.kind)}, {"title", json(dialog.title)},
                   {"answer", answer.empty() ? "null" : json(answer)}},
                  kind + " " + shown(dialog.title)};
        if (dialog.kind != "browse") {
            item.fields.push_back({"file", json(dialog.file)});
            item.fields.push_back({"initial_dir", json(dialog.initialDir)});
            item.text += " file " + shown(dialog.file) + " in " + shown(dialog.initialDir);
        }
        item.text += answer.empty() ? " cancelled" : " answered " + shown(answer);
        events.push_back({dialog.callNumber, item});
    }
    for (const FakeShellCall& call : fakeShellCalls)
        events.push_back({call.callNumber,
                          Item{{{"kind", json("shell")}, {"verb", json(call.verb)}, {"file", json(call.file)},
                                {"parameters", call.hasParameters ? json(call.parameters) : "null"}},
                               "shell " + call.verb + " " + shown(call.file) +
                                   (call.hasParameters ? " parameters " + shown(call.parameters) : "")}});
    for (const FakeFailedCall& call : fakeFailedCalls) {
        std::string line = call.line.substr(call.line.find_first_not_of(' '));
        events.push_back({call.callNumber, Item{{{"kind", json("failed")}, {"call", json(line)}}, "failed " + line}});
    }
    if (fakeRebootStarted)
        events.push_back({fakeCalls.size(), Item{{{"kind", json("restart")}}, "restart of Windows started"}});
    std::stable_sort(events.begin(), events.end(),
                     [](const std::pair<std::size_t, Item>& a, const std::pair<std::size_t, Item>& b) { return a.first < b.first; });
    std::vector<Item> items;
    for (auto& event : events) items.push_back(event.second);
    return items;
}

void printJsonList(const char* name, const std::vector<Item>& items, bool last) {
    std::printf("  \"%s\": [", name);
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::printf("%s\n    {", i ? "," : "");
        for (std::size_t f = 0; f < items[i].fields.size(); ++f)
            std::printf("%s\"%s\": %s", f ? ", " : "", items[i].fields[f].first.c_str(), items[i].fields[f].second.c_str());
        std::printf("}");
    }
    std::printf("%s]%s\n", items.empty() ? "" : "\n  ", last ? "" : ",");
}
}  // namespace

int simulate(const SimOptions& options, const std::string& commandLine) {
    script = options.answers;
    used.assign(script.size(), false);
    answerDefault = options.answerDefault;
    boxAnswers.clear();
    dialogAnswers.clear();
    fakeBoxAnswerer = answerBox;
    fakeDialogAnswerer = answerDialog;

    Snapshot before{fakeEntrySnapshot(), fakeRegistrySnapshot()};
    fakeCalls.clear();
    fakeFailedCalls.clear();
    std::string error;
    try {
        resetRuns();
        runCommandLine(simulatedInstance, commandLine);
    } catch (const Unanswered& stop) {
        error = stop.message;
    }
    Snapshot after{fakeEntrySnapshot(), fakeRegistrySnapshot()};

    std::vector<Item> files, shortcuts, registry, journal;
    fileItems(before, after, files, shortcuts);
    registryItems(before, after, registry);
    journalItems(before, after, journal);
    std::vector<Item> events = eventItems();
    if (options.json) {
        std::printf("{\n  \"command_line\": %s,\n  \"current_directory\": %s,\n", json(commandLine).c_str(),
                    json(options.currentDirectory.empty() ? fakeCurrentDirectory() : options.currentDirectory).c_str());
        printJsonList("files", files, false);
        printJsonList("registry", registry, false);
        printJsonList("shortcuts", shortcuts, false);
        printJsonList("journal", journal, false);
        printJsonList("events", events, false);
        std::printf("  \"exit_code\": %d,\n", exitCode());
        std::printf("  \"error\": %s\n}\n", error.empty() ? "null" : json(error).c_str());
    } else {
        std::printf("run %s\n", shown(commandLine).c_str());
        for (auto* list : {&files, &registry, &shortcuts, &journal, &events})
            for (const Item& item : *list) std::printf("%s\n", item.text.c_str());
        if (files.empty() && registry.empty() && shortcuts.empty() && events.empty()) std::printf("nothing happened\n");
        if (exitCode() != 0) std::printf("exit code %d\n", exitCode());
    }
    std::fflush(stdout);
    if (!error.empty()) {
        std::fprintf(stderr, "hostcmd-sim: stopped: %s\n", error.c_str());
        return 2;
    }
    return 0;
}
