// A real Form1 in a scratch program folder with the real Dorrimel plugin.so
// copied into it, over loopback peers that play the ICQ client and servers.
// Dorrimel runs on the test program's QApplication with its own (real)
// clock, so the loop below pumps the proxy and Qt's events until a condition
// holds; nothing is ever timed.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/LoopbackSession.h"

using Cookie = std::array<std::uint8_t, 8>;
using Lines = std::vector<std::string>;

inline constexpr const char* kOwnUin = "123456789";

// Sees every timer event of the application and notes the ticks of the
// timers that nobody owns: the plug-in's tracker timer is one of those.
class TimerWatch : public QObject {
  public:
    struct Tick {
        QPointer<QTimer> timer;
        int interval = 0;
    };

    bool eventFilter(QObject* watched, QEvent* event) override;
    // A live timer that ticked with `interval` ms since the last clear, or null.
    QTimer* tickingWith(int interval) const;
    int ticksOf(const QTimer* timer) const;
    // Ticks since the last clear that came from another timer than `timer`.
    int ticksOfOthers(const QTimer* timer) const;
    void clear() { ticks_.clear(); }

  private:
    std::vector<Tick> ticks_;
};

// The frames the tests send.
ByteVec outgoingMessage(const Cookie& cookie, const std::string& uin, std::uint32_t requestId);
ByteVec serverAck(const Cookie& cookie, const std::string& uin, std::uint32_t requestId);
ByteVec clientAck(const Cookie& cookie, const std::string& uin, std::uint32_t requestId);
// The notification of type 1 ("Message from recipient") with sequence 0.
ByteVec recipientNotice(const std::string& uin, const std::string& text);

// Runs deferred deletions now, as the host's event loop would.
void flushDeferredDeletes();

// A loopback session whose program folder holds the real Dorrimel.
class DorrimelSessionTest : public LoopbackSessionTest {
  protected:
    DorrimelSessionTest();
    ~DorrimelSessionTest() override;
    void TearDown() override;

    // dorrimel.ini with these values, notification type 1, log file on.
    void writeSettings(int timerMs, int waitMs, int removeMs);

    // Pumps the proxy and the Qt events, collecting what the chat peers
    // receive, until `done` holds; false when it never did within a
    // generous bound.
    bool runUntil(const std::function<bool()>& done) override;

    // The chat server drops the session; the proxy ends it.
    void endChatFromServer();

    // msgack.log's line texts after their time stamps; a line without a
    // proper stamp fails the test.
    Lines msgack() const;
    // The plug-in's one top-level window of that object name ("LogDialog",
    // "OptionsDialog") made during this test, or null.
    QWidget* dorrimelWindow(const char* objectName) const;
    int dorrimelWindowCount() const;
    // The log window's list lines and its counters ("Msg processed:", "Msg
    // waiting: ").
    Lines logWindowLines() const;
    std::string processedCounter() const;
    std::string waitingCounter() const;

    std::vector<ByteVec> clientFrames;  // what client-chat received, in order
    std::vector<ByteVec> serverFrames;  // what server-chat received, in order
    TimerWatch timers;

  private:
    std::vector<QWidget*> newTopLevels() const;
    void collect();

    std::vector<QPointer<QWidget>> earlierWidgets_;
};
