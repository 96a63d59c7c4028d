#include "Actions.h"

#include "ObjectError.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {
namespace {

[[noreturn]] void RaiseOutOfRange() { RaiseError(kErrorSubscriptRange, WSTR("Subscript out of range")); }

}  // namespace

void Actions::Add(ActionRef objNew) noexcept {
  try {
    items_.push_back(std::move(objNew));
  } catch (...) {
    ReportCaughtError(WSTR("Actions::Add"));
  }
}

ActionRef Actions::Item(LONG vntIndexKey) noexcept {
  try {
    if (!HasPosition(vntIndexKey)) RaiseOutOfRange();
    return items_[static_cast<size_t>(vntIndexKey - 1)];
  } catch (...) {
    ReportCaughtError(WSTR("Actions::GetItem"));
    return nullptr;
  }
}

LONG Actions::Count() const noexcept { return static_cast<LONG>(items_.size()); }

void Actions::Remove(LONG vntIndexKey) noexcept {
  try {
    if (!HasPosition(vntIndexKey)) RaiseOutOfRange();
    items_.erase(items_.begin() + (vntIndexKey - 1));
  } catch (...) {
    ReportCaughtError(WSTR("Actions::Remove"));
  }
}

std::vector<ActionRef> Actions::NewEnum() const noexcept {
  try {
    return items_;
  } catch (...) {
    ReportCaughtError(WSTR("Actions::NewEnum"));
    return {};
  }
}

// The new order is built whole and only then replaces the old one, so a failure on the way
// leaves the list as it was.
std::vector<ActionRef> Actions::SwappedWithNext(long long index) const {
  if (!HasPosition(index) || !HasPosition(index + 1)) RaiseOutOfRange();
  std::vector<ActionRef> rebuilt = items_;
  std::swap(rebuilt[static_cast<size_t>(index - 1)], rebuilt[static_cast<size_t>(index)]);
  return rebuilt;
}

void Actions::MoveUp(LONG Index) noexcept {
  try {
    items_ = SwappedWithNext(static_cast<long long>(Index) - 1);
  } catch (...) {
    ReportCaughtError(WSTR("Actions::MoveUp"));
  }
}

void Actions::MoveDown(LONG Index) { items_ = SwappedWithNext(Index); }

void Actions::Clear() noexcept { items_.clear(); }

}  // namespace MarrowjetUI
