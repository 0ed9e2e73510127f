// pluginFun as the host calls it: the guards on every record, the init
// record and its answer, finish and preferences, and the reading of the
// passing frames.
#include <cstring>

#include "tests/plugin/PluginFixture.h"

namespace {

using DispatchTest = PluginTest;

const Bytes kMessage = flap(2, snac(4, 6, 0x11, messageBody(cookieOf(1), "123456789")));

TEST_F(DispatchTest, MalformedRecordsAndUnusedCodesAreIgnored) {
    EXPECT_EQ(pluginFun(nullptr), nullptr);
    EXPECT_EQ(send(withLength(initRecord(1), 0)), nullptr);
    EXPECT_EQ(send(withLength(initRecord(1), 1)), nullptr);  // the kind byte only
    Bytes wrongKind = initRecord(1);
    wrongKind[4] = PLUGIN_COMMAND;
    EXPECT_EQ(send(wrongKind), nullptr);
    EXPECT_FALSE(pluginState().inited);

    ASSERT_NE(init(), nullptr);
    for (int code = 0; code < 256; ++code) {
        if (code == EVENT_INIT || code == EVENT_FINISH || code == EVENT_PREFERENCES ||
            code == EVENT_SESSION || code == PACKET_TO_CLIENT || code == PACKET_TO_SERVER) {
            continue;
        }
        EXPECT_EQ(send(eventRecord(static_cast<std::uint8_t>(code), kMessage)), nullptr) << code;
    }
    Bytes commandKind = eventRecord(PACKET_TO_SERVER, kMessage);
    commandKind[4] = PLUGIN_COMMAND;
    send(commandKind);
    EXPECT_EQ(messageList().processed, 0u);
    EXPECT_EQ(rec.optionsWindows, 0);
    EXPECT_TRUE(pluginState().inited);
    EXPECT_EQ(logFileLines(), std::vector<std::string>{"Starting"});
}

TEST_F(DispatchTest, InitSetsUpAndAnswersWithTitleAndVersion) {
    const std::uint8_t* answer = init(987654);
    ASSERT_EQ(answer, replyBuffer().data());
    const Bytes info(answer, answer + 30);
    Bytes expected = le32(26);
    expected.push_back(PLUGIN_INFO);
    const Bytes n = le32(13);
    expected.insert(expected.end(), n.begin(), n.end());
    expected.insert(expected.end(),
                    {'D', 'o', 'r', 'r', 'i', 'm', 'e', 'l', ' ', 'v', '0', '.', '4'});
    append(expected, le32(4));
    append(expected, le32(INFO_SEVERAL_SESSIONS));
    EXPECT_EQ(info, expected);

    EXPECT_TRUE(pluginState().inited);
    EXPECT_EQ(currentSession().ownUin, 987654u);
    EXPECT_EQ(currentSession().hostCallback, &recordingHostCallback);
    EXPECT_EQ(pluginSettings().timerInterval, 1000);  // defaults: no settings file
    EXPECT_EQ(rec.timers, (std::map<TimerId, std::int32_t>{{1, 1000}}));
    EXPECT_EQ(rec.logWindows, 1);
    EXPECT_EQ(rec.logCaption, "Dorrimel v0.4 - Log");
    EXPECT_FALSE(rec.logVisible);
    EXPECT_EQ(messageList().capacity, 32);
    EXPECT_EQ(logFileLines(), std::vector<std::string>{"Starting"});
    EXPECT_TRUE(rec.boxes.empty());
}

TEST_F(DispatchTest, TruncatedInitInitialisesWithTheFieldsThatFit) {
    const Bytes full = initRecord(555, "C:\\Dir");  // n = 6: ownUin at 34, full callback at 38
    // The 32-bit field is a callable address only where it is the whole one.
    constexpr bool wide = sizeof(HostCallbackFunction) > 4;
    const auto cutOff = reinterpret_cast<std::uintptr_t>(&recordingHostCallback) & 0xFFFFFFFFu;
    const auto storedCallback = [] {
        return reinterpret_cast<std::uintptr_t>(currentSession().hostCallback);
    };
    const std::string noCallback =
        "EVENT_INIT holds no full 64-bit callback address: no notice will be sent";

    init(777);
    ASSERT_NE(send(withLength(full, 6)), nullptr);  // ends right after the callback
    EXPECT_TRUE(pluginState().inited);
    EXPECT_EQ(currentSession().ownUin, 0u);
    EXPECT_EQ(storedCallback(), wide ? 0 : cutOff);
    EXPECT_EQ(rec.lines, wide ? std::vector<std::string>{noCallback} : std::vector<std::string>{});
    preferences();
    EXPECT_EQ(rec.optionsCaption, "Dorrimel v0.4 - Options - 0");

    send(withLength(full, 20));  // the first folder string does not fit
    EXPECT_EQ(currentSession().ownUin, 0u);
    send(withLength(full, 34));  // ownUin fits, the full callback does not
    EXPECT_EQ(currentSession().ownUin, 555u);
    EXPECT_EQ(storedCallback(), wide ? 0 : cutOff);
    if (wide) {
        EXPECT_EQ(logFileLines().back(), noCallback);
    }
    send(full);
    EXPECT_EQ(currentSession().hostCallback, &recordingHostCallback);
    EXPECT_TRUE(rec.lines.empty());

    currentSession().hostCallback = nullptr;
    send(withLength(full, 2));  // no payload at all: the callback stays unknown
    EXPECT_TRUE(pluginState().inited);
    EXPECT_EQ(currentSession().hostCallback, nullptr);
}

TEST_F(DispatchTest, RepeatedInitReleasesTheEarlierSetUp) {
    init();
    sendMessage("42", cookieOf(1));
    preferences();
    ASSERT_EQ(rec.optionsWindows, 1);

    init();
    EXPECT_EQ(rec.timers.size(), 1u);
    EXPECT_EQ(rec.logWindows, 1);
    EXPECT_EQ(rec.optionsWindows, 0);
    EXPECT_EQ(messageList().count, 0);
    EXPECT_EQ(messageList().processed, 0u);
    EXPECT_EQ(logFileLines().back(), "Starting");

    // A host that serves one session at a time: its next init replaces the
    // session, whatever callback it names.
    send(initRecord(777, "C:\\Skelvane", otherHostCallback, ONE_SESSION_HOST_API_VERSION));
    sendMessage("43", cookieOf(2));
    tickAfter(6000);
    EXPECT_TRUE(hostCalls.empty());
    EXPECT_EQ(otherHostCalls.size(), 1u);
    EXPECT_EQ(rec.processed, 1u);
}

TEST_F(DispatchTest, FinishReleasesEverythingAndMayRepeat) {
    finish();
    EXPECT_FALSE(std::filesystem::exists("msgack.log"));  // settings are all 0 before init

    init();
    sendMessage("42", cookieOf(1));
    preferences();
    finish();
    EXPECT_FALSE(pluginState().inited);
    EXPECT_TRUE(rec.timers.empty());
    EXPECT_EQ(rec.logWindows, 0);
    EXPECT_EQ(rec.optionsWindows, 0);
    EXPECT_EQ(messageList().entries, nullptr);
    EXPECT_EQ(currentSession().ownUin, 123456u);  // survives until the next init

    sendMessage("43", cookieOf(2));  // not inited: ignored
    finish();
    const std::vector<std::string> lines = logFileLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "Stopping");
    EXPECT_EQ(lines[3], "Stopping");
}

TEST_F(DispatchTest, PreferencesOpenTheOptionsBeforeInitToo) {
    writeSettings("WaitTimeout = 7000\nNotifyType = 9");
    preferences();
    EXPECT_TRUE(rec.boxes.empty());
    ASSERT_EQ(rec.optionsWindows, 1);
    EXPECT_EQ(rec.optionsCaption, "Dorrimel v0.4 - Options - 0");
    EXPECT_EQ(rec.optionsValues.waitTimeout, "7");  // the file, read now
    EXPECT_EQ(rec.optionsValues.notifyIndex, 0);
    EXPECT_EQ(logFileLines(), std::vector<std::string>{"dorrimel.ini: NotifyType = 9 is outside 1 "
                                                       "to 4, the default 1 is used"});
    rec.options.accepted(OptionsResult{"2", "3", "4", 3, true});
    EXPECT_EQ(rec.optionsWindows, 0);
    EXPECT_TRUE(rec.timers.empty());  // no session, no timer

    init(1);  // the next sign-on takes what was saved
    EXPECT_EQ(rec.timers, (std::map<TimerId, std::int32_t>{{1, 2000}}));
    EXPECT_EQ(pluginSettings().waitTimeout, 3000);
    EXPECT_EQ(pluginSettings().notifyType, 4);
    finish();

    // No window to be had: the box says so.
    rec.failOptionsWindow = true;
    preferences();
    ASSERT_EQ(rec.boxes.size(), 1u);
    EXPECT_EQ(rec.boxes[0].text, "Plugin not inited.\nOptions not available.");
    EXPECT_EQ(rec.boxes[0].caption, "Dorrimel v0.4");
    EXPECT_EQ(rec.boxes[0].icon, BoxIcon::Information);
}

TEST_F(DispatchTest, PreferencesToggleTheOptionsWindow) {
    init(31337);
    preferences();
    EXPECT_EQ(rec.optionsWindows, 1);
    EXPECT_EQ(rec.optionsCaption, "Dorrimel v0.4 - Options - 31337");
    preferences();
    EXPECT_EQ(rec.optionsWindows, 0);
    EXPECT_TRUE(rec.boxes.empty());
}

TEST_F(DispatchTest, OutgoingMessageIsTrackedWithItsKeyAndSize) {
    init();
    const Bytes record = eventRecord(PACKET_TO_SERVER, kMessage);
    send(record);
    ASSERT_EQ(messageList().count, 1);
    const TrackedMessage& entry = messageList().entries[0];
    EXPECT_EQ(entry.recipientUin, 123456789);
    EXPECT_EQ(entry.cookie, cookieOf(1));
    EXPECT_EQ(entry.sendTick, clock.tick);
    EXPECT_EQ(entry.notified, 0u);
    // The size is the record's length: the frame plus kind and code.
    EXPECT_EQ(rec.lines, std::vector<std::string>{"14.05.09 for 123456789, " +
                                                  std::to_string(record.size() - 4) + " b."});
}

TEST_F(DispatchTest, FramesThatAreNotMessagesOrAcksAreIgnored) {
    const Bytes body = messageBody(cookieOf(1), "42");
    Bytes badStart = flap(2, snac(4, 6, 1, body));
    badStart[0] = 0x2B;
    const std::vector<Bytes> toServer = {
        flap(1, snac(4, 6, 1, body)),               // login channel
        flap(2, snac(4, 7, 1, body)),               // an incoming message
        flap(2, snac(0x13, 6, 1, body)),            // another family
        flap(2, snac(4, 0x0C, 1, body)),            // an ack, but towards the server
        badStart,                                   // not a FLAP frame
        flap(2, Bytes{0, 4, 0, 6, 0, 0, 0, 0, 0}),  // SNAC header does not fit
        flap(2, snac(4, 6, 1, Bytes(10, 0x31))),    // 10 of the 11 bytes after it
        Bytes{0x2A, 2, 0, 0, 0},                    // FLAP header does not fit
    };
    init();
    for (const Bytes& frame : toServer) {
        send(eventRecord(PACKET_TO_SERVER, frame));
    }
    send(eventRecord(PACKET_TO_CLIENT, flap(2, snac(4, 6, 1, body))));
    EXPECT_EQ(messageList().processed, 0u);

    sendMessage("42", cookieOf(1));
    send(eventRecord(PACKET_TO_SERVER, flap(2, snac(4, 0x0B, 1, body))));
    EXPECT_EQ(messageList().count, 1);
    EXPECT_EQ(logFileLines().size(), 2u);
}

TEST_F(DispatchTest, FlapLengthClipsTheRecord) {
    init();
    // SNAC header, cookie, channel, length byte and 4 of the 9 UIN digits.
    const Bytes frame = flap(2, snac(4, 6, 1, messageBody(cookieOf(1), "123456789")), 10 + 11 + 4);
    send(eventRecord(PACKET_TO_SERVER, frame));
    ASSERT_EQ(messageList().count, 1);
    EXPECT_EQ(messageList().entries[0].recipientUin, 1234);
    EXPECT_EQ(rec.lines.back(), "14.05.09 for      1234, 33 b.");  // 8 + 25

    // A declared length too short for the SNAC header hides the message.
    send(eventRecord(PACKET_TO_SERVER, flap(2, snac(4, 6, 1, messageBody(cookieOf(2), "5")), 9)));
    EXPECT_EQ(messageList().count, 1);

    // Longer than what is there: the record's own length bounds the reads.
    Bytes cut =
        eventRecord(PACKET_TO_SERVER, flap(2, snac(4, 6, 1, messageBody(cookieOf(3), "77"))));
    cut = withLength(cut, 2 + 6 + 10 + 11 + 1);  // the UIN's first digit only
    send(cut);
    ASSERT_EQ(messageList().count, 2);
    EXPECT_EQ(messageList().entries[1].recipientUin, 7);
    EXPECT_EQ(rec.lines.back(), "14.05.09 for         7, 30 b.");
}

TEST_F(DispatchTest, UinTextReadsAsLeadingDecimalDigits) {
    init();
    const std::vector<std::pair<std::string, std::int32_t>> cases = {
        {"alice", 0},
        {" +42x", 42},
        {"-17", -17},
        {"", 0},
        {"0000000000000000000123", 0},  // only 19 characters are kept
        {"99999999999", 2147483647},    // beyond 32 bits: saturated
        {"-9999999999999999999", -2147483647 - 1},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        sendMessage(cases[i].first, cookieOf(static_cast<std::uint8_t>(i)));
        ASSERT_EQ(messageList().count, static_cast<std::int32_t>(i + 1));
        EXPECT_EQ(messageList().entries[i].recipientUin, cases[i].second) << cases[i].first;
    }
    // An acknowledgement naming a non-numeric recipient matches UIN 0.
    sendAck(0x0C, "bob", cookieOf(0));
    EXPECT_EQ(messageList().count, static_cast<std::int32_t>(cases.size() - 1));
}

const std::uint8_t* PLUG_CALL unservedCallback(const std::uint8_t*) {
    return nullptr;
}

// A host that serves several sessions: events belong to the session last
// named, each notice goes through its own session's callback with its own
// UIN, and the log names the session while there are two.
TEST_F(DispatchTest, EachSessionsNoticeReachesItsOwnCallback) {
    writeSettings("NotifyType=2");  // the offline form carries the own UIN
    initSession(111, recordingHostCallback);
    ASSERT_NE(initSession(222, otherHostCallback), nullptr);
    sendMessage("500", cookieOf(1));
    selectSession(recordingHostCallback);
    sendMessage("600", cookieOf(2));
    sendAck(0x0C, "500", cookieOf(1));  // the other session's message
    selectSession(unservedCallback);
    sendMessage("700", cookieOf(3));  // belongs to no session served: ignored
    selectSession(otherHostCallback);
    tickAfter(6000);

    // The offline form: the own UIN at 28, the recipient at 36.
    ASSERT_EQ(hostCalls.size(), 1u);
    EXPECT_EQ(readLe(hostCalls[0], 28, 4), 111u);
    EXPECT_EQ(readLe(hostCalls[0], 36, 4), 600u);
    ASSERT_EQ(otherHostCalls.size(), 1u);
    EXPECT_EQ(readLe(otherHostCalls[0], 28, 4), 222u);
    EXPECT_EQ(readLe(otherHostCalls[0], 36, 4), 500u);
    EXPECT_EQ(rec.timers.size(), 1u);
    EXPECT_EQ(rec.logWindows, 1);
    EXPECT_EQ(rec.processed, 2u);
    EXPECT_EQ(rec.waiting, 2u);
    EXPECT_EQ(rec.lines.at(0), "[222] 14.05.09 for       500, 40 b.");
    EXPECT_EQ(rec.lines.at(2), "[111] 14.05.09 from      500  received srv ack");
    const std::string lost = " sent 14:05:09 as Offline message from recipient";
    EXPECT_EQ(logFileLines(),
              (std::vector<std::string>{
                  "Starting",
                  "[222] Starting",
                  "[222] Out msg  to         500 00000011-01010203A4B5C6FF (40 b) added",
                  "[111] Out msg  to         600 00000011-02010203A4B5C6FF (40 b) added",
                  "[111] Srv ack from        500 00000022-01010203A4B5C6FF not found",
                  "EVENT_SESSION names no session served here: its events are ignored",
                  "[111] Notice   to         600 00000000-02010203A4B5C6FF" + lost,
                  "[222] Notice   to         500 00000000-01010203A4B5C6FF" + lost,
              }));
    preferences();
    EXPECT_EQ(rec.optionsCaption, "Dorrimel v0.4 - Options - 111, 222");
}

TEST_F(DispatchTest, OneSessionsFinishReleasesOnlyItsOwnState) {
    initSession(111, recordingHostCallback);
    initSession(222, otherHostCallback);
    sendMessage("500", cookieOf(1));
    selectSession(recordingHostCallback);
    sendMessage("600", cookieOf(2));
    preferences();
    finish();
    EXPECT_TRUE(pluginState().inited);
    EXPECT_EQ(rec.timers.size(), 1u);
    EXPECT_EQ(rec.logWindows, 1);
    EXPECT_EQ(rec.optionsWindows, 1);
    EXPECT_EQ(rec.waiting, 1u);

    selectSession(otherHostCallback);
    tickAfter(6000);
    EXPECT_TRUE(hostCalls.empty());
    EXPECT_EQ(otherHostCalls.size(), 1u);
    const std::vector<std::string> lines = logFileLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4], "[111] Stopping");
    EXPECT_EQ(lines[5].rfind("Notice   to         500 ", 0), 0u);  // one session: no prefix

    finish();
    EXPECT_FALSE(pluginState().inited);
    EXPECT_TRUE(rec.timers.empty());
    EXPECT_EQ(rec.optionsWindows, 0);
    EXPECT_EQ(logFileLines().back(), "Stopping");
}

}  // namespace
