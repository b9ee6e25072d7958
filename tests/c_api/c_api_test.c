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

  thrMutex *m = thrMutex_Create();
  thrMutex_Lock(m);
  thrMutex_Unlock(m);
  thrMutex_Destroy(m);
  return failures ? 1 : 0;
}
