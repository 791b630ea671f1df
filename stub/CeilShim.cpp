// The one function the stub would otherwise take from the shared math library: the hash tables of
// the C++ library size their bucket arrays with ceil(). Linked with --wrap=ceil, so the stub needs no
// shared library besides the C library itself.
#include <cmath>
#include <cstdint>

extern "C" double __wrap_ceil(double x) {
    // From 2^52 on every double is a whole number already (and NaN and the infinities stay as they are).
    if (!(std::fabs(x) < 4503599627370496.0)) return x;
    const double truncated = static_cast<double>(static_cast<int64_t>(x));
    const double up = truncated < x ? truncated + 1.0 : truncated;
    return std::copysign(up, x);   // ceil(-0.5) is -0
}
