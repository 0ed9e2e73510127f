// The main window's state and handlers, free of any window toolkit: the
// login listener, the sessions it starts (each a `Session`: its two state
// machines, connections, counters and sequence numbers), and the controls'
// texts. A window adapter calls the handlers on its one UI thread, reports
// socket readiness through `socketReady` and shows `ctl`.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "proxy/core/Clock.h"
#include "proxy/core/Controls.h"
#include "proxy/core/FrameCollector.h"
#include "proxy/core/HostCallback.h"
#include "proxy/core/MessageBoxes.h"
#include "proxy/core/OscarWire.h"
#include "proxy/core/OutQueue.h"
#include "proxy/core/SeqStamp.h"
#include "proxy/core/Session.h"
#include "proxy/core/SocketWatch.h"
#include "proxy/net/SockAPI.h"
#include "proxy/plugin_host/PluginApi.h"
#include "proxy/settings/DataFolder.h"

// What a problem is about beyond the slots: the socket library.
inline constexpr int PROBLEM_SOCKET_LIBRARY = SLOT_ROLES;

inline constexpr const char* APP_TITLE = "Skelvane (beta)";
inline constexpr const char* DEFAULT_SERVER_LOGIN_HOST = "login.icq.com";
// The plug-in panel's caption while no plug-in could be bound.
inline constexpr const char* NO_PLUGIN_CAPTION = "No plug-in loaded (see the log)";

// Once a connection has this many bytes waiting to go out, the proxy stops
// reading from the other side of its pair until they have gone: a peer that
// reads slowly or not at all holds back only its own traffic.
inline constexpr std::size_t OUT_QUEUE_BOUND = std::size_t{1} << 20;
// Frames injected by the plug-in are refused beyond this (nothing relayed
// comes near it: reading stops at the bound above).
inline constexpr std::size_t OUT_QUEUE_LIMIT = 2 * OUT_QUEUE_BOUND;
// Bytes that one readiness report reads from one connection before the
// thread goes back to its event loop.
inline constexpr std::size_t READ_PASS_BYTES = std::size_t{256} << 10;
// MaxSessions when skelvane.ini names no usable number.
inline constexpr int DEFAULT_MAX_SESSIONS = 8;
// How long a connect to a server may take.
inline constexpr std::int32_t CONNECT_TIMEOUT_MS = 5000;

class Form1 {
  public:
    // `programDir` is the folder that holds the program and the plug-in. The
    // load chooses the folder for skelvane.ini, dump.log and the plug-in's
    // files (the program's folder, or the user's when that cannot be
    // written), which is current from then on.
    Form1(Clock& clock, MessageBoxes& boxes, std::string programDir);

    // Handlers.
    void Form_Load();
    void Form_Unload();
    void Command1_Click();  // "Host login"
    void Command3_Click();  // "Disconnect"
    void Command4_Click();  // "About"
    void Timer1_Timer();    // status, counters, time-outs and re-arm, every 100 ms
    // The user chose entry `entry` of the session chooser: the session boxes
    // show that session from now on. An entry that no longer exists is ignored.
    void cboSession_Click(int entry);
    // The event loop's report that the socket of `key` (a `watchKey`) is
    // ready (SOK_READABLE, SOK_WRITABLE): accepts, completes a connect, or
    // relays what arrived and sends what waits, a bounded amount each time.
    void socketReady(int key, int ready);
    // The event loop that reports readiness; none means nothing is watched.
    void setSocketWatch(SocketWatch* watch);
    // Whether the next tick has anything to do: a time-out to keep, the
    // re-arm after a chat session, or texts to show that changed since the
    // last tick. A window may stop its timer while this is false (an idle
    // program then never wakes); the core asks for it again through
    // SocketWatch::wantTick.
    bool tickNeeded() const;

    // Framing and inspection.
    int PacketCollect(FrameCollector& c, const std::uint8_t* data, std::int32_t n);
    void PacketRemove(FrameCollector& c);
    // PacketCollect for n bytes that a receive already put into `c.room()`.
    int collectPlaced(FrameCollector& c, std::int32_t n);
    void captureUin(std::span<const std::uint8_t> frame);
    bool rewriteRedirect(std::span<const std::uint8_t> frame);

    // Log and counters.
    void LogLine(const std::string& message);
    void DumpLine(const std::string& message);
    void ResetCounters();
    void ShowCounters();

    // Plug-in host (Form1_PlugEvent.cpp, Form1_PlugCallback.cpp). PlugEvent
    // returns 1 when the plug-in answered; PlugCallback and Response return
    // the reply record or null.
    int PlugEvent(std::uint8_t code, const std::uint8_t* data, std::int32_t n);
    void PlugInit();
    const std::uint8_t* PlugCallback(const std::uint8_t* record, int origin);
    // A record through the callback of session `index`: its commands act on
    // that session, or on none when no running session holds the index.
    const std::uint8_t* PlugSessionCallback(int index, const std::uint8_t* record);
    const std::uint8_t* Response(std::int32_t code);
    void Command2_Click();  // "Preferences"

    std::string versionText() const;
    // The folder that holds the settings and logs (chosen at load).
    const std::string& settingsFolder() const { return dataFolder_.path; }
    // The window toolkit and its version, for About ("Qt 6.4.2"); none by
    // default.
    void setToolkitText(std::string text) { toolkitText_ = std::move(text); }

    // Receives each line in plain words as it is logged, and once, where
    // the program listens and how it is stopped: a program without a window
    // on screen prints them.
    using LineSink = std::function<void(const std::string&)>;
    void setLineSink(LineSink sink);

    // ---- state ----
    Controls ctl;
    // The listener for client-login connects: the program's, not a session's.
    SokHandle loginListener = SOK_NO_SOCKET;
    // The first session. While no client is served it is the one that
    // awaits the next, and holds the figures of the last one that ended.
    Session& session() { return *sessions_.front(); }
    const Session& session() const { return *sessions_.front(); }
    // Sessions that serve a client, and how many may (MaxSessions).
    int running() const { return static_cast<int>(sessions_.size()) - 1; }
    // The running session `i` (0 to running() - 1), in the order they started.
    const Session& runningSession(int i) const {
        return *sessions_.at(static_cast<std::size_t>(i));
    }
    int maxSessions() const { return maxSessions_; }

    // Working buffers.
    // Large enough for any rewritten FLAP frame.
    std::array<std::uint8_t, FLAP_HEADER_SIZE + FLAP_MAX_DATA> redirectFrame{};
    // Plug-in host buffers: the event being delivered, the init payload being
    // assembled, and the one reply record whose address the plug-in gets.
    std::array<std::uint8_t, EVENT_RECORD_SIZE> eventRecord{};
    std::array<std::uint8_t, PLUG_MAX_EVENT_DATA> initPayload{};
    std::array<std::uint8_t, PLUG_REPLY_SIZE> replyRecord{};

  private:
    // Private helpers are the core's own business; the members above are the
    // interface that window adapters and tests rely on.
    // Closes the login listener when the window goes away.
    class ListenerCloser {
      public:
        explicit ListenerCloser(SokHandle& listener) : listener_(listener) {}
        ListenerCloser(const ListenerCloser&) = delete;
        ListenerCloser& operator=(const ListenerCloser&) = delete;
        ~ListenerCloser();

      private:
        SokHandle& listener_;
    };

    // Keeps the core's state settled around every entry from outside:
    // when the outermost handler ends, queued bytes are sent, sessions
    // whose connections failed are ended, and the event loop is told what
    // to watch. A plug-in's own callback settles without calling the
    // plug-in back; what it leaves to end, the next handler ends. The
    // settling covers every session, or, for a handler of one session's
    // socket, the sessions it acted on (see Acting), so that a frame's cost
    // does not grow with the sessions that run beside it.
    class Handler {
      public:
        enum Caller { host, plugin };
        explicit Handler(Form1& form, Caller caller = host);
        // The outermost handler of one session's socket.
        Handler(Form1& form, Session& s);
        ~Handler();
        Handler(const Handler&) = delete;
        Handler& operator=(const Handler&) = delete;

      private:
        Form1& form_;
        Caller caller_;
    };

    // Pump steps (Form1_Pump.cpp).
    std::vector<std::int64_t> stateStamp() const;
    void sessionTick(Session& s);
    void sessionReady(Session& s, int slot, int ready);
    void showSocketStatus(Session& s);
    void loginAccept(Session& s);
    void chatAccept(Session& s);
    // Whether the connect of server-login or server-chat is under way.
    static bool connecting(const Session& s, int slot);
    void connectReady(Session& s, int slot);
    void connectTimeout(Session& s, int slot);
    void loginConnected(Session& s, int c, std::string_view reason = {});
    void chatConnected(Session& s, int c, std::string_view reason = {});
    void cannotConnect(Session& s, int slot, int c, std::string_view reason);
    void chatListenerTimeout(Session& s);
    void rearmLogin(Session& s);
    void endLogin(Session& s, bool serverFirst);
    void endChatSession(Session& s, const char* reason);
    // Starts the connect of `slot` to host:port and notes when it began.
    int startConnect(Session& s, int slot, const std::string& host, std::uint16_t port);

    // The relay (Form1_Relay.cpp).
    void relayReady(Session& s, int slot, int ready);
    // Reads from `slot` what has arrived, a pass at most, while the other
    // side's queue has room; relays every whole frame.
    void readLink(Session& s, int slot);
    void received(Session& s, int slot, std::int32_t n);
    void chatFrame(Session& s, std::span<std::uint8_t> frame, bool fromClient);
    // Cuts the n bytes just received into `c` (or fed from outside) into
    // units and hands each to `handle`; a unit is removed even when
    // handling it faults.
    template <typename Handle>
    void relayFrames(FrameCollector& c, std::int32_t n, Handle handle);
    // Queues one unit on a slot; logs "Failed to transmit to <peer> ..."
    // when the slot is closed or its queue is full.
    bool sendUnit(Session& s, int slot, std::span<const std::uint8_t> unit, std::string_view peer);
    // The one way out for chat frames, relayed and injected alike: stamps
    // the next sequence number of direction `to` (DIR_TO_CLIENT or
    // DIR_TO_SERVER), queues it on that side's slot and counts a frame sent.
    bool sendChatFrame(Session& s, int to, std::span<std::uint8_t> frame);
    // Sends what the slot's queue holds, as much as the socket takes now;
    // a failed send is logged and marks the link failed.
    void flush(Session& s, int slot);
    // Flushes the slot, then closes it; the queue's rest is dropped.
    void closeLink(Session& s, int slot);
    // "server-chat" or "client-chat", the peer of a To direction in log lines.
    static const char* chatPeer(int to);
    static const char* peerName(int slot);
    static int otherSide(int slot);

    // Keeping the state settled (Form1_Settle.cpp).
    void settle(bool mayCallPlugin) noexcept;
    // Ends a session whose connection is gone or failed; true if one ended.
    bool endBrokenSessions(Session& s);
    int wantedMask(const Session& s, int slot) const;
    void updateWatches();
    // Which of "Host login" and "Disconnect" can act now, into `ctl`.
    void showCommands();
    // A socket was opened into `slot`: the event loop must watch it anew
    // even if the system reused the handle's value.
    void opened(Session& s, int slot);
    // The socket of `slot`: the program's login listener or the session's.
    SokHandle& sock(Session& s, int slot);
    SokHandle sock(const Session& s, int slot) const;
    // Running sessions that have not ended, as MaxSessions counts them.
    int live() const;
    // The session whose watch keys start at `index`, or none.
    Session* sessionAt(int index);
    // The session that awaits the next client: always the last one.
    Session& waiting() { return *sessions_.back(); }
    const Session& waiting() const { return *sessions_.back(); }
    // The client just accepted makes the waiting session a running one; a
    // new one awaits the next client.
    void addWaiting();
    // A client past MaxSessions: accepted and closed at once, with a line.
    void refuseSignOn();
    // Sessions that have ended are closed and destroyed, after the event
    // loop let go of their sockets; the others are not touched.
    void releaseEnded();
    void unwatch(Session& s);
    static bool idle(const Session& s) {
        return s.loginMode == LOGIN_IDLE && s.chatMode == CHAT_IDLE;
    }
    // The session a handler acts on: what it reads, logs and tells the
    // plug-in belongs to it.
    class Acting {
      public:
        Acting(Form1& form, Session& s) : form_(form), before_(form.acting_) {
            form.acting_ = &s;
            form.touch(s);
        }
        ~Acting() { form_.acting_ = before_; }
        Acting(const Acting&) = delete;
        Acting& operator=(const Acting&) = delete;

      private:
        Form1& form_;
        Session* before_;
    };
    Session& acting() { return acting_ != nullptr ? *acting_ : session(); }
    // The session a plug-in that serves one at a time serves.
    Session& pluginSession() { return pluginSession_ != nullptr ? *pluginSession_ : session(); }
    // The session the plug-in's commands act on while an answer or a
    // callback is carried out (null: none that runs).
    class Commanding {
      public:
        Commanding(Form1& form, Session* s)
            : form_(form), before_(form.commanded_), beforeSet_(form.commanding_) {
            form.commanded_ = s;
            form.commanding_ = true;
        }
        ~Commanding() {
            form_.commanded_ = before_;
            form_.commanding_ = beforeSet_;
        }
        Commanding(const Commanding&) = delete;
        Commanding& operator=(const Commanding&) = delete;

      private:
        Form1& form_;
        Session* before_;
        bool beforeSet_;
    };
    // Outside both, the session the plug-in serves.
    Session* commanded() { return commanding_ ? commanded_ : &pluginSession(); }
    // The session chooser (Form1_Chooser.cpp). The session the boxes show:
    // the chosen one, or the first while none is chosen.
    Session& shown() { return chosen_ != nullptr ? *chosen_ : session(); }
    // Brings the chooser's entries and choice up to date with the sessions;
    // while two or more run, or when the choice moved, the boxes show the
    // chosen session's UIN and chat server.
    void showChooser();
    void showChosen();
    // MaxSessions from the settings; a bad value falls back with a line.
    void readMaxSessions(const std::string& text);

    // The port in a text, or nothing after logging "Invalid port <text>".
    std::optional<std::uint16_t> portOf(const std::string& text);
    // The port of the login or the chat listener's box, or nothing after
    // saying why it is none (port 0 included).
    std::optional<std::uint16_t> listenerPort(int slot);
    static std::string savedPort(const std::string& text, const std::string& good);
    // Sok_bind for a listener slot; a failure is logged, in words as well,
    // with the name when it did not resolve. Returns Sok_bind's result.
    int bindListener(Session& s, int slot, const std::string& host, std::uint16_t port);
    // Says in words why the listener of `slot` on host:port failed.
    void cannotListen(int slot, const std::string& host, std::uint16_t port);

    // Whether event `code` of the acting session goes to the plug-in; an
    // event while a plug-in of one session serves none makes it serve this one.
    bool pluginServes(std::uint8_t code);
    // Builds the event in `eventRecord` and hands it to `entry`; the answer.
    const std::uint8_t* deliver(PluginFunction entry, std::uint8_t code, const std::uint8_t* data,
                                std::int32_t n);
    // EVENT_SESSION for `s`, unless the plug-in serves one session or `s` is
    // the session it heard of last.
    void nameSession(PluginFunction entry, Session& s);
    // Notes whether the plug-in is bound; a failure is logged once per reason.
    void pluginBound(bool bound, const std::string& failure);

    // The plug-in's commands (Form1_PlugCallback.cpp): `p` is the copy of
    // its record from the kind on, `l` the record's length field.
    const std::uint8_t* runCommand(std::span<std::uint8_t> p, std::int32_t l);
    const std::uint8_t* injectFrame(int to, std::span<std::uint8_t> p, std::int32_t l);

    // Inspection steps (Form1_Inspect.cpp).
    void takeUin(std::span<const std::uint8_t> frame, std::size_t valueAt, std::size_t n);
    // Whether another session's pending redirect holds the chat listener's
    // port `port`.
    bool chatPortHeld(const Session& s, std::uint16_t port) const;
    // Opens the session's chat listener on HostChatIP:port (0: where the
    // system chooses); `bound` is the port it got. False after logging why not.
    bool openChatListener(Session& s, std::uint16_t port, std::uint16_t& bound);
    bool buildRedirect(std::span<const std::uint8_t> frame, std::size_t off, std::size_t len,
                       const std::string& value, std::size_t& newTotal);

    // Lines in plain words (Form1_Log.cpp): logged and handed to the line
    // sink. A problem also stands in `ctl.problem` until `solved` for the
    // same thing (a slot's role) is called.
    void plainLine(const std::string& text);
    void problem(int what, const std::string& text);
    void solved(int what);

    // Log helpers (Form1_Log.cpp).
    std::string sessionPrefix() const;
    std::string timeText();
    std::string dateText();  // yyyy-mm-dd
    void logFault(std::string_view prefix) noexcept;

    // The first log lines about the folder, when it is not the program's.
    void logDataFolder(const std::string& userDir);

    std::string programDir_;
    DataFolder dataFolder_;
    std::string toolkitText_;
    Clock& clock_;
    MessageBoxes& boxes_;
    SocketWatch* watch_ = nullptr;
    int depth_ = 0;                 // handlers running; none starts inside another
    bool changedSinceTick_ = true;  // a handler ran since the last tick
    // What the outermost handler's settling covers: every session, or
    // those whose index bit is set in `touched_`.
    bool settleAll_ = true;
    std::uint64_t touched_ = 0;
    static_assert(MAX_SESSIONS + 1 <= 64, "a session's index is a bit of touched_");
    void touch(const Session& s) { touched_ |= std::uint64_t{1} << s.index; }
    bool settles(const Session& s) const { return settleAll_ || (touched_ >> s.index & 1U) != 0; }
    // The sessions, owned, in the order they started; the last awaits the
    // next client. Each is held by pointer, so that it stays where it is
    // while others come and go.
    std::vector<std::unique_ptr<Session>> sessions_;
    Session* acting_ = nullptr;
    // The plug-in serves one session at a time: from the EVENT_INIT of the
    // first that starts while it serves none to that session's EVENT_FINISH
    // (or its end). The others are relayed without it. An event of a
    // session before its EVENT_INIT, while none is served, starts it too.
    Session* pluginSession_ = nullptr;
    // What the plug-in said it serves in its latest answer to EVENT_INIT,
    // and the entry that said so: a plug-in bound anew is taken for one
    // that serves one session until it says otherwise.
    bool pluginSeveral_ = false;
    PluginFunction pluginKindOf_ = nullptr;
    // The session a plug-in of several was told of last (by its EVENT_INIT
    // or an EVENT_SESSION); null once that session is gone.
    Session* pluginNamed_ = nullptr;
    Session* commanded_ = nullptr;
    bool commanding_ = false;
    // The running session the boxes show; none while no session runs.
    Session* chosen_ = nullptr;
    // The sessions or their UINs changed since the chooser was brought up
    // to date; the chosen session ended while others run.
    bool chooserStale_ = true;
    bool choiceMoved_ = false;
    int maxSessions_ = DEFAULT_MAX_SESSIONS;
    // What the event loop watches for the login listener.
    Session::Watched listenerWatched_{};
    std::uint32_t listenerSerial_ = 0;
    std::uint32_t lastSerial_ = 0;
    ListenerCloser listenerCloser_{loginListener};
    LineSink lineSink_;
    bool listeningTold_ = false;  // the line sink learnt where the program listens
    int problemOf_ = -1;          // what `ctl.problem` is about
    // The listener ports last found usable, saved in place of unusable ones.
    std::string goodLoginPort_ = "5190";
    std::string goodChatPort_ = "5191";
    // Why the plug-in could not be bound the last time; empty once it is.
    std::string pluginFailure_;
    // PlugCallback's zero-filled copy of the plug-in's record.
    std::array<std::uint8_t, CALLBACK_RECORD_SIZE> callbackRecord_{};
    HostWindowRegistration hostWindow_{*this};  // makes the callbacks reach this window
};
