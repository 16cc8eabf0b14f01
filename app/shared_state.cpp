#include "app/shared_state.h"

#include <memory>
#include <utility>

namespace mirelo {
namespace {
std::function<void()>& Command9Handler() {
    static std::function<void()> handler;
    return handler;
}
}  // namespace

Module1& SharedState() {
    static const auto store = std::make_unique<Module1>();
    return *store;
}

void SetEnableCommand9Handler(std::function<void()> handler) { Command9Handler() = std::move(handler); }

void EnableCommand9() {
    if (Command9Handler()) {
        Command9Handler()();
    }
}

}  // namespace mirelo
