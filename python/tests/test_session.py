"""Connecting, calls with out values, refusals raised as quarnel3.Error, and
the client's life: close, a module that does not load, exit with a live
session."""

import os
import subprocess
import sys
import unittest

from support import TIMEOUT, SessionTest, quarnel3

NOT_CONNECTED = "Connection not established.. try to connect first!"
E_FAIL = -2147467259
DISP_E_TYPEMISMATCH = -2147352571


class Connecting(SessionTest):
    def test_connected_comes_and_out_values_are_answered(self):
        self.assertIs(self.client.IsConnected(), False)
        self.assertEqual(self.connect(), {"event": "Connected"})
        self.assertIs(self.client.IsConnected(), True)
        self.assertEqual(self.client.GetMoneyAccount("D-10001"), "MA-10001")
        version = self.client.GetKxClientVersion()
        self.assertEqual(len(version), 4)
        self.assertTrue(all(isinstance(n, int) for n in version))
        self.assertIsInstance(self.client.GetKxClientVersionString(), str)


class Refusals(SessionTest):
    def assertRefused(self, method, description, *args, hresult=E_FAIL, source="IKxServer"):
        with self.assertRaises(quarnel3.Error) as caught:
            getattr(self.client, method)(*args)
        error = caught.exception
        self.assertEqual((error.method, error.hresult, error.description, error.source),
                         (method, hresult, description, source))

    def test_refusals_carry_the_components_description(self):
        self.assertRefused("ListenQuotes", NOT_CONNECTED, "SBER")
        # None passes a null text, which is checked before the session.
        self.assertRefused("PlaceOrder", "Bad portfolio/symbol parameters!", None, "SBER", 1, 2, 1, 100.0, 1, 0.0, 7)
        self.connect()
        self.assertRefused("PlaceOrder", "Portfolio nosuch not found", "nosuch", "NOSUCH", 1, 2, 1, 100.0, 1, 0.0, 7)
        self.assertRefused("PlaceOrder", "Symbol not found NOSUCH", "D-10001", "NOSUCH", 1, 2, 1, 100, 1, 0, 7)
        self.assertRefused("CancelOrder", "Cancel failed, bad orderId 0", "D-10001", "SBER", 0)
        # The session goes on after the refusals.
        self.assertIs(self.client.IsConnected(), True)

    def test_values_that_do_not_fit_the_declared_type_are_refused(self):
        with self.assertRaises(quarnel3.Error) as caught:
            self.client.PlaceOrder("D-10001", "SBER", "buy", 2, 1, 100.0, 1, 0.0, 7)
        self.assertEqual(caught.exception.hresult, DISP_E_TYPEMISMATCH)
        self.assertIn("action", caught.exception.description)
        with self.assertRaises(quarnel3.Error):
            self.client.PlaceOrder("D-10001", "SBER", 1.5, 2, 1, 100.0, 1, 0.0, 7)
        with self.assertRaises(TypeError):
            self.client.ListenQuotes(object())

    def test_names_outside_the_type_library_are_no_methods(self):
        with self.assertRaises(AttributeError):
            self.client.ListenQuote("SBER")
        with self.assertRaises(quarnel3.Error):
            self.client.call("NoSuchMethod")


class Life(SessionTest):
    def test_a_closed_client_refuses_calls(self):
        self.connect()
        self.client.close()
        self.client.close()
        with self.assertRaises(quarnel3.Error):
            self.client.IsConnected()

    def test_a_module_that_does_not_load_is_an_error(self):
        with self.assertRaises(quarnel3.Error) as caught:
            quarnel3.Client(module=os.path.join(self.sim.host, "nowhere", "libquarnel3.so"))
        self.assertIsNone(caught.exception.hresult)
        self.assertIn("nowhere", caught.exception.description)

    def test_the_interpreter_exits_with_a_streaming_session_open(self):
        program = ("import quarnel3\n"
                   "sim = quarnel3.Simulator()\n"
                   "client = quarnel3.Client()\n"
                   "client.on('UpdateQuote', lambda q: None)\n"
                   "client.connect(*sim.connection)\n"
                   "client.wait('Connected', timeout=30)\n"
                   "client.ListenQuotes('SBER')\n"
                   "client.wait('UpdateQuote', timeout=30)\n"
                   "print('streaming')\n")
        done = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True, timeout=TIMEOUT * 2)
        self.assertEqual((done.returncode, done.stdout), (0, "streaming\n"), done.stderr)


if __name__ == "__main__":
    unittest.main()
