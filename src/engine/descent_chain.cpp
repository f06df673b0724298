#include "engine/descent_chain.h"

#include "platform/files.h"

namespace crvl {
namespace {

struct Probe {
  bool known = false;
  uint64_t volume = 0;
  uint64_t fileId = 0;
};

Probe identityOf(const SideState& side) {
  Probe probe;
  if (side.kind != kProviderLocal) return probe;
  probe.known = platform::fileIdentity(side.path, &probe.volume, &probe.fileId) == 0;
  return probe;
}

}  // namespace

bool DescentChain::enter(const SideState& left, const SideState& right) {
  const Probe l = identityOf(left);
  const Probe r = identityOf(right);
  for (const Level& level : chain_) {
    if (l.known && level.left.known && level.left.volume == l.volume && level.left.fileId == l.fileId) {
      return false;
    }
    if (r.known && level.right.known && level.right.volume == r.volume && level.right.fileId == r.fileId) {
      return false;
    }
  }
  chain_.push_back(Level{{l.known, l.volume, l.fileId}, {r.known, r.volume, r.fileId}});
  return true;
}

void DescentChain::leave() noexcept {
  if (!chain_.empty()) chain_.pop_back();
}

}  // namespace crvl
