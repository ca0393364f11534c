// Keeps the forms library non-empty while it has no form of its own.
