/* A DLL that leaves a trace when loaded: on attach it appends its own file
   name as a line to the file named by QM_PLANTED_MARKER. Planted beside a
   program under the name of a DLL that program may load, it shows the load. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t marker[MAX_PATH];
  DWORD n = GetEnvironmentVariableW(L"QM_PLANTED_MARKER", marker, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  char name[MAX_PATH + 2];
  DWORD len = GetModuleFileNameA(self, name, MAX_PATH);
  name[len++] = '\n';
  DWORD written;
  WriteFile(file, name, len, &written, NULL);
  CloseHandle(file);
  return TRUE;
}
