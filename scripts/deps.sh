# Sourced by run.sh and test.sh: installs the Debian packages the build needs.
BUILD_PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libvips-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev qt6-serialport-dev
  libpotrace-dev libpolyclipping-dev hershey-fonts-data libhersheyfont-dev"
# The fuzz targets need clang and its runtime; the locale tests need a German locale; the
# window titles and placement are checked on an X server (xvfb-run, xprop); the picture tests
# make their pictures with ImageMagick (/usr/bin/convert).
TEST_PACKAGES="clang libclang-rt-14-dev locales xvfb x11-utils imagemagick"
# The Windows build of the core, the command line and their tests, run under Wine.
WINDOWS_PACKAGES="g++-mingw-w64-x86-64-posix wine wine64 googletest"

ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  elif command -v sudo >/dev/null 2>&1; then
    sudo apt-get update -qq && sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  else
    echo "Please install these Debian packages and run again: ${missing[*]}" >&2
    exit 1
  fi
}

# The number tests switch the program to a German locale to prove that "," never reaches a
# job; generate that locale when it is missing (best effort: the tests say so when it is).
ensure_german_locale() {
  locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true
  elif command -v sudo >/dev/null 2>&1; then
    sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true
  fi
}
