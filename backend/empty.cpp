// Keeps the backend library non-empty while it has no module of its own.
