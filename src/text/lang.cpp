// The locale table, the session language and its determination from the
// environment, file-language switching and the MT-safe guards.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "keelwork/btk_os.h"
#include "keelwork/btk_unicode.h"
#include "keelwork/debug.h"
#include "keelwork/lang.h"
#include "keelwork/runmode.h"
#include "keelwork/thread.h"
#include "keelwork/vexformat.h"
#include "keelwork/xar.h"
#include "text/text_internal.h"

namespace kw::text {
namespace {

// ---- static data ---------------------------------------------------------------

struct LocaleRow {
  const char *name;
  int id;
  int env;
};

constexpr LocaleRow kBuiltinRows[] = {
#include "text/locale_rows.inc"
};

struct LanguageInfo {
  int code_page;
  bool multibyte;
  int runtime;
  const char *locales[6];
};

constexpr LanguageInfo kLanguages[] = {
#include "text/languages.inc"
};
constexpr int kLanguageCount = sizeof kLanguages / sizeof kLanguages[0];

// Keywords of the language table file.
struct Keyword {
  const char *word;
  int id;
};
constexpr Keyword kKeywords[] = {
    {"ENGLISH", 0},          {"C", 0},       {"JAPANESE", 1},   {"FRENCH", 2},
    {"GERMAN", 3},           {"RUSSIAN", 4}, {"ITALIAN", 5},    {"SPANISH", 7},
    {"GENERIC_LANG", 6},     {"KOREAN", 8},  {"CHINESE_TW", 9}, {"CHINESE_CN", 10},
    {"GENERIC_LANG_SB", 11}, {"HEBREW", 12}, {"GREEK", 13},     {"TURKISH", 14},
    {"CZECH", 15},           {"POLISH", 16}, {"HUNGARIAN", 17}, {"SLOVENIAN", 18},
    {"PORTUGUESE", 19},
};

// POSIX language codes and the Windows language identifiers they stand
// for, so that the user's locale can be looked up in the table.
struct UserLanguage {
  const char *code;  // language, or language_TERRITORY where it matters
  int lcid;
};
constexpr UserLanguage kUserLanguages[] = {
    {"zh_TW", 0x0404}, {"zh_HK", 0x0c04}, {"zh_SG", 0x1004}, {"zh_MO", 0x1404}, {"zh", 0x0804},
    {"ja", 0x0411},    {"ko", 0x0412},    {"fr", 0x040c},    {"de", 0x0407},    {"he", 0x040d},
    {"iw", 0x040d},    {"it", 0x0410},    {"ru", 0x0419},    {"es", 0x040a},    {"el", 0x0408},
    {"tr", 0x041f},    {"cs", 0x0405},    {"pl", 0x0415},    {"hu", 0x040e},    {"sl", 0x0424},
    {"pt", 0x0416},    {"sk", 0x041b},    {"en", 0x0409},    {"C", 0x0409},     {"POSIX", 0x0409},
};

// ---- the locale table ------------------------------------------------------------

struct LocaleRecord {
  char name[64];
  int32_t id;
  int32_t env;
};

LocaleRecord *g_table = nullptr;  // an xar
int g_table_once = 0;
std::atomic<int> g_table_count{0};
bool g_creating_table = false;
bool g_file_read = false;

void append_row(const char *name, int id, int env) {
  LocaleRecord r{};
  std::size_t len = std::min(std::strlen(name), sizeof r.name - 1);
  std::memcpy(r.name, name, len);
  r.id = id;
  r.env = env;
  xar_append(&g_table, 1, &r);
}

void create_table() {
  g_table = static_cast<LocaleRecord *>(xar_alloc(0, sizeof(LocaleRecord), 8));
  if (!g_table) {
    dbg_err_syserr("lang_locale_init:", "Mem alloc failed for locale_table!");
    return;
  }
  for (const LocaleRow &r : kBuiltinRows) append_row(r.name, r.id, r.env);
  g_creating_table = true;
  langLoadExtTbl("vex_i18n.res", 1);
  g_creating_table = false;
  g_table_count.store(xar_count(&g_table));
}

// The table, created on first use (once, even under concurrent first use).
LocaleRecord *table() {
  btkThrSetupInitOnce(&g_table_once, create_table);
  return g_table;
}

const LocaleRecord *find_by_id(int32_t id, bool env_only) {
  LocaleRecord *t = table();
  int n = xar_count(&t);
  for (int i = 0; i < n; ++i)
    if (t[i].id == id && (!env_only || t[i].env)) return &t[i];
  return nullptr;
}

// Splits a line of the table file at blanks and tabs.
int split_words(char *line, char **words, int max) {
  int n = 0;
  char *save = nullptr;
  for (char *w = strtok_r(line, " \t\r\n", &save); w && n < max;
       w = strtok_r(nullptr, " \t\r\n", &save))
    words[n++] = w;
  return n;
}

void read_table_file(FILE *f, const char *file) {
  enum { kSeekLocale, kSeekWindows, kRows } state = kSeekLocale;
  char line[260];
  while (btk_fgets(line, sizeof line, f)) {
    if (line[0] == '!') continue;
    if (state == kSeekLocale) {
      const char *b = std::strchr(line, '[');
      if (b && std::strncmp(b, "[LOCALE]", 8) == 0) state = kSeekWindows;
      continue;
    }
    if (state == kSeekWindows) {
      const char *b = std::strchr(line, '{');
      if (b && std::strncmp(b, "{WINDOWS}", 9) == 0) {
        state = kRows;
        continue;
      }
      if (std::strpbrk(line, "[]")) return;
      continue;
    }
    if (std::strpbrk(line, "[]{}")) return;
    char *words[3];
    if (split_words(line, words, 3) < 2) continue;
    const Keyword *k =
        std::find_if(std::begin(kKeywords), std::end(kKeywords),
                     [&](const Keyword &kw) { return !std::strcmp(kw.word, words[1]); });
    if (k == std::end(kKeywords)) {
      vex_printf("Unrecognized language \"%s\" in %s.\n", words[1], file);
      continue;
    }
    append_row(words[0], k->id, 0);
  }
}

// ---- process-wide language state ---------------------------------------------------

std::atomic<int> g_language{-1};
std::atomic<int> g_preset{0};
std::atomic<int> g_japanese_conv{0};
std::atomic<int> g_locale_determined{0};
std::atomic<int> g_generic_checked{0};
std::atomic<int> g_generic_mb{0};
std::atomic<int> g_force_english{0};
std::atomic<int> g_numeric_c{1};
std::atomic<int> g_propagate{1};
std::atomic<int> g_ugc_lang_id{-1};
char g_fail_locale[260];
char g_utf_locale[260];
bool g_has_fail_locale = false;
bool g_has_utf_locale = false;

void record(char *buffer, bool &flag, const std::string &value) {
  std::size_t len = std::min(value.size(), std::size_t{259});
  std::memcpy(buffer, value.data(), len);
  buffer[len] = 0;
  flag = true;
}

std::string upper(const char *s) {
  std::string u = s ? s : "";
  for (char &c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

void set_c_locale() { std::setlocale(LC_ALL, "C"); }

bool allow_unsupported() { return btk_getenv("ALLOW_UNSUPPORTED_LOCALE") != nullptr; }

// The Windows identifier of the user's language: the language code of
// LC_ALL, then LC_MESSAGES, then LANG; 0 when none is set or known.
int user_default_lcid() {
  const char *value = nullptr;
  for (const char *var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    value = btk_getenv(var);
    if (value && *value) break;
    value = nullptr;
  }
  if (!value) return 0;
  std::string v = value;
  std::string lang = v.substr(0, v.find_first_of("_.@"));
  std::string territory;
  if (v.size() > lang.size() && v[lang.size()] == '_')
    territory = v.substr(0, v.find_first_of(".@"));
  for (const UserLanguage &u : kUserLanguages)
    if (territory == u.code || lang == u.code) return u.lcid;
  return 0;
}

}  // namespace

// ---- shared helpers ------------------------------------------------------------------

void check_guard(const char *name) {
  if (IsInMTSafeSet(name))
    dbg_err_crash("AbortIfInMTSafeSet",
                  "The program uses static/global data (%s) in an unproper way", name);
}

bool japanese_wchar_conv() { return g_japanese_conv.load(std::memory_order_relaxed) != 0; }

bool set_process_locale(int category, const char *name) {
  if (!name) return false;
  if (std::setlocale(category, name)) return true;
  int id = lang_id_by_name(name);
  if (id < 0 || id >= kLanguageCount) return false;
  for (const char *candidate : kLanguages[id].locales) {
    if (!candidate) break;
    if (std::setlocale(category, candidate)) return true;
  }
  return false;
}

// Determines the language from the environment; see get_language.
int set_local() {
  set_language(kEnglish);
  std::string default_name = upper(lang_name_by_id(kEnglish));
  const char *env = vex_get_lang_env();
  int id = 0;
  if (!env) {
    if (get_run_mode() != 0)
      vex_printf("\nWARNING: LANG environment is not set. Using default (%s).\n",
                 default_name.c_str());
  } else {
    std::string value = env;  // the environment may change below
    if (upper(value.c_str()).find(".UTF") != std::string::npos) {
      record(g_utf_locale, g_has_utf_locale, value);
      set_c_locale();
      set_language(kEnglish);
    }
    id = lang_id_by_name(value.c_str());
    if (id == -1) {
      if (std::setlocale(LC_ALL, value.c_str()) || allow_unsupported()) {
        set_language(get_generic_lang_id());
      } else {
        record(g_fail_locale, g_has_fail_locale, value);
        set_c_locale();
        set_language(kEnglish);
      }
    } else if (id == -2 || g_force_english.load()) {
      set_c_locale();
      set_language(kEnglish);
    } else {
      set_language(id);
      if (!set_process_locale(LC_ALL, value.c_str()) && !allow_unsupported()) {
        record(g_fail_locale, g_has_fail_locale, value);
        set_c_locale();
        set_language(kEnglish);
      }
    }
  }
  if (g_numeric_c.load()) std::setlocale(LC_NUMERIC, "C");
  check_guard("_locale_determined_");
  g_locale_determined.store(1);
  return id;
}

}  // namespace kw::text

using namespace kw::text;

// ---- the session language ------------------------------------------------------------

KW_API int32_t get_language(void) {
  if (!g_preset.load(std::memory_order_acquire)) set_local();
  return g_language.load(std::memory_order_relaxed);
}

KW_API int32_t get_language_for_pfa(void) {
  return g_locale_determined.load() ? get_language() : -1;
}

KW_API int32_t set_language(int32_t id) {
  check_guard("preset_flag");
  g_preset.store(1, std::memory_order_release);
  check_guard("language");
  int32_t old = g_language.exchange(id);
  check_guard("lang_is_japanese");
  g_japanese_conv.store(id == kJapanese);
  // The runtime's single-character conversions follow the same encoding.
  btkLangSetCurrent(id >= 0 && id < kLanguageCount ? kLanguages[id].runtime : BTK_LANG_ENGLISH);
  return old;
}

KW_API int set_japanese_for_wchar_conv(int flag) {
  check_guard("lang_is_japanese");
  return g_japanese_conv.exchange(flag);
}

KW_API int get_japanese_for_wchar_conv(void) { return g_japanese_conv.load(); }

KW_API int32_t set_lang_env(void) {
  set_c_locale();
  set_language(kEnglish);
  return 0;
}

KW_API int32_t reset_language(void) { return override_locale(kEnglish); }

KW_API int32_t override_locale(int32_t id) {
  const char *name = lang_env_by_id(id);
  btk_putenv(("VEX_LANG=" + std::string(name)).c_str());
  btk_putenv(("LANG=" + std::string(name)).c_str());
  return set_local();
}

KW_API int32_t lang_set_force_english(void) {
  btk_putenv("LANG=C");
  btk_putenv("LC_ALL=C");
  btk_putenv("VEX_LANG=C");
  set_c_locale();
  set_language(kEnglish);
  g_numeric_c.store(1);
  g_force_english.store(0);
  int32_t id = set_local();
  g_force_english.store(1);
  return id;
}

KW_API int32_t lang_get_force_english(void) { return g_force_english.load(); }

KW_API int32_t lang_use_native_lc_numeric(void) {
  g_numeric_c.store(0);
  return 0;
}

KW_API int32_t lang_get_use_native_lc_numeric(void) { return g_numeric_c.load(); }

KW_API int32_t set_lang_propagate(int32_t flag) { return g_propagate.exchange(flag); }

KW_API int32_t set_ugc_lang_id(int32_t id) { return g_ugc_lang_id.exchange(id); }

KW_API int32_t get_ugc_lang_id(void) { return g_ugc_lang_id.load(); }

KW_API const char *GetLocalefailFlag(void) { return g_has_fail_locale ? g_fail_locale : nullptr; }

KW_API const char *GetLocaleUtfFlag(void) { return g_has_utf_locale ? g_utf_locale : nullptr; }

KW_API const char *vex_get_lang_env(void) {
  if (const char *v = btk_getenv("VEX_LANG")) {
    if (lang_id_by_name(v) != -2) {
      btk_putenv(("LANG=" + std::string(v)).c_str());
      return btk_getenv("VEX_LANG");
    }
    vex_printf("WARNING: VEX_LANG=%s is an invalid setting.\n", v);
  }
  if (const char *v = btk_getenv("LANG")) return v;
  int lcid = user_default_lcid();
  if (!lcid) return nullptr;
  char name[16];
  std::snprintf(name, sizeof name, "0x%.4x", lcid);
  int id = lang_id_by_name(name);
  if (id < 0) return nullptr;
  static char env_name[64];
  std::snprintf(env_name, sizeof env_name, "%s", lang_env_by_id(id));
  btk_putenv(("LANG=" + std::string(env_name)).c_str());
  return env_name;
}

KW_API int32_t get_generic_lang_id(void) {
  if (!g_generic_checked.load()) {
    const char *v = btk_getenv("CUSTOM_LOCALE_IS_MULTIBYTE");
    if (v && *v && std::strlen(v) < 32 && btk_strcasecmp(v, "true") == 0) {
      check_guard("generic_mb");
      g_generic_mb.store(1);
    }
    check_guard("generic_mb_checked");
    g_generic_checked.store(1);
  }
  return g_generic_mb.load() ? kGenericMultibyte : kGenericSingleByte;
}

KW_API int get_generic_lang_text_dir(char *dst) {
  if (!dst || !is_generic_language(get_language())) return 0;
  const char *v = btk_getenv("CUSTOM_LOCALE_TEXT_DIR");
  if (!v || !*v || std::strlen(v) >= 32) return 0;
  std::strcpy(dst, v);
  return 1;
}

// ---- file languages --------------------------------------------------------------------

namespace {

// Switches an English session to the multibyte language `id` for a file;
// false when the locale is not available.
bool switch_to_multibyte(int32_t id) {
  static const struct {
    int id;
    const char *locale;
  } kSwitch[] = {{1, "japanese"}, {8, "korean"}, {9, "cht"}, {10, "chs"}};
  bool ok = true;
  if (id != kGenericMultibyte) {
    ok = false;
    for (const auto &s : kSwitch) {
      if (s.id != id) continue;
      ok = set_process_locale(LC_ALL, s.locale);
      if (ok) set_language(id);
    }
  }
  std::setlocale(LC_NUMERIC, "C");
  if (!ok) {
    set_c_locale();
    set_language(kEnglish);
  }
  return ok;
}

}  // namespace

KW_API int set_ugc_ret_lang_env(int32_t id) {
  int32_t current = get_language();
  if (!is_valid_language(id) || id == current) return 1;
  if (current == kEnglish) {
    if (!is_multibyte_language(id)) return 1;
    return switch_to_multibyte(id) ? 1 : 0;
  }
  if (id == kEnglish) return 1;
  vex_printf(
      "Warning:: Loading a non-english file into another non-english session\n"
      "Data integrity is not guaranteed\n");
  return 0;
}

KW_API int set_ugc_save_lang_env(int32_t id) {
  int32_t current = get_language();
  if (!is_valid_language(id) || id == current) {
    set_ugc_lang_id(is_valid_language(id) ? id : current);
    return 1;
  }
  if (current != kEnglish) {
    if (id == kEnglish) {
      set_ugc_lang_id(current);
      return 1;
    }
    vex_printf(
        "Warning:: A non-english file is saved under a non-english session\n"
        "Data integrity is not guaranteed\n");
    set_ugc_lang_id(g_propagate.load() ? current : id);
    return 1;
  }
  set_ugc_lang_id(id);
  if (!is_multibyte_language(id)) return 1;
  return switch_to_multibyte(id) ? 1 : 0;
}

// ---- the locale table --------------------------------------------------------------------

KW_API int32_t lang_id_by_name(const char *name) {
  if (!name) return -1;
  const auto *p = reinterpret_cast<const unsigned char *>(name);
  while (*p && *p <= 0x20) ++p;
  if (!*p) return -2;
  LocaleRecord *t = table();
  int n = xar_count(&t);
  for (int i = 0; i < n; ++i)
    if (btk_strcasecmp(t[i].name, name) == 0) return t[i].id;
  return -1;
}

KW_API const char *lang_name_by_id(int32_t id) {
  const LocaleRecord *r = find_by_id(id, false);
  return r ? r->name : "";
}

KW_API const char *lang_env_by_id(int32_t id) {
  const LocaleRecord *r = find_by_id(id, true);
  return r ? r->name : "";
}

KW_API int is_valid_language(int32_t id) { return find_by_id(id, false) != nullptr; }

KW_API int lang_init(int append) { return langLoadExtTbl("vex_i18n.res", append); }

KW_API int langLoadExtTbl(const char *file, int append) {
  if (!file) return -1;
  FILE *f = btk_fopen(file, "r");
  if (!f && !std::strchr(file, '/') && !std::strchr(file, '\\')) {
    if (const char *dir = btk_getenv("VEX_DIRECTORY")) {
      std::string path = std::string(dir) + '/' + "text" + '/' + file;
      f = btk_fopen(path.c_str(), "r");
    }
  }
  if (!f) {
    if (!g_creating_table) vex_printf("\nlangLoadExtTbl: File \"%s\" could not be opened.\n", file);
    return -1;
  }
  // During creation the table exists already; afterwards make sure it does.
  if (!g_creating_table) table();
  if (!append) {
    // Replacing the rows reads the file again: emptying the table without
    // reading would leave no language at all.
    xar_resize(&g_table, 0);
    read_table_file(f, file);
    g_file_read = true;
  } else if (!g_file_read) {
    g_file_read = true;
    read_table_file(f, file);
  }
  g_table_count.store(xar_count(&g_table));
  btk_fclose(f);
  return 0;
}

// ---- language properties -------------------------------------------------------------------

KW_API int is_multibyte_language(int32_t id) {
  return id >= 0 && id < kLanguageCount && kLanguages[id].multibyte;
}

KW_API int is_generic_language(int32_t id) {
  return id == kGenericMultibyte || id == kGenericSingleByte;
}

KW_API int is_righttoleft_language(int32_t id) { return id == kHebrew; }

KW_API int32_t lang_get_code_page(int32_t id) {
  if (id == -1) id = get_language();
  return id >= 0 && id < kLanguageCount ? kLanguages[id].code_page : 0;
}

KW_API int iswrtol(int wc) { return wc >= 0x05D0 && wc <= 0x05EA; }

KW_API int isrtol(int byte, int check) {
  if (byte < 0xE0 || byte > 0xFA) return 0;
  return check == 1 ? get_language() == kHebrew : 1;
}

// ---- MT-safe guards -------------------------------------------------------------------------

#define KW_GUARD_PAIR(name)                                                        \
  KW_API int start_mt_safe_mode_for_##name(void) { return AddToMTSafeSet(#name); } \
  KW_API int end_mt_safe_mode_for_##name(void) { return RemoveFromMTSafeSet(#name); }

KW_GUARD_PAIR(lang_is_japanese)
KW_GUARD_PAIR(preset_flag)
KW_GUARD_PAIR(language)
KW_GUARD_PAIR(_locale_determined_)
KW_GUARD_PAIR(generic_mb_checked)
KW_GUARD_PAIR(generic_mb)

#undef KW_GUARD_PAIR
