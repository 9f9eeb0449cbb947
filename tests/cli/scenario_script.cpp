#include "tests/cli/scenario_script.h"

#include <cctype>
#include <sstream>

namespace scenario {
namespace {

bool IsFileMarker(const std::string& line, std::string& name) {
    if (line.size() > 6 && line.starts_with("-- ") && line.ends_with(" --")) {
        name = line.substr(3, line.size() - 6);
        return true;
    }
    return false;
}

// Splits at blanks outside single quotes; the quotes stay in the words for Expand.
std::vector<std::string> SplitWords(const std::string& text, int line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : text) {
        if (c == '\'') {
            quoted = !quoted;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            continue;
        }
        word.push_back(c);
        inWord = true;
    }
    if (quoted) {
        throw ScriptError("line " + std::to_string(line) + ": unterminated quote");
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

Script ParseScript(const std::string& text) {
    Script script;
    std::istringstream in(text);
    std::string line;
    std::string name;
    int number = 0;
    std::string* file = nullptr;
    while (std::getline(in, line)) {
        ++number;
        if (IsFileMarker(line, name)) {
            script.files.emplace_back(name, "");
            file = &script.files.back().second;
            continue;
        }
        if (file != nullptr) {
            *file += line + "\n";
            continue;
        }
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        std::vector<std::string> words = SplitWords(line, number);
        Command command{number, line, false, false, {}, {}};
        if (words.front().size() > 2 && words.front().starts_with('[') &&
            words.front().ends_with(']')) {
            command.condition = words.front().substr(1, words.front().size() - 2);
            words.erase(words.begin());
        }
        if (!words.empty() && words.front() == "!") {
            command.negated = true;
            words.erase(words.begin());
        }
        if (!words.empty() && words.back() == "&") {
            command.background = true;
            words.pop_back();
        }
        if (words.empty()) {
            throw ScriptError("line " + std::to_string(number) + ": no command");
        }
        command.words = std::move(words);
        script.commands.push_back(std::move(command));
    }
    return script;
}

std::string Expand(const std::string& word, const std::map<std::string, std::string>& variables) {
    std::string out;
    bool quoted = false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        if (c == '\'') {
            if (quoted && i + 1 < word.size() && word[i + 1] == '\'') {
                out.push_back('\'');
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (c == '$' && !quoted && i + 1 < word.size()) {
            const bool braced = word[i + 1] == '{';
            std::size_t end = i + 1 + (braced ? 1 : 0);
            const std::size_t start = end;
            while (end < word.size() &&
                   (std::isalnum(static_cast<unsigned char>(word[end])) || word[end] == '_')) {
                ++end;
            }
            const auto found = variables.find(word.substr(start, end - start));
            out += found == variables.end() ? "" : found->second;
            i = braced ? end : end - 1;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char c = text[++i];
        if (c == 'n') {
            out.push_back('\n');
        } else if (c == 'r') {
            out.push_back('\r');
        } else if (c == 't') {
            out.push_back('\t');
        } else if (c == 'x' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace scenario
