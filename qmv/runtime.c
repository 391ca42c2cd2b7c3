/* QMRuntime.dll: helpers shared by QMV.exe and its plug-ins. */
#include <windows.h>

#include "version.h"

__declspec(dllexport) const char* QmRtVersion(void) { return QMV_VERSION_STRING; }

/* CRC-32 (IEEE), used to check documents and backups. */
__declspec(dllexport) unsigned long QmRtCrc32(unsigned long crc, const void* data, size_t size) {
  const unsigned char* p = (const unsigned char*)data;
  crc = ~crc;
  while (size--) {
    crc ^= *p++;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320UL & (0UL - (crc & 1UL)));
  }
  return ~crc;
}

/* Reading time in minutes for a word count, rounded up. */
__declspec(dllexport) int QmRtReadingMinutes(int words, int wordsPerMinute) {
  if (words <= 0 || wordsPerMinute <= 0) return 0;
  return (words + wordsPerMinute - 1) / wordsPerMinute;
}
