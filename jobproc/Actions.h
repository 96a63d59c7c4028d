// The ordered list of a script's actions, positions counted from 1.
#pragma once
#include <vector>

#include "IAction.h"

namespace MarrowjetUI {

class Actions {
 public:
  void Add(ActionRef objNew) noexcept;
  // The action at a position, or null (logged) for a position outside the list.
  ActionRef Item(LONG vntIndexKey) noexcept;
  LONG Count() const noexcept;
  void Remove(LONG vntIndexKey) noexcept;
  // The actions in list order, as they stand now.
  std::vector<ActionRef> NewEnum() const noexcept;
  // Swaps the actions at Index - 1 and Index; a position without an upper neighbour is logged.
  void MoveUp(LONG Index) noexcept;
  // Swaps the actions at Index and Index + 1. A position without a lower neighbour raises an
  // error for the caller's handler to log.
  void MoveDown(LONG Index);
  void Clear() noexcept;

 private:
  bool HasPosition(long long index) const { return index >= 1 && index <= Count(); }
  std::vector<ActionRef> SwappedWithNext(long long index) const;

  std::vector<ActionRef> items_;
};

}  // namespace MarrowjetUI
