/* Calls a few functions of the library from C through the umbrella header. */
#include <keelwork/keelwork.h>
#include <stdio.h>
#include <string.h>

static int failures;

static void check(int ok, const char *what) {
  if (!ok) {
    fprintf(stderr, "c_api: %s failed\n", what);
    ++failures;
  }
}

int main(void) {
  int *ids = xar_alloc(0, sizeof(int), 4);
  int values[3] = {3, 5, 7};
  check(xar_append(&ids, 3, values) == 0, "xar_append");
  check(xar_count(&ids) == 3 && ids[2] == 7, "xar_count");
  xar_free(&ids);
  check(ids == NULL, "xar_free");

  char *block = getmem(32);
  memcpy(block, "keelwork", 9);
  check(getmem_area_size(block) == 32, "getmem_area_size");
  relmem(&block);
  check(block == NULL, "relmem");

  char text[64];
  btk_snprintf(text, sizeof text, "%s:%d", "c", 11);
  check(strcmp(text, "c:11") == 0, "btk_snprintf");
  check(strcmp(vex_sprintf(NULL, "%ws!", u"wide"), "wide!") == 0, "vex_sprintf");
  check(strcmp(dbg_err_string(E_CANT_OPEN), "E_CANT_OPEN") == 0, "dbg_err_string");
  check(get_run_mode() == 0 && user_run_mode() == 1, "run mode");

  kw_wchar line[260] = u"${X} and ${Y}";
  check(trl_define_substitution(u"X", u"x") == E_NO_ERROR, "trl_define_substitution");
  trl_substitute_variables(line, 1);
  check(line[0] == u'x' && line[1] == u' ', "trl_substitute_variables");

  thrMutex *m = thrMutex_Create();
  thrMutex_Lock(m);
  thrMutex_Unlock(m);
  thrMutex_Destroy(m);
  return failures ? 1 : 0;
}
