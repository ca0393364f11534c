// The value library's sample values, shared with the records' round trips on the wire.
#include "tests/bacnet/value/value_samples.cpp"
