#include "schedule/app_state.h"

namespace crvl {
namespace {

std::atomic<AppState*> g_appState{nullptr};

}  // namespace

AppState* appState() noexcept { return g_appState.load(std::memory_order_acquire); }

AppStateScope::AppStateScope() : state_(std::make_unique<AppState>()) {
  g_appState.store(state_.get(), std::memory_order_release);
}

AppStateScope::~AppStateScope() {
  g_appState.store(nullptr, std::memory_order_release);
  // The plug-ins go with the state's provider table; their requests find no state.
  setPasswordRequests(nullptr);
}

void attachPluginBinding(AppState& state, ProfileStore& settings, const PasswordPrompt& prompt, void* mainWindow) {
  state.plugins.settings = &settings;
  state.plugins.mainWindow = mainWindow;
  state.passwordRequests.remembered = &state.rememberedPassword;
  state.passwordRequests.prompt = prompt;
  setPasswordRequests(&state.passwordRequests);
  state.providers.setPluginRegistration(pluginRegistration(state.plugins));
}

}  // namespace crvl
