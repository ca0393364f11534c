"""Where the built programs are."""

import os

BIN = os.environ.get("ZOR17_BIN", "")


def program(name):
    path = os.path.join(BIN, name)
    if not os.path.exists(path):
        raise FileNotFoundError(f"{path} is not built")
    return path
