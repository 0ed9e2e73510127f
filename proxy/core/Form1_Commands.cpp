// Start-up, shutdown and the three command buttons.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "proxy/core/Form1.h"
#include "proxy/core/RunFault.h"
#include "proxy/net/Address.h"
#include "proxy/settings/IniHold.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr const char* kIniFile = "skelvane.ini";

}  // namespace

void Form1::Form_Load() {
    loginMode = LOGIN_IDLE;
    chatMode = CHAT_ENDED;  // the first tick opens the login listener
    try {
        std::filesystem::current_path(programDir_);
        IniLoad(kIniFile);
        ctl.Text1 = IniGet("HostLoginIP", "localhost");
        ctl.Text2 = IniGet("HostLoginPort", "5190");
        ctl.Text3 = IniGet("ServerLoginIP", DEFAULT_SERVER_LOGIN_HOST);
        ctl.Text4 = IniGet("ServerLoginPort", "5190");
        ctl.Text7 = IniGet("HostChatIP", "localhost");
        ctl.Text8 = IniGet("HostChatPort", "5191");
        ctl.caption = std::string(APP_TITLE) + " " + versionText();

        if (const int n = Sok_init(); n != 0) {
            LogLine("Sok_init failed with " + std::to_string(n));
            return;
        }
        for (int i = 0; i < SLOT_ROLES; ++i) {
            Sok_start(sockets[i]);
        }
        for (Link& link : links) {
            link.reset();
        }
        ctl.Label14 = "From Server\r\nTo Client\r\nFrom Client\r\nTo Server";
        ctl.txtLOG = ctl.caption;
        LogLine("Started");
    } catch (...) {
        logFault(FAULT_IN_LOAD);
    }
}

void Form1::Form_Unload() {
    const Handler handler(*this);
    try {
        std::filesystem::current_path(programDir_);
        {
            File ini(std::fopen(kIniFile, "wb"));
            if (!ini) {
                throw FileAccessError("cannot write skelvane.ini");
            }
            IniPut(ini.get(), "HostLoginIP", ctl.Text1);
            IniPut(ini.get(), "HostLoginPort", ctl.Text2);
            IniPut(ini.get(), "ServerLoginIP", ctl.Text3);
            IniPut(ini.get(), "ServerLoginPort", ctl.Text4);
            IniPut(ini.get(), "HostChatIP", ctl.Text7);
            IniPut(ini.get(), "HostChatPort", ctl.Text8);
        }
        for (int i = 0; i < SLOT_ROLES; ++i) {
            Sok_stop(sockets[i]);
            links[i].reset();
        }
        updateWatches();  // the event loop lets go before the socket library stops
        Sok_cleanup();
    } catch (...) {
        logFault(FAULT_IN_UNLOAD);
    }
}

void Form1::Command1_Click() {
    const Handler handler(*this);
    if (loginMode != LOGIN_IDLE || chatMode != CHAT_IDLE) {
        boxes_.show("Proxy is in work already!", APP_TITLE, MessageIcon::Warning);
        return;
    }
    try {
        const std::optional<std::uint16_t> port = portOf(ctl.Text2);
        if (!port) {
            return;
        }
        if (bindListener(SLOT_LOGIN_LISTENER, ctl.Text1, *port) != 0) {
            return;
        }
        opened(SLOT_LOGIN_LISTENER);
        if (const int n = Sok_listen(sockets[SLOT_LOGIN_LISTENER]); n != 0) {
            LogLine("Socket listen failed with " + std::to_string(n) + "!");
        }
        LogLine("Await client-login connect at " + ctl.Text1 + ":" + std::to_string(*port));
        loginMode = LOGIN_AWAIT_CLIENT;
    } catch (...) {
        logFault(FAULT_IN_HOST_LOGIN);
    }
}

int Form1::bindListener(int slot, const std::string& host, std::uint16_t port) {
    const int n = Sok_bind(sockets[slot], host, port);
    if (n != 0) {
        // The socket layer tells a name that does not resolve only by its
        // bind failure; the user learns which name it was.
        if (n == 4 && !host.empty() && !resolveIP(host)) {
            LogLine("Host name " + host + " could not be resolved");
        }
        LogLine("Sok_bind failed with " + std::to_string(n));
    }
    return n;
}

void Form1::Command3_Click() {
    const Handler handler(*this);
    for (int i = 0; i < SLOT_ROLES; ++i) {
        Sok_close(sockets[i]);
        links[i].reset();
    }
    LogLine("Listening stopped");
    loginMode = LOGIN_IDLE;
    chatMode = CHAT_IDLE;
}

void Form1::Command4_Click() {
    boxes_.show(std::string(APP_TITLE) + " " + versionText(), APP_TITLE, MessageIcon::Information);
}
