#include "tests/dorrimel_e2e/DorrimelSession.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>

#include "proxy/plugin_host/PluginApi.h"

namespace {

// Far beyond anything a session step takes; reaching it means the step failed.
constexpr std::chrono::seconds kPatience{30};

ByteVec uinField(const std::string& uin) {
    return concat({ByteVec{static_cast<std::uint8_t>(uin.size())}, textBytes(uin)});
}

ByteVec cookieField(const Cookie& cookie) {
    return ByteVec(cookie.begin(), cookie.end());
}

void moveFrames(Peer& peer, std::vector<ByteVec>& into) {
    for (ByteVec& frame : peer.takeFrames()) {
        into.push_back(std::move(frame));
    }
}

}  // namespace

bool TimerWatch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Timer) {
        auto* timer = qobject_cast<QTimer*>(watched);
        if (timer != nullptr && timer->parent() == nullptr) {
            ticks_.push_back({timer, timer->interval()});
        }
    }
    return false;
}

QTimer* TimerWatch::tickingWith(int interval) const {
    for (auto tick = ticks_.rbegin(); tick != ticks_.rend(); ++tick) {
        if (tick->timer && tick->interval == interval) {
            return tick->timer.data();
        }
    }
    return nullptr;
}

int TimerWatch::ticksOf(const QTimer* timer) const {
    return static_cast<int>(std::count_if(ticks_.begin(), ticks_.end(), [timer](const Tick& t) {
        return t.timer && t.timer.data() == timer;
    }));
}

int TimerWatch::ticksOfOthers(const QTimer* timer) const {
    return static_cast<int>(std::count_if(ticks_.begin(), ticks_.end(), [timer](const Tick& t) {
        return !t.timer || t.timer.data() != timer;
    }));
}

ByteVec outgoingMessage(const Cookie& cookie, const std::string& uin, std::uint32_t requestId) {
    const ByteVec body =
        concat({cookieField(cookie), ByteVec{0, 1}, uinField(uin),
                tlv(2, concat({tlv(0x0501, ByteVec{1}),
                               tlv(0x0101, concat({ByteVec{0, 0, 0, 0}, textBytes("hello")}))}))});
    return flap(2, 0x1234, snac(4, 6, body, requestId));
}

ByteVec serverAck(const Cookie& cookie, const std::string& uin, std::uint32_t requestId) {
    const ByteVec body = concat({cookieField(cookie), ByteVec{0, 1}, uinField(uin)});
    return flap(2, 0x6001, snac(4, 0x0C, body, requestId));
}

ByteVec clientAck(const Cookie& cookie, const std::string& uin, std::uint32_t requestId) {
    const ByteVec body = concat({cookieField(cookie), ByteVec{0, 2}, uinField(uin), ByteVec{0, 3}});
    return flap(2, 0x6002, snac(4, 0x0B, body, requestId));
}

ByteVec recipientNotice(const std::string& uin, const std::string& text) {
    const auto t = static_cast<std::uint32_t>(text.size() + 1);
    ByteVec body = concat({ByteVec(8, 0), ByteVec{0, 4}, uinField(uin), ByteVec{0, 0, 0, 0}});
    appendBe16(body, 5);
    appendBe16(body, t + 10);
    appendLe32(body, static_cast<std::uint32_t>(std::stoul(uin)));
    body.push_back(1);  // message type
    body.push_back(0);  // message flags
    appendLe16(body, t);
    body.insert(body.end(), text.begin(), text.end());
    body.push_back(0);
    appendLe16(body, 0);
    return flap(2, 0, snac(4, 7, body, 0));
}

void flushDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

DorrimelSessionTest::DorrimelSessionTest() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        earlierWidgets_.emplace_back(widget);
    }
    QCoreApplication::instance()->installEventFilter(&timers);
    std::filesystem::copy_file(DORRIMEL_PLUGIN_PATH, dir / PLUGIN_FILE_NAME);
    writeSettings(50, 200, 400);
}

DorrimelSessionTest::~DorrimelSessionTest() {
    QCoreApplication::instance()->removeEventFilter(&timers);
}

void DorrimelSessionTest::TearDown() {
    // A test that stopped half-way must not leave this copy of the plug-in
    // running (its timer would reach the next test's proxy).
    if (form.session().chatMode == CHAT_RELAY) {
        form.PlugEvent(EVENT_FINISH, nullptr, 0);
    }
    form.Form_Unload();
    flushDeferredDeletes();
}

void DorrimelSessionTest::writeSettings(int timerMs, int waitMs, int removeMs) {
    std::ofstream(dir / "dorrimel.ini", std::ios::binary | std::ios::trunc)
        << "TimerInterval = " << timerMs << "\nWaitTimeout = " << waitMs
        << "\nRemoveTimeout = " << removeMs << "\nNotifyType = 1\nLogFile = 1";
}

void DorrimelSessionTest::collect() {
    if (chatClient) {
        moveFrames(*chatClient, clientFrames);
    }
    if (chatServerEnd) {
        moveFrames(*chatServerEnd, serverFrames);
    }
}

bool DorrimelSessionTest::runUntil(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < giveUp) {
        loop.runOnce(form, 5);
        QCoreApplication::processEvents();
        collect();
        if (done()) {
            return true;
        }
    }
    return false;
}

void DorrimelSessionTest::endChatFromServer() {
    server().close();
    ASSERT_TRUE(
        runUntil([&] { return form.session().chatMode != CHAT_RELAY && client().closedByPeer; }));
}

Lines DorrimelSessionTest::msgack() const {
    static const std::regex stamped(R"(\d{2}\.\d{2}\.\d{4} \d{2}:\d{2}:\d{2}\.\d{3} (.*))");
    std::ifstream file(dir / "msgack.log", std::ios::binary);
    Lines texts;
    for (std::string line; std::getline(file, line);) {
        std::smatch m;
        if (std::regex_match(line, m, stamped)) {
            texts.push_back(m[1]);
        } else {
            ADD_FAILURE() << "msgack.log line without a time stamp: " << line;
        }
    }
    return texts;
}

std::vector<QWidget*> DorrimelSessionTest::newTopLevels() const {
    std::vector<QWidget*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const bool earlier =
            std::any_of(earlierWidgets_.begin(), earlierWidgets_.end(),
                        [widget](const QPointer<QWidget>& w) { return w == widget; });
        if (!earlier) {
            found.push_back(widget);
        }
    }
    return found;
}

QWidget* DorrimelSessionTest::dorrimelWindow(const char* objectName) const {
    QWidget* found = nullptr;
    for (QWidget* widget : newTopLevels()) {
        if (widget->objectName() == QLatin1String(objectName)) {
            EXPECT_EQ(found, nullptr) << "more than one " << objectName;
            found = widget;
        }
    }
    return found;
}

int DorrimelSessionTest::dorrimelWindowCount() const {
    const std::vector<QWidget*> found = newTopLevels();
    return static_cast<int>(std::count_if(found.begin(), found.end(), [](const QWidget* w) {
        return w->objectName() == QLatin1String("LogDialog") ||
               w->objectName() == QLatin1String("OptionsDialog");
    }));
}

Lines DorrimelSessionTest::logWindowLines() const {
    Lines lines;
    const QWidget* window = dorrimelWindow("LogDialog");
    const auto* list = window ? window->findChild<QListWidget*>("list1001") : nullptr;
    if (list == nullptr) {
        ADD_FAILURE() << "no log window";
        return lines;
    }
    for (int i = 0; i < list->count(); ++i) {
        lines.push_back(list->item(i)->text().toStdString());
    }
    return lines;
}

namespace {

std::string labelText(const QWidget* window, const char* name) {
    const auto* label = window ? window->findChild<QLabel*>(name) : nullptr;
    return label ? label->text().toStdString() : "(no label " + std::string(name) + ")";
}

}  // namespace

std::string DorrimelSessionTest::processedCounter() const {
    return labelText(dorrimelWindow("LogDialog"), "label1004");
}

std::string DorrimelSessionTest::waitingCounter() const {
    return labelText(dorrimelWindow("LogDialog"), "label1005");
}
