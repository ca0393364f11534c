"""Drives tests/e2e/tools/api_host (the whole stack as the backend starts it, with the connect
strings a test gives, an API port among them) inside a namespace: JSON events out, "quit" in."""

from e2e.tools.client_node import ClientNode


def api_connect_string(network=9, address="127.0.0.1", port=None, **keys):
    text = f"TYPE=BACNETAPI;NETWORK={network};IPADDRESS={address};"
    if port is not None:
        text += f"PORT={port};"
    return text + "".join(f"{k}={v};" for k, v in keys.items())


class ApiHost(ClientNode):
    program = "api_host"

