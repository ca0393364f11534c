// The value library's sample values, shared with the XML form's round trips.
#include "tests/bacnet/value/value_samples.cpp"
