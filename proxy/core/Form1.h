// The main window's state and handlers, free of any window toolkit: the
// socket table, the two session machines, the frame collectors, counters and
// sequence numbers, and the controls' texts. A window adapter calls the
// handlers on its one UI thread and shows `ctl`.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "proxy/core/Clock.h"
#include "proxy/core/Controls.h"
#include "proxy/core/FrameCollector.h"
#include "proxy/core/HostCallback.h"
#include "proxy/core/MessageBoxes.h"
#include "proxy/core/OscarWire.h"
#include "proxy/core/SeqStamp.h"
#include "proxy/net/SockAPI.h"
#include "proxy/plugin_host/PluginApi.h"

// Socket slot roles.
inline constexpr int SLOT_LOGIN_LISTENER = 0;
inline constexpr int SLOT_CLIENT_LOGIN = 1;
inline constexpr int SLOT_SERVER_LOGIN = 2;
inline constexpr int SLOT_CHAT_LISTENER = 3;
inline constexpr int SLOT_CLIENT_CHAT = 4;
inline constexpr int SLOT_SERVER_CHAT = 5;
// Slots 0 to 5 carry the six roles above. The tables keep the socket layer's
// seven entries; the seventh is a spare that nothing opens or starts.
inline constexpr int SLOT_ROLES = 6;
inline constexpr int SLOT_COUNT = 7;

// loginMode values.
inline constexpr std::int32_t LOGIN_IDLE = 0;
inline constexpr std::int32_t LOGIN_AWAIT_CLIENT = 1;
inline constexpr std::int32_t LOGIN_RELAY = 2;
// chatMode values.
inline constexpr std::int32_t CHAT_IDLE = 0;
inline constexpr std::int32_t CHAT_AWAIT_CLIENT = 1;
inline constexpr std::int32_t CHAT_RELAY = 2;
inline constexpr std::int32_t CHAT_ENDED = 100;

// Counter directions.
inline constexpr int DIR_FROM_SERVER = 0;
inline constexpr int DIR_FROM_CLIENT = 1;
inline constexpr int DIR_TO_CLIENT = 2;
inline constexpr int DIR_TO_SERVER = 3;
// Skipped: frames the plug-in took, by the side they came from.
inline constexpr int SKIPPED_FROM_SERVER = 0;
inline constexpr int SKIPPED_FROM_CLIENT = 1;
// Generated: frames the plug-in injected, by the side they went to.
inline constexpr int GENERATED_TO_CLIENT = 0;
inline constexpr int GENERATED_TO_SERVER = 1;

inline constexpr const char* APP_TITLE = "Skelvane (beta)";
inline constexpr const char* DEFAULT_SERVER_LOGIN_HOST = "login.icq.com";

// Counters are kept 64 bits wide so that a long session never overflows them.
using Counter = std::int64_t;

class Form1 {
  public:
    // `programDir` is the folder that holds the program: it becomes the current
    // directory at load and at unload, and holds skelvane.ini and dump.log.
    Form1(Clock& clock, MessageBoxes& boxes, std::string programDir);

    // Handlers.
    void Form_Load();
    void Form_Unload();
    void Command1_Click();  // "Host login"
    void Command3_Click();  // "Disconnect"
    void Command4_Click();  // "About"
    void Timer1_Timer();    // the relay pump, every 100 ms

    // Framing and inspection.
    int PacketCollect(FrameCollector& c, const std::uint8_t* data, std::int32_t n);
    void PacketRemove(FrameCollector& c);
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
    const std::uint8_t* Response(std::int32_t code);
    void Command2_Click();  // "Preferences"

    std::string versionText() const;

    // ---- state ----
    Controls ctl;
    std::array<SokHandle, SLOT_COUNT> sockets{-1, -1, -1, -1, -1, -1, -1};
    std::array<SokEvent, SLOT_COUNT> events{};
    std::int32_t loginMode = LOGIN_IDLE;
    std::int32_t chatMode = CHAT_IDLE;
    FrameCollector clientSide;
    FrameCollector serverSide;
    std::array<Counter, 4> Bytes{};
    std::array<Counter, 4> Datagramms{};
    std::array<Counter, 4> Packets{};
    std::array<Counter, 2> Skipped{};
    std::array<Counter, 2> Generated{};
    std::int32_t seqToServer = SEQ_START_TO_SERVER;
    std::int32_t seqToClient = SEQ_START_TO_CLIENT;
    std::int32_t ownUin = 0;

    // Working buffers.
    std::array<std::uint8_t, 1001> recvBuffer{};
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
    using FrameHandler = std::function<void(std::span<std::uint8_t>)>;

    // Closes every socket still open in the table when the window goes away.
    class SlotCloser {
      public:
        explicit SlotCloser(std::array<SokHandle, SLOT_COUNT>& slots) : slots_(slots) {}
        SlotCloser(const SlotCloser&) = delete;
        SlotCloser& operator=(const SlotCloser&) = delete;
        ~SlotCloser();

      private:
        std::array<SokHandle, SLOT_COUNT>& slots_;
    };

    // Pump steps (Form1_Pump.cpp).
    void showSocketStatus();
    bool loginAwaitClient();
    void loginRelay();
    void rearmLogin();
    void chatAwaitClient();
    void chatRelay();
    void chatFrame(std::span<std::uint8_t> frame, bool fromClient);
    void endChatSession(const char* reason);
    // Feeds n received bytes to a collector and hands each whole unit to
    // `handle`; a unit is removed even when handling it faults.
    void relayFrames(FrameCollector& c, const std::uint8_t* data, std::int32_t n,
                     const FrameHandler& handle);
    // Sends one unit on a slot; logs "Failed to transmit to <peer> ..." on failure.
    bool sendUnit(int slot, std::span<const std::uint8_t> unit, std::string_view peer);
    // The one way out for chat frames, relayed and injected alike: stamps
    // the next sequence number of direction `to` (DIR_TO_CLIENT or
    // DIR_TO_SERVER), sends on that side's slot and counts a frame sent.
    bool sendChatFrame(int to, std::span<std::uint8_t> frame);
    // "server-chat" or "client-chat", the peer of a To direction in log lines.
    static const char* chatPeer(int to);
    // The port in a text, or nothing after logging "Invalid port <text>".
    std::optional<std::uint16_t> portOf(const std::string& text);
    // Sok_bind for a listener slot; a failure is logged, with the name when
    // it did not resolve. Returns Sok_bind's result.
    int bindListener(int slot, const std::string& host, std::uint16_t port);

    // The plug-in's commands (Form1_PlugCallback.cpp): `p` is the copy of
    // its record from the kind on, `l` the record's length field.
    const std::uint8_t* runCommand(std::span<std::uint8_t> p, std::int32_t l);
    const std::uint8_t* injectFrame(int to, std::span<std::uint8_t> p, std::int32_t l);

    // Inspection steps (Form1_Inspect.cpp).
    void takeUin(std::span<const std::uint8_t> frame, std::size_t valueAt, std::size_t n);
    bool buildRedirect(std::span<const std::uint8_t> frame, std::size_t off, std::size_t len,
                       const std::string& value, std::size_t& newTotal);

    // Log helpers (Form1_Log.cpp).
    std::string timeText();
    void logFault(std::string_view prefix) noexcept;

    std::string programDir_;
    Clock& clock_;
    MessageBoxes& boxes_;
    bool inTick_ = false;               // a tick never starts while another runs
    std::int32_t chatListenSince_ = 0;  // tick count when the chat listener opened
    SlotCloser slotCloser_{sockets};
    // PlugCallback's zero-filled copy of the plug-in's record.
    std::array<std::uint8_t, CALLBACK_RECORD_SIZE> callbackRecord_{};
    HostWindowRegistration hostWindow_{*this};  // makes hostCallback reach this window
};
