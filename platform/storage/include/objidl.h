// Structured storage, as <objidl.h> on Windows.
#pragma once
#include <storage/objidl.h>
