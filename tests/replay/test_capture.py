"""The frames of the recorded chat session, as the capture reader takes them
out: whole FLAP frames in both directions, numbered without a gap on either
side of the unrecorded stretch, with the message that asks for a server ack
and that ack."""

import unittest

import capture
from oscar import FLAP_MARKER, parse_flap, parse_message, tlv_value


class CaptureTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.conv = capture.load()

    def test_both_directions_cut_into_whole_frames(self):
        conv = self.conv
        self.assertEqual((len(conv.to_server), len(conv.to_client)), (33, 25))
        self.assertEqual(conv.leftover, 0)
        self.assertEqual(len(conv.in_order), 58)
        for side in (conv.to_server, conv.to_client):
            for f in side:
                self.assertEqual(f.raw[0], FLAP_MARKER, f.raw[:16].hex())
                parse_flap(f.raw)  # its length field covers exactly its bytes

    def test_sequence_numbers_run_on_but_for_the_unrecorded_stretch(self):
        for side, first in ((self.conv.to_server, 0x0001), (self.conv.to_client, 0x198A)):
            seqs = [parse_flap(f.raw).seq for f in side]
            self.assertEqual(seqs[0], first)
            jumps = [(a, b) for a, b in zip(seqs, seqs[1:]) if b != a + 1]
            self.assertEqual(len(jumps), 1, f"sequence jumps {jumps}")
            self.assertGreater(jumps[0][1], jumps[0][0])

    def test_the_message_asking_for_an_ack_and_its_ack(self):
        conv = self.conv
        sends = capture.find_snac(conv.to_server, 0x04, 0x06, capture.RECIPIENT)
        self.assertEqual(len(sends), 1)
        sent = parse_message(sends[0].snac.body)
        self.assertIsNotNone(tlv_value(sent.tlvs, 3), "the 4/6 asks for the server's ack")

        acks = capture.find_snac(conv.to_client, 0x04, 0x0C, capture.RECIPIENT)
        self.assertEqual(len(acks), 1)
        acked = parse_message(acks[0].snac.body)
        self.assertEqual((acked.cookie, acked.channel), (sent.cookie, sent.channel))
        self.assertEqual(acks[0].snac.request_id, sends[0].snac.request_id)
        order = [f.raw for f in conv.in_order]
        self.assertLess(order.index(sends[0].raw), order.index(acks[0].raw))

        # The rest of the conversation the issue names.
        self.assertEqual(len(capture.find_snac(conv.to_client, 0x04, 0x07)), 1)
        self.assertGreater(len(capture.find_snac(conv.in_order, 0x04, 0x14)), 0)  # typing notices
        self.assertGreater(len(capture.find_snac(conv.to_server, 0x15, 0x02)), 0)


if __name__ == "__main__":
    unittest.main()
