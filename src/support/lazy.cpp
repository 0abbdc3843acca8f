#include "support/lazy.h"

namespace plim::lazy_detail {

void raiseSelfDependency() {
    failInternal("internal error: a lazy value was needed while it was being computed");
}

}  // namespace plim::lazy_detail
