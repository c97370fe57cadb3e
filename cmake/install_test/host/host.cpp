// A host built against the installed package: it uses the stand-in's global memory as a
// caller of the deliverables does.
#include <windows.h>

#include <cstdio>

int main() {
  SetLastError(ERROR_FILE_NOT_FOUND);
  if (GetLastError() != ERROR_FILE_NOT_FOUND) return 1;
  std::printf("host ok\n");
  return 0;
}
