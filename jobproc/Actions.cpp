#include "Actions.h"

#include "ObjectError.h"
#include "modError.h"

#include <qv/macros.h>

namespace MarrowjetUI {
namespace {

[[noreturn]] void RaiseOutOfRange() { RaiseError(kErrorSubscriptRange, WSTR("Subscript out of range")); }

}  // namespace

void Actions::Add(ActionRef objNew) noexcept {
  ReportFailures(WSTR("Actions::Add"), [&] { items_.push_back(std::move(objNew)); });
}

ActionRef Actions::Item(LONG vntIndexKey) noexcept {
  return ReportFailures(WSTR("Actions::GetItem"), [&] {
    if (!HasPosition(vntIndexKey)) RaiseOutOfRange();
    return items_[static_cast<size_t>(vntIndexKey - 1)];
  });
}

LONG Actions::Count() const noexcept { return static_cast<LONG>(items_.size()); }

void Actions::Remove(LONG vntIndexKey) noexcept {
  ReportFailures(WSTR("Actions::Remove"), [&] {
    if (!HasPosition(vntIndexKey)) RaiseOutOfRange();
    items_.erase(items_.begin() + (vntIndexKey - 1));
  });
}

std::vector<ActionRef> Actions::NewEnum() const noexcept {
  return ReportFailures(WSTR("Actions::NewEnum"), [&] { return items_; });
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
  ReportFailures(WSTR("Actions::MoveUp"), [&] { items_ = SwappedWithNext(static_cast<long long>(Index) - 1); });
}

void Actions::MoveDown(LONG Index) { items_ = SwappedWithNext(Index); }

void Actions::Clear() noexcept { items_.clear(); }

}  // namespace MarrowjetUI
