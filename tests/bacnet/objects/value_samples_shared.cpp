// The value library's sample values, shared with the value records of the objects file.
#include "tests/bacnet/value/value_samples.cpp"
