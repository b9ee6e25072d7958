# Sourced by the scripts of this folder: makes sure the build tools are
# present. Missing Debian packages are installed when running as root;
# otherwise the command that installs them is printed and the script stops.
kw_need_packages() {
  local missing=()
  command -v cmake >/dev/null 2>&1 || missing+=(cmake)
  command -v ninja >/dev/null 2>&1 || missing+=(ninja-build)
  command -v g++ >/dev/null 2>&1 || missing+=(g++)
  [ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
  [ -f /usr/include/gmock/gmock.h ] || missing+=(libgmock-dev)
  [ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
  for pkg in "$@"; do
    case $pkg in
      clang) command -v clang++ >/dev/null 2>&1 || missing+=(clang) ;;
      libclang-rt-14-dev) ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 || missing+=(libclang-rt-14-dev) ;;
      libicu-dev) [ -f /usr/include/unicode/ustring.h ] || missing+=(libicu-dev) ;;
      ccache) command -v ccache >/dev/null 2>&1 || missing+=(ccache) ;;
    esac
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "== installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null && apt-get install -y -qq "${missing[@]}" >/dev/null || {
      echo "could not install: ${missing[*]}" >&2
      return 1
    }
  else
    echo "missing packages: ${missing[*]}" >&2
    echo "install them with:  sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
}
