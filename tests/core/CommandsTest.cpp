// Start-up, shutdown, the command buttons and the tick's own housekeeping.
#include <cstdlib>
#include <fstream>

#include "generated/Version.h"
#include "tests/support/Loopback.h"
#include "tests/support/ScratchFormTest.h"

namespace {

const std::string kCaption = std::string("Skelvane (beta) ") + SKELVANE_VERSION;

// The program lives in its own folder, started from somewhere else.
class CommandsTest : public ScratchFormTest {
  protected:
    CommandsTest() {
        std::filesystem::create_directory(dir / "elsewhere");
        std::filesystem::current_path(dir / "elsewhere");
    }
    void TearDown() override { form.Form_Unload(); }

    // Loads, then points the login listener at a free port.
    void loadOnLoopback() {
        form.Form_Load();
        form.ctl.Text1 = "127.0.0.1";
        form.ctl.Text2 = std::to_string(loginPort);
    }
    // A free port is found through the socket library, which the program
    // starts only at its load.
    const int socketLibrary_ = Sok_init();
    const std::uint16_t loginPort = freePort();
};

TEST_F(CommandsTest, LoadWithoutSettingsFileFillsDefaultsAndLogsStarted) {
    form.Form_Load();
    EXPECT_EQ(std::filesystem::current_path(), dir);
    EXPECT_EQ(form.ctl.Text1, "localhost");
    EXPECT_EQ(form.ctl.Text2, "5190");
    EXPECT_EQ(form.ctl.Text3, DEFAULT_SERVER_LOGIN_HOST);
    EXPECT_EQ(form.ctl.Text4, "5190");
    EXPECT_EQ(form.ctl.Text7, "localhost");
    EXPECT_EQ(form.ctl.Text8, "5191");
    EXPECT_EQ(form.ctl.caption, kCaption);
    EXPECT_EQ(form.ctl.Label14, "From Server\r\nTo Client\r\nFrom Client\r\nTo Server");
    EXPECT_EQ(form.ctl.txtLOG, kCaption + "\r\n14:05:09 Started\r\n14:05:09 Date: 2026-12-09");
    EXPECT_EQ(readFile(dir / "dump.log"),
              "14:05:09|77 Started\r\n14:05:09|77 Date: 2026-12-09\r\n");
    EXPECT_EQ(form.session().loginMode, LOGIN_IDLE);
    EXPECT_EQ(form.session().chatMode, CHAT_ENDED);
}

#ifndef _WIN32
// /proc takes no new file, not even from root: it stands for a program's
// folder that cannot be written.
TEST_F(CommandsTest, FolderThatCannotBeWrittenSendsFilesToTheUsersOrSaysNothingIsSaved) {
    const auto config = dir / "config";
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    Form1 moved(clock, boxes, "/proc");
    moved.Form_Load();
    const auto user = config / "skelvane";
    EXPECT_EQ(moved.settingsFolder(), user.string());
    EXPECT_EQ(std::filesystem::current_path(), user);
    EXPECT_EQ(moved.ctl.caption, kCaption);
    const std::string line =
        "Settings and logs are kept in " + user.string() + ", since /proc cannot be written";
    EXPECT_NE(moved.ctl.txtLOG.find("\r\n14:05:09 " + line), std::string::npos) << moved.ctl.txtLOG;
    EXPECT_NE(readFile(user / "dump.log").find(line), std::string::npos);
    moved.Form_Unload();
    EXPECT_NE(readFile(user / "skelvane.ini").find("HostLoginPort = 5190"), std::string::npos);

    ::setenv("XDG_CONFIG_HOME", "/proc/none", 1);
    Form1 stuck(clock, boxes, "/proc");
    stuck.Form_Load();
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(stuck.ctl.caption, kCaption + " - settings will not be saved");
    EXPECT_NE(stuck.ctl.txtLOG.find("Settings and logs will not be saved, since neither /proc nor "
                                    "/proc/none/skelvane can be written"),
              std::string::npos)
        << stuck.ctl.txtLOG;
    std::filesystem::current_path(dir);
}
#endif

TEST_F(CommandsTest, SettingsAreReadAtLoadAndWrittenAtUnloadInOrder) {
    {
        std::ofstream ini(dir / "skelvane.ini", std::ios::binary);
        ini << "HostChatPort=6001\r\nServerLoginIP = login.example\r\nMaxSessions = 33\r\n";
    }
    form.Form_Load();
    EXPECT_TRUE(
        logHas("MaxSessions \"33\" in skelvane.ini is not a number from 1 to 32; 8 is used"));
    EXPECT_EQ(form.maxSessions(), 8);
    EXPECT_EQ(form.ctl.Text3, "login.example");
    EXPECT_EQ(form.ctl.Text8, "6001");
    form.ctl.Text2 = "7000";
    std::filesystem::current_path(dir / "elsewhere");
    form.Form_Unload();
    EXPECT_EQ(readFile(dir / "skelvane.ini"),
              "HostLoginIP = localhost\r\nHostLoginPort = 7000\r\n"
              "ServerLoginIP = login.example\r\nServerLoginPort = 5190\r\n"
              "HostChatIP = localhost\r\nHostChatPort = 6001\r\nMaxSessions = 8\r\n");
}

TEST_F(CommandsTest, UnloadReleasesEverySocket) {
    loadOnLoopback();
    form.Timer1_Timer();
    ASSERT_NE(form.loginListener, SOK_NO_SOCKET);
    form.Form_Unload();
    EXPECT_EQ(form.loginListener, SOK_NO_SOCKET);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(form.session().sockets[i], SOK_NO_SOCKET) << i;
    }
}

TEST_F(CommandsTest, FirstTickListensAndHostLoginWhileBusyOnlyWarns) {
    loadOnLoopback();
    form.Command1_Click();  // before the first tick chatMode is still 100
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "Proxy is in work already!");
    EXPECT_EQ(boxes.shown[0].title, "Skelvane (beta)");
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Warning);
    EXPECT_EQ(form.loginListener, SOK_NO_SOCKET);

    form.Timer1_Timer();
    EXPECT_EQ(form.session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);
    EXPECT_TRUE(logHas("Await client-login connect at 127.0.0.1:" + std::to_string(loginPort)));
    const SokHandle listener = form.loginListener;
    const std::string log = form.ctl.txtLOG;

    form.Command1_Click();
    EXPECT_EQ(boxes.shown.size(), 2U);
    EXPECT_EQ(form.loginListener, listener);
    EXPECT_EQ(form.session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_EQ(form.ctl.txtLOG, log);
}

TEST_F(CommandsTest, DisconnectStopsListeningUntilHostLogin) {
    loadOnLoopback();
    form.Timer1_Timer();
    const std::uint16_t port = loginListenerPort();
    form.Command3_Click();
    EXPECT_TRUE(logHas("Listening stopped"));
    EXPECT_EQ(form.session().loginMode, LOGIN_IDLE);
    EXPECT_EQ(form.session().chatMode, CHAT_IDLE);
    EXPECT_EQ(form.loginListener, SOK_NO_SOCKET);
    EXPECT_FALSE(connectTo(port).has_value());
    form.Timer1_Timer();
    EXPECT_EQ(form.session().loginMode, LOGIN_IDLE);

    form.ctl.Text2 = std::to_string(port) + "x";  // leading number only
    form.Command1_Click();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(form.session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_EQ(loginListenerPort(), port);
    EXPECT_TRUE(logHas("Await client-login connect at 127.0.0.1:" + std::to_string(port)));
}

TEST_F(CommandsTest, HostLoginRefusesPortsOutsideTheRange) {
    loadOnLoopback();
    form.Command3_Click();
    for (const char* text : {"65536", "-1", "99999999999999999999999"}) {
        form.ctl.Text2 = text;
        form.Command1_Click();
        EXPECT_TRUE(logHas(std::string("Invalid port ") + text));
        EXPECT_EQ(form.session().loginMode, LOGIN_IDLE);
        EXPECT_EQ(form.loginListener, SOK_NO_SOCKET);
    }
}

TEST_F(CommandsTest, HostLoginBindFailuresAreLoggedAndTheSettingCanBeFixed) {
    loadOnLoopback();
    form.Command3_Click();
    std::vector<std::string> printed;
    form.setLineSink([&](const std::string& line) { printed.push_back(line); });
    TestListener taken;
    form.ctl.Text2 = std::to_string(taken.port);
    form.Command1_Click();
    // The system's words (the socket layer's tests pin them down).
    const std::string inUse = "Could not listen on 127.0.0.1:" + std::to_string(taken.port) + ": " +
                              Sok_lastError().text + " (is another copy running?)";
    EXPECT_NE(Sok_lastError().text.rfind("error ", 0), 0U);
    EXPECT_TRUE(logHas("14:05:09 Sok_bind failed with 4\r\n14:05:09 " + inUse));
    EXPECT_EQ(form.ctl.problem, inUse);
    EXPECT_EQ(windowCaption(form.ctl), kCaption + " - " + inUse);
    EXPECT_EQ(form.session().loginMode, LOGIN_IDLE);

    // A name that does not resolve never widens to every interface, and
    // nothing is bound.
    form.ctl.Text1 = "no-such-host.invalid";
    form.ctl.Text2 = std::to_string(loginPort);
    form.Command1_Click();
    EXPECT_TRUE(
        logHas("14:05:09 Host name no-such-host.invalid could not be resolved\r\n"
               "14:05:09 Could not find the address of no-such-host.invalid: "));
    EXPECT_EQ(logCount("Sok_bind failed with"), 1);   // only for the port in use
    EXPECT_EQ(logCount("could not be resolved"), 1);  // not for the port in use
    EXPECT_EQ(form.ctl.problem.rfind("Could not find the address of no-such-host.invalid: ", 0),
              0U);
    EXPECT_EQ(form.session().loginMode, LOGIN_IDLE);
    EXPECT_EQ(form.loginListener, SOK_NO_SOCKET);

    form.ctl.Text1 = "127.0.0.1";
    form.Command1_Click();
    EXPECT_EQ(form.session().loginMode, LOGIN_AWAIT_CLIENT);
    EXPECT_EQ(form.ctl.problem, "");  // listening again clears it
    EXPECT_EQ(windowCaption(form.ctl), kCaption);
    EXPECT_TRUE(boxes.shown.empty());
    // A console run prints the lines in words, then where it listens.
    ASSERT_EQ(printed.size(), 3U);
    EXPECT_EQ(printed[0], inUse);
    EXPECT_EQ(printed[2], "Skelvane is listening for the client on 127.0.0.1:" +
                              std::to_string(loginPort) + "; stop it with Ctrl+C or SIGTERM");
}

TEST_F(CommandsTest, ListenerPortsThatAreNoPortAreRefusedAndNotSaved) {
    {
        std::ofstream ini(dir / "skelvane.ini", std::ios::binary);
        ini << "HostLoginPort = " << loginPort << "abc\r\nHostChatPort = 6001\r\n";
    }
    form.Form_Load();
    form.ctl.Text1 = "127.0.0.1";
    form.Timer1_Timer();  // a file's leading number counts, as ever
    EXPECT_TRUE(logHas("Await client-login connect at 127.0.0.1:" + std::to_string(loginPort)));
    form.Command3_Click();
    for (const char* text : {"abc", "", "0", "0x5190"}) {
        form.ctl.Text2 = text;
        form.Command1_Click();
        const std::string line = std::string("The port \"") + text +
                                 "\" in \"Host login\" is not a port number (1 to 65535); "
                                 "not listening";
        EXPECT_TRUE(logHas("14:05:09 " + line)) << text;
        EXPECT_EQ(form.ctl.problem, line);
        EXPECT_EQ(form.session().loginMode, LOGIN_IDLE);
        EXPECT_EQ(form.loginListener, SOK_NO_SOCKET);
    }
    EXPECT_FALSE(logHas("Await client-login connect at 127.0.0.1:0"));
    // The last port that listened is saved, not the one refused.
    form.ctl.Text8 = "";
    form.Form_Unload();
    const std::string ini = readFile(dir / "skelvane.ini");
    EXPECT_NE(ini.find("HostLoginPort = " + std::to_string(loginPort) + "abc\r\n"),
              std::string::npos)
        << ini;
    EXPECT_NE(ini.find("HostChatPort = 6001\r\n"), std::string::npos) << ini;
}

TEST_F(CommandsTest, AboutShowsTheVersionLicenceToolkitAndSettingsFolder) {
    form.Form_Load();
    form.setToolkitText("Kit 1.2");
    form.Command4_Click();
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text,
              kCaption +
                  "\n\nCopyright (c) The Skelvane developers. MIT License "
                  "(see the file LICENSE).\nBuilt with Kit 1.2\nSettings and logs: " +
                  dir.string());
    EXPECT_EQ(boxes.shown[0].title, "Skelvane (beta)");
    EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Information);
}

TEST_F(CommandsTest, StatusListShowsEachSlotAndItsLocalAddress) {
    loadOnLoopback();
    form.Timer1_Timer();  // opens the listener after the status was written
    form.Timer1_Timer();
    const std::string port = std::to_string(loginListenerPort());
    EXPECT_EQ(form.ctl.Label1, "0  127.0.0.1 : " + port + "\r\n1\r\n2\r\n3\r\n4\r\n5\r\n");
    EXPECT_EQ(form.ctl.Label3,
              std::to_string(form.loginListener) + "\r\n-1\r\n-1\r\n-1\r\n-1\r\n-1\r\n");
    EXPECT_EQ(form.ctl.Label13, "0\r\n0\r\n0\r\n0");  // counters refreshed at the tick's end
}

TEST_F(CommandsTest, TicksAreNeededOnlyWhileSomethingIsDueOrNotShownYet) {
    loadOnLoopback();
    EXPECT_TRUE(form.tickNeeded());  // the first tick listens
    form.Timer1_Timer();
    EXPECT_TRUE(form.tickNeeded());  // and the next shows the listener
    form.Timer1_Timer();
    EXPECT_FALSE(form.tickNeeded());  // an idle program need not wake
    Peer client = *connectTo(loginListenerPort());
    ASSERT_TRUE(pumpUntil([&] { return logHas("Client-login connected"); }));
    EXPECT_TRUE(form.tickNeeded());
}

TEST_F(CommandsTest, FaultInATickIsLoggedAndTheNextTickRuns) {
    loadOnLoopback();
    form.Timer1_Timer();
    form.ctl.Label13.clear();
    form.session().chatMode = CHAT_AWAIT_CLIENT;  // the tick reads the clock for the time-out
    clock.failRead = true;
    form.Timer1_Timer();
    EXPECT_TRUE(logHas("INTERNAL ERROR t1 6 Overflow"));
    EXPECT_EQ(form.ctl.Label13, "");  // the tick ended at the fault
    form.Timer1_Timer();
    EXPECT_EQ(form.ctl.Label13, "0\r\n0\r\n0\r\n0");
}

TEST_F(CommandsTest, NoHandlerStartsWhileAnotherRuns) {
    loadOnLoopback();
    form.Timer1_Timer();
    form.session().chatMode = CHAT_AWAIT_CLIENT;
    // Something inside the tick (a plug-in's window) runs the window's loop.
    clock.onRead = [this] {
        form.Timer1_Timer();
        form.socketReady(SLOT_CHAT_LISTENER, SOK_READABLE);
    };
    const int readsBefore = clock.reads;
    form.Timer1_Timer();
    EXPECT_EQ(clock.reads, readsBefore + 1);  // the nested tick did nothing
}

}  // namespace
