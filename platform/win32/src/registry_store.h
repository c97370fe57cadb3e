// The files behind the registry's root keys: where they live, the lock that serialises
// processes, and the atomic write.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "registry_tree.h"

namespace w32c {

enum RegRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers, kRootCount };

// "HKEY_CURRENT_USER" ...
const char16_t* RegRootName(int root);
// The directory of the files, from the environment at the time of the call.
std::string RegistryDirectory();

// Runs `read` on the root's tree as the file holds it now, under a shared lock.
LONG ReadRoot(int root, const std::function<LONG(const RegKey&)>& read);
// Runs `change` on a fresh read of the file under an exclusive lock; when it sets
// *changed (and returns ERROR_SUCCESS) the file is written back before the lock goes.
LONG ChangeRoot(int root, const std::function<LONG(RegKey&, bool* changed)>& change);

}  // namespace w32c
