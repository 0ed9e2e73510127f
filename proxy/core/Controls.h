// The main window's controls as plain data: the core reads and writes these
// texts, and a window adapter shows them and writes back what the user types.
#pragma once

#include <string>
#include <vector>

// Where the window was: its outer top-left corner on the desktop and its
// client area's size, in pixels. `known` once read from the settings or
// given by the window; an unknown place is not saved.
struct WindowPlace {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool known = false;
};

// The chat server's port until a redirect names one.
inline constexpr const char* DEFAULT_CHAT_SERVER_PORT = "5190";
// A session chooser's entry before the session's sign-on names its UIN.
inline constexpr const char* SIGNING_ON_ENTRY = "(signing on)";

struct Controls {
    std::string caption;
    std::string Text1 = "127.0.0.1";               // HostLoginIP
    std::string Text2 = "5190";                    // HostLoginPort
    std::string Text3;                             // ServerLoginIP
    std::string Text4 = "5190";                    // ServerLoginPort
    std::string Text5 = DEFAULT_CHAT_SERVER_PORT;  // chat server port from the redirect (read-only)
    std::string Text6;                             // chat server host from the redirect (read-only)
    std::string Text7 = "127.0.0.1";               // HostChatIP
    std::string Text8 = "5191";                    // HostChatPort
    std::string Label1 = "Label1";                 // socket status list
    std::string Label3;                            // raw socket handles (outside the client area)
    std::string Label14;                           // counter row names
    std::string Label13;                           // Bytes values
    std::string Label15;                           // Datagramms values
    std::string Label16;                           // Packets values
    std::string Label18;                           // Skipped values
    std::string Label11;                           // Generated values
    std::string txtLOG;
    std::string txtUIN;
    std::string labPlug;
    // The latest failure in plain words, until what failed works again.
    std::string problem;
    // Whether "Host login" and "Disconnect" can act now (the windows grey
    // them out otherwise).
    bool Command1Enabled = false;
    bool Command3Enabled = false;
    // The session chooser: an entry per running session in the order they
    // started (its UIN, or SIGNING_ON_ENTRY), and the entry whose session
    // txtUIN, Text5 and Text6, the socket status and the counters show. The
    // windows show it only while two or more sessions run.
    std::vector<std::string> cboSession;
    int cboSessionChosen = 0;
    bool cboSessionVisible = false;
    // Read at load, saved at unload; the window shows it and writes it back.
    WindowPlace windowPlace;
};

// The window's caption: the program's, and the latest problem while there is one.
inline std::string windowCaption(const Controls& c) {
    return c.problem.empty() ? c.caption : c.caption + " - " + c.problem;
}
