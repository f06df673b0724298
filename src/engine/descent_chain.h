// Loop protection for descending into folder pairs: the folders on the current
// descent chain, by volume and file identity, so that a link back into an ancestor is
// never entered a second time.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/pair_scanner.h"

namespace crvl {

class DescentChain {
 public:
  // Pushes the pair when neither side's folder is already on the chain (compared per
  // side, for local sides only: other providers give no identity). Returns false, and
  // pushes nothing, when entering would repeat a folder of the chain. A folder whose
  // identity cannot be read (missing) is pushed without one.
  [[nodiscard]] bool enter(const SideState& left, const SideState& right) {
    return enter(left, right, platform::FolderIdentity{}, platform::FolderIdentity{});
  }
  // The same with the identities the pair's listings read from the folders they opened
  // (PairScanResult): a side whose listing told its identity is taken by it, any other
  // local side is looked up by its path.
  [[nodiscard]] bool enter(const SideState& left, const SideState& right, const platform::FolderIdentity& leftListed,
                           const platform::FolderIdentity& rightListed);
  // Pops the pair pushed by the last successful enter.
  void leave() noexcept;
  [[nodiscard]] size_t depth() const noexcept { return chain_.size(); }

 private:
  struct Level {
    platform::FolderIdentity left;
    platform::FolderIdentity right;
  };
  std::vector<Level> chain_;
};

// Enters on construction and leaves on destruction when entered.
class DescentScope {
 public:
  DescentScope(DescentChain& chain, const SideState& left, const SideState& right)
      : chain_(chain), entered_(chain.enter(left, right)) {}
  DescentScope(DescentChain& chain, const SideState& left, const SideState& right,
               const platform::FolderIdentity& leftListed, const platform::FolderIdentity& rightListed)
      : chain_(chain), entered_(chain.enter(left, right, leftListed, rightListed)) {}
  ~DescentScope() {
    if (entered_) chain_.leave();
  }
  DescentScope(const DescentScope&) = delete;
  DescentScope& operator=(const DescentScope&) = delete;
  [[nodiscard]] bool entered() const noexcept { return entered_; }

 private:
  DescentChain& chain_;
  bool entered_;
};

}  // namespace crvl
