// The runtime language, its code pages, and the Unicode-mode switch.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "keelwork/btk_unicode.h"

namespace {

std::atomic<int> g_language{BTK_LANG_ENGLISH};
std::atomic<int> g_unicode{-1};  // -1: not yet read from the environment

struct LangRow {
  int native;  // Windows code page
  int euc;     // EUC code page, 0 for none
};

// Indexed by BTK_LANG_*.
constexpr LangRow kLanguages[] = {
    {1252, 0},             // English
    {1252, 0},             // Western
    {932, BTK_CP_EUC_JP},  // Japanese
    {949, BTK_CP_EUC_KR},  // Korean
    {950, 0},              // Chinese, traditional
    {936, BTK_CP_EUC_CN},  // Chinese, simplified
    {1251, 0},             // Cyrillic
    {28598, 0},            // Hebrew
    {1253, 0},             // Greek
    {1254, 0},             // Turkish
    {1250, 0},             // Central European
};
constexpr int kLanguageCount = sizeof kLanguages / sizeof kLanguages[0];

const LangRow *row(int32_t lang) {
  if (lang == -1) lang = g_language.load(std::memory_order_relaxed);
  return lang >= 0 && lang < kLanguageCount ? &kLanguages[lang] : nullptr;
}

}  // namespace

KW_API int32_t btkLangGetCurrent(void) { return g_language.load(std::memory_order_relaxed); }

KW_API int32_t btkLangSetCurrent(int32_t lang) {
  if (lang < 0 || lang >= kLanguageCount) return BTK_UNI_E_ARG;
  return g_language.exchange(lang);
}

KW_API int32_t btkLangNativeEncoding(int32_t lang) {
  const LangRow *r = row(lang);
  return r ? r->native : 0;
}

KW_API int32_t btkLangEucEncoding(int32_t lang) {
  const LangRow *r = row(lang);
  return r ? r->euc : 0;
}

KW_API int btkUnicodeIsEnabled(void) {
  int v = g_unicode.load(std::memory_order_acquire);
  if (v >= 0) return v;
  const char *env = std::getenv("KEELWORK_UNICODE");
  int from_env = env && std::strcmp(env, "0") == 0 ? 0 : 1;
  // A setter that ran meanwhile wins over the environment.
  if (g_unicode.compare_exchange_strong(v, from_env)) return from_env;
  return v;
}

KW_API int btkUnicodeSetEnabled(int flag) {
  int old = g_unicode.exchange(flag ? 1 : 0);
  if (old < 0) {
    const char *env = std::getenv("KEELWORK_UNICODE");
    old = env && std::strcmp(env, "0") == 0 ? 0 : 1;
  }
  return old;
}
