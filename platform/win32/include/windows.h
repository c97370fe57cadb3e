// The Win32 subset that the deliverables call, for POSIX.  On the windows build the
// system's <windows.h> is used instead; nothing here is compiled there.
#pragma once
#include <win32compat/types.h>
#include <win32compat/winerror.h>
#include <win32compat/kernel32.h>
#include <win32compat/module.h>
#include <win32compat/resources.h>
#include <win32compat/user32.h>
#include <win32compat/gdi32.h>
#include <win32compat/advapi32.h>
