#include "engine/descent_chain.h"

#include "platform/files.h"

namespace crvl {
namespace {

using platform::FolderIdentity;

FolderIdentity identityOf(const SideState& side, const FolderIdentity& listed) {
  FolderIdentity probe;
  if (side.kind != kProviderLocal) return probe;
  if (listed.known) return listed;
  probe.known = platform::fileIdentity(side.path, &probe.volume, &probe.fileId) == 0;
  return probe;
}

bool same(const FolderIdentity& a, const FolderIdentity& b) noexcept {
  return a.known && b.known && a.volume == b.volume && a.fileId == b.fileId;
}

}  // namespace

bool DescentChain::enter(const SideState& left, const SideState& right, const FolderIdentity& leftListed,
                         const FolderIdentity& rightListed) {
  const FolderIdentity l = identityOf(left, leftListed);
  const FolderIdentity r = identityOf(right, rightListed);
  for (const Level& level : chain_) {
    if (same(l, level.left) || same(r, level.right)) return false;
  }
  chain_.push_back(Level{l, r});
  return true;
}

void DescentChain::leave() noexcept {
  if (!chain_.empty()) chain_.pop_back();
}

}  // namespace crvl
