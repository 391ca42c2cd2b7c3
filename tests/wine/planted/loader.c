/* The comparison for the planted-DLL test: a program WITHOUT the installer's
   DLL search hardening that loads each DLL named on its command line with
   LoadLibraryW, as code that loads a DLL by name does. Prints, per name, the
   file that was loaded or "-". */
#include <stdio.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i < argc; ++i) {
    HMODULE module = LoadLibraryW(argv[i]);
    wchar_t path[MAX_PATH] = L"-";
    if (module) GetModuleFileNameW(module, path, MAX_PATH);
    wprintf(L"%ls\t%ls\n", argv[i], path);
  }
  return 0;
}
