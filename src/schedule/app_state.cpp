#include "schedule/app_state.h"

namespace crvl {
namespace {

std::atomic<AppState*> g_appState{nullptr};

}  // namespace

AppState* appState() noexcept { return g_appState.load(std::memory_order_acquire); }

AppStateScope::AppStateScope() : state_(std::make_unique<AppState>()) {
  g_appState.store(state_.get(), std::memory_order_release);
}

AppStateScope::~AppStateScope() { g_appState.store(nullptr, std::memory_order_release); }

}  // namespace crvl
