#pragma once
#include <win32compat/types.h>
