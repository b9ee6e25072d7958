#!/usr/bin/env bash
# Installs the build into a temporary prefix and builds a small C program
# against it twice: with find_package(keelwork CONFIG) and with pkg-config.
set -euo pipefail
build_dir=$1
generator=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null

mkdir "$work/consumer"
cat > "$work/consumer/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(keelwork CONFIG REQUIRED)
add_executable(consumer main.c)
target_link_libraries(consumer PRIVATE keelwork::keelwork)
CMAKE
cat > "$work/consumer/main.c" <<'C'
#include <keelwork/keelwork.h>
#include <string.h>
int main(void) {
  int *ids = xar_alloc(0, sizeof(int), 8);
  int id = 42;
  xar_append(&ids, 1, &id);
  const char *text = vex_sprintf(NULL, "%d:%s", ids[0], dbg_err_string(E_CANT_OPEN));
  xar_free(&ids);
  return strcmp(text, "42:E_CANT_OPEN") == 0 ? 0 : 1;
}
C
cmake -S "$work/consumer" -B "$work/consumer/build" -G "$generator" \
      -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib" "$work/consumer/build/consumer"

if command -v pkg-config >/dev/null 2>&1; then
  flags=$(PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig" pkg-config --cflags --libs keelwork)
  cc "$work/consumer/main.c" $flags -o "$work/pc"
  LD_LIBRARY_PATH="$work/prefix/lib" "$work/pc"
fi
test -x "$work/prefix/bin/kw"
echo "install: headers, library, CMake package, keelwork.pc and kw work from $work/prefix"
