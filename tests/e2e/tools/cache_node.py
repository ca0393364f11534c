"""Drives tests/e2e/tools/cache_node (the remote-property cache on the client side of the stack)
inside a namespace: commands in, JSON events out, as the client node is driven."""

from e2e.tools.client_node import ClientNode


class CacheNode(ClientNode):
    program = "cache_node"

    def cache_events(self, **fields):
        """Every cache event so far with those fields, in order."""
        with self._cond:
            return [e for e in self.events
                    if e.get("event") == "cache" and all(e.get(k) == v for k, v in fields.items())]
