// Structured storage entry points, as <objbase.h> on Windows.
#pragma once
#include <storage/objbase.h>
