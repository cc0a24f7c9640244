"""The example a Python user starts from still streams quotes."""

import os
import subprocess
import sys
import unittest

from support import TIMEOUT

EXAMPLE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "python",
                       "stream_quotes.py")


class Example(unittest.TestCase):
    def test_stream_quotes_prints_the_quotes_asked_for(self):
        done = subprocess.run([sys.executable, EXAMPLE, "3"], capture_output=True, text=True, timeout=TIMEOUT * 2)
        self.assertEqual(done.returncode, 0, done.stderr)
        lines = done.stdout.splitlines()
        self.assertEqual(len(lines), 3, done.stdout)
        self.assertTrue(all(" SBER last " in line for line in lines), done.stdout)


if __name__ == "__main__":
    unittest.main()
