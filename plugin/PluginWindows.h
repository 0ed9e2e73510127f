// The seam between the plug-in's logic and its windows, timer and clock.
// The logic (tracker, settings, log) calls these interfaces only; the
// windowing layer implements PluginPlatform, LogView and OptionsView with
// its toolkit, and tests put recording fakes in their place.
//
// Everything is called on the host's UI thread. Texts are 8-bit (Latin-1)
// strings; the windowing layer converts them for display.
//
// How the logic finds its platform and clock
//   - The windowing layer defines makePluginPlatform(). The logic calls it
//     once, when it first needs it (the first event that opens a window,
//     starts the timer or shows a box), and keeps the result for the life of
//     the library; a null result means no windows, no timer and no boxes.
//     setPluginPlatform() installs a platform directly instead (tests).
//   - The clock is the machine's own (systemPluginClock(), no toolkit needed)
//     unless setPluginClock() installs another one (tests).
//
// Lifetime rules for the windowing layer
//   - The logic destroys a view by dropping its unique_ptr, sometimes from
//     inside one of that view's own callbacks (OK, Cancel, close): the view
//     must not touch itself after calling back, and should defer deleting its
//     widget (deleteLater).
//   - The library's unload hook releases views and timers and then the
//     platform, possibly at process exit after the application object is
//     gone: destructors and killTimer must then do nothing harmful.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Title shown in captions and message boxes and answered to EVENT_INIT.
inline constexpr char PLUGIN_TITLE[] = "Dorrimel v0.4";

// The entries of the options window's drop-down list; entry i is NotifyType i + 1.
inline constexpr std::array<const char*, 4> NOTIFY_TYPE_NAMES = {
    "Message from recipient",
    "Offline message from recipient",
    "Message from Mirabilis",
    "Message from UIN=2",
};

// The shortest period a tracker timer runs with, whatever it was asked for.
inline constexpr std::int32_t MIN_TIMER_PERIOD_MS = 10;

// The log window (template 102): two counters and a list box of lines.
// Created hidden, with both counters showing "0".
class LogView {
  public:
    virtual ~LogView() = default;
    // Adds a line at the end; its index, or -1 when the list box refused it.
    virtual int appendLine(const std::string& text) = 0;
    // The text of line index; false when there is no such line.
    virtual bool lineText(int index, std::string& text) const = 0;
    // Deletes line index and inserts text at the same index; the selection
    // is left as it was. Does nothing when there is no such line.
    virtual void replaceLine(int index, const std::string& text) = 0;
    // Selects line index and scrolls it into view.
    virtual void selectLine(int index) = 0;
    // "Msg processed:" and "Msg waiting: " labels, as unsigned decimals.
    virtual void setCounters(std::uint32_t processed, std::uint32_t waiting) = 0;
    virtual void show(bool visible) = 0;
};

// What the options window shows when it opens.
struct OptionsValues {
    std::string timerInterval;  // edit 1002, seconds as formatSeconds writes them
    std::string waitTimeout;    // edit 1004
    std::string removeTimeout;  // edit 1005
    int notifyIndex = -1;       // selected entry of list 1001, -1 for none
    bool logFile = false;       // check box 1000
};

// What the options window reports when OK is pressed: the raw edit texts
// (at most 99 characters each), the selected index (-1 none), the check box.
struct OptionsResult {
    std::string timerInterval;
    std::string waitTimeout;
    std::string removeTimeout;
    int notifyIndex = -1;
    bool logFile = false;
};

struct OptionsCallbacks {
    std::function<void(const OptionsResult&)> accepted;  // OK (1)
    std::function<void()> cancelled;                     // Cancel (2) or the close button
    std::function<void()> showLog;                       // "Show Log" (1003)
};

// The fields of the options window that can refuse what they hold.
enum class OptionsField { TimerInterval, WaitTimeout, RemoveTimeout, NotifyType };

// The options window (template 101), modeless, shown at once. The logic
// closes it by dropping the pointer.
class OptionsView {
  public:
    virtual ~OptionsView() = default;
    // OK was refused: the window stays open with field focused (an edit's
    // text selected) and shows text in its caption until the next OK.
    virtual void refuse(OptionsField field, const std::string& text) = 0;
};

enum class BoxIcon { Error, Information };

using TimerId = std::uint32_t;  // 0 is no timer

class PluginPlatform {
  public:
    virtual ~PluginPlatform() = default;
    // Creates the hidden log window captioned caption; null when that failed.
    // closeButton runs when the user closes it (the window only hides).
    virtual std::unique_ptr<LogView> createLogWindow(const std::string& caption,
                                                     std::function<void()> closeButton) = 0;
    // Opens the options window captioned caption; null when that failed.
    virtual std::unique_ptr<OptionsView> openOptions(const std::string& caption,
                                                     const OptionsValues& values,
                                                     OptionsCallbacks callbacks) = 0;
    // A periodic timer on the UI thread's event loop, never faster than
    // MIN_TIMER_PERIOD_MS; 0 when it could not be started.
    virtual TimerId startTimer(std::int32_t periodMs, std::function<void()> tick) = 0;
    virtual void killTimer(TimerId id) = 0;
    // Shows a message box without blocking the caller.
    virtual void messageBox(const std::string& text, const std::string& caption, BoxIcon icon) = 0;
};

struct PluginDateTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

class PluginClock {
  public:
    virtual ~PluginClock() = default;
    // The system's millisecond tick counter; wraps after about 49.7 days.
    virtual std::uint32_t tickCount() = 0;
    virtual PluginDateTime localDateTime() = 0;
    virtual PluginDateTime utcDateTime() = 0;
};

// Defined by the windowing layer (see above).
std::unique_ptr<PluginPlatform> makePluginPlatform();

// Installs platform in place of the one makePluginPlatform() would give,
// after releasing the plug-in's timer and windows as the unload hook does.
void setPluginPlatform(std::unique_ptr<PluginPlatform> platform);
// Installs clock (not owned; null restores the machine's clock).
void setPluginClock(PluginClock* clock);
// The machine's clock.
PluginClock& systemPluginClock();
