#include "plugin/Settings.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <memory>

#include "plugin/TextFormat.h"
#include "plugin/TextNumbers.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string_view trimBlanks(std::string_view text, const char* blanks = " \t") {
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

const SettingRule* ruleNamed(std::string_view key) {
    for (const SettingRule& rule : SETTING_RULES) {
        if (key == rule.key) {
            return &rule;
        }
    }
    return nullptr;
}

// Per key, the line about its last value when that was refused.
using Refusals = std::array<std::string, SETTING_RULES.size()>;

// One line of the file: key = value; lines without "=" and unknown keys are
// skipped. The last value of a key wins, a refused one as the default.
void applyLine(PluginSettings& s, Refusals& refusals, std::string_view line) {
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) {
        return;
    }
    const SettingRule* rule = ruleNamed(trimBlanks(line.substr(0, equals)));
    if (rule == nullptr) {
        return;
    }
    const std::string_view text = trimBlanks(line.substr(equals + 1), " \t\r\n");
    const auto value = parseLeadingInteger(text);
    std::string& refusal = refusals[static_cast<std::size_t>(rule - SETTING_RULES.data())];
    if (value && inRange(*rule, *value)) {
        s.*rule->value = static_cast<std::int32_t>(*value);
        refusal.clear();
        return;
    }
    s.*rule->value = rule->fallback;
    refusal =
        formatText("%s: %s = %s is %s %i to %i, the default %i is used", SETTINGS_FILE_NAME,
                   rule->key, std::string(text).c_str(), value ? "outside" : "not a number from",
                   rule->low, rule->high, rule->fallback);
}

}  // namespace

int loadSettings(std::vector<std::string>* notes) {
    PluginSettings& s = pluginSettings();
    for (const SettingRule& rule : SETTING_RULES) {
        s.*rule.value = rule.fallback;
    }
    const File file(std::fopen(SETTINGS_FILE_NAME, "r"));
    if (!file) {
        return 1;
    }
    // At most 99 characters per read: the rest of a longer line reads as a
    // line of its own.
    std::array<char, 100> line{};
    Refusals refusals;
    while (std::fgets(line.data(), static_cast<int>(line.size()), file.get()) != nullptr) {
        applyLine(s, refusals, std::string_view(line.data()));
    }
    for (std::string& refusal : refusals) {
        if (notes != nullptr && !refusal.empty()) {
            notes->push_back(std::move(refusal));
        }
    }
    return 0;
}

int saveSettings() {
    const PluginSettings& s = pluginSettings();
    const File file(std::fopen(SETTINGS_FILE_NAME, "w"));
    if (!file) {
        return 1;
    }
    std::fprintf(file.get(),
                 "TimerInterval = %i\nWaitTimeout = %i\nRemoveTimeout = %i\nNotifyType = %i\n"
                 "LogFile = %i",
                 s.timerInterval, s.waitTimeout, s.removeTimeout, s.notifyType, s.logFile);
    return 0;
}

std::string formatSeconds(std::int32_t ms) {
    const auto value = static_cast<std::uint32_t>(ms);
    if (value % 1000 == 0) {
        return std::to_string(static_cast<std::int32_t>(value / 1000));
    }
    // to_chars rather than printf: the point stays a point in every locale.
    std::array<char, 32> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value * 0.001,
                                      std::chars_format::fixed, 3);
    return std::string(text.data(), result.ptr);
}
