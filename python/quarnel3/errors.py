"""The exception a refused call raises."""


class Error(Exception):
    """A call the component refused (its HRESULT was negative), or a client
    that could not be made.

    ``description`` and ``source`` are what the component left in the
    thread's error information (for a refused argument conversion the source
    is the host's name); ``hresult`` is the signed HRESULT, None when the
    component module did not load at all; ``method`` the method called.
    """

    def __init__(self, description, hresult=None, source=None, method=None):
        super().__init__(description)
        self.description = description
        self.hresult = hresult
        self.source = source
        self.method = method

    def __str__(self):
        text = self.description or "failed"
        if self.method:
            text = f"{self.method}: {text}"
        if self.hresult is not None:
            text += f" (HRESULT 0x{self.hresult & 0xFFFFFFFF:08X})"
        return text
