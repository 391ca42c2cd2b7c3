/* The plug-in libraries of Quillmere; QM_PLUGIN selects which one is built:
   1 spell checking, 2 export, 3 outline. */
#include <windows.h>

#include "version.h"

__declspec(dllexport) const char* QmPluginVersion(void) { return QMV_VERSION_STRING; }

#if QM_PLUGIN == 1
__declspec(dllexport) const char* QmPluginName(void) { return "Spell"; }

/* Word count as the status bar shows it: every CJK character is a word, a run
   of letters or digits is one word. */
__declspec(dllexport) int QmSpellCountWords(const wchar_t* text) {
  int words = 0;
  int inWord = 0;
  for (; text && *text; ++text) {
    wchar_t c = *text;
    if (c >= 0x4E00 && c <= 0x9FFF) {
      ++words;
      inWord = 0;
    } else if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
      if (!inWord) ++words;
      inWord = 1;
    } else {
      inWord = 0;
    }
  }
  return words;
}
#elif QM_PLUGIN == 2
__declspec(dllexport) const char* QmPluginName(void) { return "Export"; }

/* Plain-text export: LF becomes CR LF. Returns the length needed, without the
   terminator; writes only when it fits. */
__declspec(dllexport) int QmExportPlainText(const wchar_t* in, wchar_t* out, int outCount) {
  int needed = 0;
  for (const wchar_t* p = in; p && *p; ++p) needed += (*p == L'\n' && (p == in || p[-1] != L'\r')) ? 2 : 1;
  if (!out || outCount <= needed) return needed;
  for (const wchar_t* p = in; p && *p; ++p) {
    if (*p == L'\n' && (p == in || p[-1] != L'\r')) *out++ = L'\r';
    *out++ = *p;
  }
  *out = 0;
  return needed;
}
#elif QM_PLUGIN == 3
__declspec(dllexport) const char* QmPluginName(void) { return "Outline"; }

/* Heading level of a line written as "# Title", "## Title", ...; 0 for body text. */
__declspec(dllexport) int QmOutlineHeadingLevel(const wchar_t* line) {
  int level = 0;
  while (line && line[level] == L'#' && level < 6) ++level;
  return (level > 0 && line[level] == L' ') ? level : 0;
}
#else
#error "QM_PLUGIN must be 1, 2 or 3"
#endif
