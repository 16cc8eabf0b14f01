#include "ui/state/shared_state.h"

#include <memory>

namespace mirelo {

Module1& SharedState() {
    static const auto store = std::make_unique<Module1>();
    return *store;
}

}  // namespace mirelo
