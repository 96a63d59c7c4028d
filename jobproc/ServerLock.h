// What keeps the library loaded: live objects and locks taken through IClassFactory::LockServer.
#pragma once

namespace MarrowjetUI::ServerLock {

void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;
void Lock() noexcept;
void Unlock() noexcept;
bool InUse() noexcept;

}  // namespace MarrowjetUI::ServerLock
