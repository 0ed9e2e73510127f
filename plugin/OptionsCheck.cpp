#include "plugin/OptionsCheck.h"

#include <string_view>

#include "plugin/TextNumbers.h"

namespace {

// The window reads at most this many characters of an edit field.
constexpr std::size_t kEditTextLimit = 99;

struct EditField {
    OptionsField field;
    const char* label;  // as the window names it
    std::string OptionsResult::*text;
    const SettingRule& rule;
};

const std::array<EditField, 3> kEdits = {{
    {OptionsField::TimerInterval, "Timer interval", &OptionsResult::timerInterval,
     SETTING_RULES[0]},
    {OptionsField::WaitTimeout, "Waiting ack", &OptionsResult::waitTimeout, SETTING_RULES[1]},
    {OptionsField::RemoveTimeout, "Removing after", &OptionsResult::removeTimeout,
     SETTING_RULES[2]},
}};

}  // namespace

std::optional<OptionsRefusal> checkOptions(const OptionsResult& result, PluginSettings& taken) {
    for (const EditField& edit : kEdits) {
        const std::string_view text = std::string_view(result.*edit.text).substr(0, kEditTextLimit);
        const auto ms = parseSecondsAsMs(text);
        if (!ms || !inRange(edit.rule, *ms)) {
            return OptionsRefusal{edit.field, std::string(edit.label) + ": " +
                                                  formatSeconds(edit.rule.low) + " to " +
                                                  formatSeconds(edit.rule.high) + " s"};
        }
        taken.*edit.rule.value = static_cast<std::int32_t>(*ms);
    }
    const SettingRule& notify = SETTING_RULES[3];
    if (!inRange(notify, std::int64_t{result.notifyIndex} + 1)) {
        return OptionsRefusal{OptionsField::NotifyType, "Notification type: choose one"};
    }
    taken.notifyType = result.notifyIndex + 1;
    taken.logFile = result.logFile ? 1 : 0;
    return std::nullopt;
}
