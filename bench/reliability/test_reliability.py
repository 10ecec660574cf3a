#!/usr/bin/env python3
"""The suite's own judges: a wrong one would report a broken program as held.
    python3 bench/reliability/test_reliability.py"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from reliability import WIDE_REPLY, is_reply, listening_in  # noqa: E402

HEADER = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"


def row(local, state, remote="00000000:0000"):
    return "   0: %s %s %s 00000000:00000000 00:00000000 00000000     0        0 1\n" % (local, remote, state)


class ListeningTest(unittest.TestCase):
    def test_a_listener_on_the_port_in_either_table(self):
        self.assertTrue(listening_in([HEADER + row("00000000:15B3", "0A")]))
        self.assertTrue(listening_in([HEADER, HEADER + row("00000000000000000000000000000000:15B3", "0A")]))

    def test_what_is_not_a_listener_on_the_port(self):
        # An open session on the port, a listener on another port, the
        # port only as the peer's, and no tables at all.
        self.assertFalse(listening_in([HEADER + row("0100007F:15B3", "01")]))
        self.assertFalse(listening_in([HEADER + row("00000000:15B4", "0A")]))
        self.assertFalse(listening_in([HEADER + row("0100007F:9C40", "0A", remote="0100007F:15B3")]))
        self.assertFalse(listening_in([]))


class ReplyTest(unittest.TestCase):
    def test_four_crlf_lines_are_a_reply(self):
        self.assertTrue(is_reply(b"0301234567\r\n \r\nAcme - (Smith, Ann)\r\n \r\n"))
        self.assertTrue(is_reply(WIDE_REPLY))

    def test_anything_else_is_not(self):
        for data in (
            b"",                                                   # cancelled
            b"\r\n \r\nAcme - (Smith, Ann)\r\n \r\n",              # no number
            b"0301234567\n \nAcme\n \n",                           # LF alone
            b"0301234567\r\n \r\nAcme\r\n \r",                     # cut short
            b"0301234567\r\n \r\nAcme\r\n \r\n" * 2,               # two replies
            b"030 1234\r\n \r\nAcme\r\n \r\n",                     # not digits only
            b"0301234567\r\n \r\n\r\n \r\n",                       # no recipient
            b"0301234567\r\n \r\nAc\rme\r\n \r\n",                 # a lone CR inside
        ):
            with self.subTest(data=data):
                self.assertFalse(is_reply(data))


if __name__ == "__main__":
    unittest.main()
