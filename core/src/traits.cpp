#include "traits.hpp"

#include "internal_failure.hpp"

namespace vexal {

void fresh_failed() { throw InternalFailure("fresh: config was already validated at construction"); }

}  // namespace vexal
