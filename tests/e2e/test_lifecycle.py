"""A run of the program with two sign-ons, one after the other and at once:
the login listener stays open, each session keeps its own frames and
numbering (the second starts afresh) and ends alone, dump.log
keeps its line format throughout, and SIGTERM writes the settings back; and
the command line, which answers without starting the program; and a program
folder that cannot be written, whose files go to the user's folder."""

import os
import socket
import unittest

from oscar import CHANNEL_DATA, ChatServer, Client, LoginServer, parse_tlvs, snac, tlv_value
from relay import COOKIE, RelayAssertions
from skelvane_run import WAIT, WINE, CommandLineChecks, SkelvaneRun, free_port


class LifecycleTest(RelayAssertions):
    def chat_session(self, run, chat, login, uin, index):
        """Signs on with `uin` as the index-th session of the run, chats a
        little, and returns the client and the chat server's connection."""
        client = Client(uin)
        self.addCleanup(client.close)
        redirect = client.sign_on("127.0.0.1", run.login_port)
        self.assertEqual((redirect.host, redirect.port), ("127.0.0.1", run.chat_port))
        request = login.wait_connection(index).received[1]
        self.assertEqual(tlv_value(parse_tlvs(request.snac.body), 1), uin.encode())
        client.connect_chat()
        server = chat.wait_connection(index)
        client.send_message("55555", f"from {uin}", b"MSG" + uin[:5].encode(), want_ack=True)
        server.send_frame(CHANNEL_DATA, snac(0x01, 0x0F, uin.encode()))
        client.chat.wait_snac(0x04, 0x0C)
        client.chat.wait_snac(0x01, 0x0F)
        client.chat.wait_frames(len(server.sent))
        server.wait_frames(len(client.chat.sent))
        self.assertRelayed(client.chat.sent, server.received, 0x4000, f"session {index} to server")
        self.assertRelayed(server.sent, client.chat.received, 0x2000, f"session {index} to client")
        return client, server

    def test_two_sessions_at_once_keep_their_frames_apart_and_end_alone(self):
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login, SkelvaneRun(login.port) as run:
            first, first_server = self.chat_session(run, chat, login, "111111111", 0)
            second, second_server = self.chat_session(run, chat, login, "222222222", 1)
            # The second client leaves; the first session goes on.
            second.chat.close()
            second_server.wait_closed()
            msgs = run.wait_log("[222222222] Client-chat disconnected", exact=True)
            first_server.send_frame(CHANNEL_DATA, snac(0x01, 0x0F, b"still"))
            first.chat.wait_frames(len(first_server.sent))
            self.assertRelayed(first_server.sent, first.chat.received, 0x2000, "the first, after the second ended")
            self.assertEqual(len(second.chat.received), len(second_server.sent))
            self.assertListenedOnce(msgs)
            self.assertCleanEnd(msgs, run)

    def test_sign_on_past_max_sessions_is_refused_until_a_session_ends(self):
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login, \
                SkelvaneRun(login.port, ini={"MaxSessions": "1"}) as run:
            first, first_server = self.chat_session(run, chat, login, "111111111", 0)
            with socket.create_connection(("127.0.0.1", run.login_port), timeout=WAIT) as refused:
                self.assertEqual(refused.recv(1), b"", "the refused client was not closed at once")
            run.wait_log("Sign-on refused: 1 session is running already (MaxSessions in skelvane.ini)", exact=True)
            self.assertEqual(len(login.connections), 1, "the refused client reached the login server")
            first.chat.close()
            first_server.wait_closed()
            run.wait_log("Client-chat disconnected")
            self.chat_session(run, chat, login, "222222222", 1)
            self.assertCleanEnd(run.messages(), run)

    def test_two_sign_ons_in_one_run_then_settings_written_on_sigterm(self):
        with ChatServer(COOKIE) as chat, LoginServer(chat.address, COOKIE) as login, SkelvaneRun(login.port) as run:
            # First session: the client leaves.
            client, server = self.chat_session(run, chat, login, "111111111", 0)
            client.chat.close()
            server.wait_closed()
            run.wait_log("Client-chat disconnected")

            # Second session, another user: the server leaves.
            client, server = self.chat_session(run, chat, login, "222222222", 1)
            server.close()
            client.chat.wait_closed()
            msgs = run.wait_log("Server-chat disconnected")

            self.assertTwoSessions(msgs, run, chat, login)
            self.assertEqual(msgs.count("SNAC 17-06 (UIN) detected"), 2)
            self.assertEqual(sum(m.startswith(run.plugin_line[:-3]) for m in msgs), 2)
            self.assertNotIn("Plugin initialized", msgs)  # there is no plug-in
            self.assertEqual(msgs.count("Client-chat disconnected"), 1)
            self.assertEqual(msgs.count("Server-chat disconnected"), 1)
            self.assertStopWritesSettings(run)


class ReadOnlyFolderTest(unittest.TestCase):
    @unittest.skipIf(WINE, "Wine gives a Windows program no Unix folder permissions")
    def test_files_go_to_the_users_folder_and_the_log_and_help_say_so(self):
        with SkelvaneRun(free_port(), read_only=True) as run:
            before = sorted(os.listdir(run.dir))
            self.assertIn(f"Settings and logs are kept in {run.data_dir}, since {run.dir} cannot be written",
                          run.messages())
            usage = run.run_once(["--help"]).stdout.decode()
            self.assertIn(f"The program's folder ({run.dir}) cannot be written", usage)
            self.assertIn(f"are kept in {run.data_dir}.", usage)
            self.assertEqual(run.stop(), 0)
            self.assertTrue(run.read_ini().startswith(b"HostLoginIP = 127.0.0.1\r\n"), run.read_ini())
            self.assertEqual(sorted(os.listdir(run.dir)), before)


class CommandLineTest(CommandLineChecks, unittest.TestCase):
    pass


if __name__ == "__main__":
    unittest.main()
