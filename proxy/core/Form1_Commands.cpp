// Start-up, shutdown and the three command buttons.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "generated/Version.h"
#include "proxy/core/Form1.h"
#include "proxy/core/PortText.h"
#include "proxy/core/RunFault.h"
#include "proxy/net/Address.h"
#include "proxy/settings/DataFolder.h"
#include "proxy/settings/IniHold.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr const char* kIniFile = "skelvane.ini";
// The caption's ending when no folder can be written.
constexpr const char* kNotSavedCaption = " - settings will not be saved";

// The window's place, saved after the six endpoints.
constexpr const char* kPlaceKeys[] = {"WindowLeft", "WindowTop", "WindowWidth", "WindowHeight"};
constexpr const char* kMaxSessionsKey = "MaxSessions";
// Far beyond any desktop: a larger number is a damaged file.
constexpr long kPlaceLimit = 100000;

// A whole number of pixels, or nothing for any other text.
std::optional<int> placeNumber(const std::string& text) {
    if (text.empty() || text.size() > 7) {
        return std::nullopt;
    }
    std::size_t used = 0;
    try {
        const long value = std::stol(text, &used);
        if (used == text.size() && value >= -kPlaceLimit && value <= kPlaceLimit) {
            return static_cast<int>(value);
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// The place from the settings; unknown unless all four numbers are there.
WindowPlace readPlace() {
    WindowPlace place;
    int* const targets[] = {&place.left, &place.top, &place.width, &place.height};
    for (std::size_t i = 0; i < std::size(kPlaceKeys); ++i) {
        const std::optional<int> n = placeNumber(IniGet(kPlaceKeys[i], ""));
        if (!n) {
            return {};
        }
        *targets[i] = *n;
    }
    place.known = place.width > 0 && place.height > 0;
    return place;
}

void writePlace(std::FILE* ini, const WindowPlace& place) {
    if (!place.known) {
        return;
    }
    const int values[] = {place.left, place.top, place.width, place.height};
    for (std::size_t i = 0; i < std::size(kPlaceKeys); ++i) {
        IniPut(ini, kPlaceKeys[i], std::to_string(values[i]));
    }
}

}  // namespace

void Form1::Form_Load() {
    Session& s = session();
    s.loginMode = LOGIN_IDLE;
    s.chatMode = CHAT_ENDED;  // the first tick opens the login listener
    try {
        const std::string userDir = userDataDir();
        dataFolder_ = chooseDataFolder(programDir_, userDir);
        std::filesystem::current_path(dataFolder_.path);
        IniLoad(kIniFile);
        ctl.Text1 = IniGet("HostLoginIP", "localhost");
        ctl.Text2 = IniGet("HostLoginPort", "5190");
        ctl.Text3 = IniGet("ServerLoginIP", DEFAULT_SERVER_LOGIN_HOST);
        ctl.Text4 = IniGet("ServerLoginPort", "5190");
        ctl.Text7 = IniGet("HostChatIP", "localhost");
        ctl.Text8 = IniGet("HostChatPort", "5191");
        goodLoginPort_ = savedPort(ctl.Text2, "5190");
        goodChatPort_ = savedPort(ctl.Text8, "5191");
        ctl.windowPlace = readPlace();
        ctl.caption = std::string(APP_TITLE) + " " + versionText();
        if (dataFolder_.kind == DataFolderKind::Unwritable) {
            ctl.caption += kNotSavedCaption;
        }

        if (const int n = Sok_init(); n != 0) {
            LogLine("Sok_init failed with " + std::to_string(n));
            problem(PROBLEM_SOCKET_LIBRARY,
                    "Could not start the socket library: " + Sok_lastError().text);
            return;
        }
        for (int i = 0; i < SLOT_ROLES; ++i) {
            Sok_start(sock(s, i));
        }
        for (Link& link : s.links) {
            link.reset();
        }
        ctl.Label14 = "From Server\r\nTo Client\r\nFrom Client\r\nTo Server";
        ctl.txtLOG = ctl.caption;
        LogLine("Started");
        LogLine("Date: " + dateText());
        logDataFolder(userDir);
        readMaxSessions(IniGet(kMaxSessionsKey, std::to_string(DEFAULT_MAX_SESSIONS)));
        showCommands();
    } catch (...) {
        logFault(FAULT_IN_LOAD);
    }
}

void Form1::logDataFolder(const std::string& userDir) {
    switch (dataFolder_.kind) {
        case DataFolderKind::Program:
            break;
        case DataFolderKind::User:
            LogLine("Settings and logs are kept in " + dataFolder_.path + ", since " + programDir_ +
                    " cannot be written");
            break;
        case DataFolderKind::Unwritable:
            LogLine("Settings and logs will not be saved, since neither " + programDir_ + " nor " +
                    (userDir.empty() ? std::string("a folder of the user's") : userDir) +
                    " can be written");
            break;
    }
}

void Form1::Form_Unload() {
    const Handler handler(*this);
    try {
        std::filesystem::current_path(dataFolder_.path);
        {
            File ini(std::fopen(kIniFile, "wb"));
            if (!ini) {
                throw FileAccessError("cannot write skelvane.ini");
            }
            IniPut(ini.get(), "HostLoginIP", ctl.Text1);
            IniPut(ini.get(), "HostLoginPort", savedPort(ctl.Text2, goodLoginPort_));
            IniPut(ini.get(), "ServerLoginIP", ctl.Text3);
            IniPut(ini.get(), "ServerLoginPort", ctl.Text4);
            IniPut(ini.get(), "HostChatIP", ctl.Text7);
            IniPut(ini.get(), "HostChatPort", savedPort(ctl.Text8, goodChatPort_));
            writePlace(ini.get(), ctl.windowPlace);
            IniPut(ini.get(), kMaxSessionsKey, std::to_string(maxSessions_));
        }
        Sok_stop(loginListener);
        for (const std::unique_ptr<Session>& s : sessions_) {
            for (int i = 0; i < SLOT_ROLES; ++i) {
                Sok_stop(s->sockets[i]);
                s->links[i].reset();
            }
        }
        updateWatches();  // the event loop lets go before the socket library stops
        Sok_cleanup();
    } catch (...) {
        logFault(FAULT_IN_UNLOAD);
    }
}

void Form1::Command1_Click() {
    const Handler handler(*this);
    Session& s = waiting();
    bool allIdle = true;
    for (const std::unique_ptr<Session>& each : sessions_) {
        allIdle = allIdle && idle(*each);
    }
    if (!allIdle) {
        boxes_.show("Proxy is in work already!", APP_TITLE, MessageIcon::Warning);
        return;
    }
    try {
        const std::optional<std::uint16_t> port = listenerPort(SLOT_LOGIN_LISTENER);
        if (!port) {
            return;
        }
        if (bindListener(s, SLOT_LOGIN_LISTENER, ctl.Text1, *port) != 0) {
            return;
        }
        opened(s, SLOT_LOGIN_LISTENER);
        const int n = Sok_listen(loginListener);
        if (n != 0) {
            LogLine("Socket listen failed with " + std::to_string(n) + "!");
            cannotListen(SLOT_LOGIN_LISTENER, ctl.Text1, *port);
        } else {
            solved(SLOT_LOGIN_LISTENER);
        }
        const std::string at = ctl.Text1 + ":" + std::to_string(*port);
        LogLine("Await client-login connect at " + at);
        if (n == 0 && lineSink_ && !std::exchange(listeningTold_, true)) {
            lineSink_("Skelvane is listening for the client on " + at +
                      "; stop it with Ctrl+C or SIGTERM");
        }
        s.loginMode = LOGIN_AWAIT_CLIENT;
    } catch (...) {
        logFault(FAULT_IN_HOST_LOGIN);
    }
}

int Form1::bindListener(Session& s, int slot, const std::string& host, std::uint16_t port) {
    const int n = Sok_bind(sock(s, slot), host, port);
    if (n == 0) {
        return 0;
    }
    const SokError& error = Sok_lastError();
    if (n == 4 && error.unresolved) {
        // Nothing was bound: the name, not the bind, failed.
        if (!host.empty()) {
            LogLine("Host name " + host + " could not be resolved");
        }
        const std::string name = host.empty() ? "this machine (the host name is empty)" : host;
        problem(slot, "Could not find the address of " + name + ": " + error.text);
        return n;
    }
    LogLine("Sok_bind failed with " + std::to_string(n));
    cannotListen(slot, host, port);
    return n;
}

void Form1::cannotListen(int slot, const std::string& host, std::uint16_t port) {
    const SokError& error = Sok_lastError();
    problem(slot, "Could not listen on " + host + ":" + std::to_string(port) + ": " + error.text +
                      (error.addressInUse ? " (is another copy running?)" : ""));
}

std::optional<std::uint16_t> Form1::listenerPort(int slot) {
    const bool login = slot == SLOT_LOGIN_LISTENER;
    const std::string& text = login ? ctl.Text2 : ctl.Text8;
    const std::optional<std::uint16_t> port = portOf(text);
    if (!port || *port == 0) {
        // Port 0 would listen where the system chooses, where no client looks.
        problem(slot, "The port \"" + text + "\" in \"" + (login ? "Host login" : "Host chat") +
                          "\" is not a port number (1 to 65535); not listening");
        return std::nullopt;
    }
    (login ? goodLoginPort_ : goodChatPort_) = text;
    return port;
}

// What is saved for a listener port: the box's text, unless it is no port a
// listener can use; then the last one that was.
std::string Form1::savedPort(const std::string& text, const std::string& good) {
    const std::optional<std::uint16_t> port = portFromText(text);
    return port && *port != 0 ? text : good;
}

// Every session stops; the settling releases them.
void Form1::Command3_Click() {
    const Handler handler(*this);
    Sok_close(loginListener);
    for (const std::unique_ptr<Session>& s : sessions_) {
        for (int i = 0; i < SLOT_ROLES; ++i) {
            Sok_close(s->sockets[i]);
            s->links[i].reset();
        }
        s->loginMode = LOGIN_IDLE;
        s->chatMode = CHAT_IDLE;
    }
    LogLine("Listening stopped");
}

void Form1::readMaxSessions(const std::string& text) {
    const std::optional<int> n = placeNumber(text);
    if (n && *n >= 1 && *n <= MAX_SESSIONS) {
        maxSessions_ = *n;
        return;
    }
    maxSessions_ = DEFAULT_MAX_SESSIONS;
    plainLine("MaxSessions \"" + text + "\" in skelvane.ini is not a number from 1 to " +
              std::to_string(MAX_SESSIONS) + "; " + std::to_string(DEFAULT_MAX_SESSIONS) +
              " is used");
}

// The caption's text first, then the licence, the toolkit (if any) and the
// folder of the settings.
void Form1::Command4_Click() {
    std::string text = std::string(APP_TITLE) + " " + versionText() + "\n\n" + SKELVANE_COPYRIGHT +
                       ". " + SKELVANE_LICENCE + ".\n";
    if (!toolkitText_.empty()) {
        text += "Built with " + toolkitText_ + "\n";
    }
    text += "Settings and logs: " + dataFolder_.path;
    boxes_.show(text, APP_TITLE, MessageIcon::Information);
}
