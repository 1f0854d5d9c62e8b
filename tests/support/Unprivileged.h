#pragma once

#include <functional>

namespace orvex::test {

// Runs body in a forked child that, when the tests run as root, first drops to the unprivileged
// user "nobody" (uid/gid 65534), so permission checks apply even on root-run CI machines. The
// child must only touch folders that others may traverse. Returns the child's exit code (body's
// result), or -1 when the child could not run or died.
int runUnprivileged(const std::function<int()>& body);

}  // namespace orvex::test
