// Compiled into every test program: FFTs are planned by estimate, as under ctest, unless
// ORVEX_FFT_PLANS says otherwise. Measured plans depend on timing, and the tests that pin stored
// results byte for byte must see the same transforms on every run, however they are started.
#include <cstdlib>

namespace {
const bool kEstimatedPlans = [] { return ::setenv("ORVEX_FFT_PLANS", "estimate", 0) == 0; }();
}  // namespace
