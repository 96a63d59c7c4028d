#include "ServerLock.h"

#include <atomic>

namespace MarrowjetUI::ServerLock {
namespace {
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
}  // namespace

void ObjectCreated() noexcept { ++g_objects; }
void ObjectDestroyed() noexcept { --g_objects; }
void Lock() noexcept { ++g_locks; }
void Unlock() noexcept { --g_locks; }
bool InUse() noexcept { return g_objects > 0 || g_locks > 0; }

}  // namespace MarrowjetUI::ServerLock
