"""A private home for the component (profile folder, registry, configuration)
made before quarnel3 is imported, so that the tests neither read nor write the
user's; and a client connected to a simulator of its own per test."""

import os
import tempfile
import unittest

HOME = tempfile.mkdtemp(prefix="quarnel3-python-test-")
os.environ.update(HOME=HOME, XDG_DATA_HOME=os.path.join(HOME, "data"), XDG_CONFIG_HOME=os.path.join(HOME, "config"),
                  QUARNEL3_REGISTRY_ROOT=os.path.join(HOME, "registry"))

import quarnel3  # noqa: E402  (after the environment is set)

# Generous: only keeps a broken session from hanging the run.
TIMEOUT = 30.0


class SessionTest(unittest.TestCase):
    def setUp(self):
        self.sim = quarnel3.Simulator()
        self.addCleanup(self.sim.stop)
        self.client = quarnel3.Client()
        self.addCleanup(self.client.close)

    def connect(self):
        self.client.connect(*self.sim.connection)
        return self.client.wait("Connected", timeout=TIMEOUT)
