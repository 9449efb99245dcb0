# setup.sh: sourced by play.sh and test.sh. Installs the Debian packages the project needs
# when any is missing, then configures the build folder given as $1 with CMake.

quorbel_packages=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libepoxy-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri libpng-dev
  xvfb xauth x11-utils xfonts-base xdotool imagemagick ffmpeg sox
  desktop-file-utils dpkg-dev  # the install test: the menu entry and the Debian package
  clang libclang-rt-14-dev  # libFuzzer, for scripts/fuzz.sh
)

# The browser build (scripts/web.sh) and its test in headless Chromium: installed only where the
# command is missing, since a machine may have them from elsewhere (a Node.js that brings its
# own npm conflicts with Debian's npm package).
quorbel_web_commands=(emcc:emscripten chromium:chromium node:nodejs npm:npm python3:python3)

# The test's driver of Chromium, from npm, into the browser build's folder (ignored by git).
quorbel_web_driver_version=1.65
quorbel_install_web_driver() {
  [ -d build-web/node/node_modules/playwright-core ] && return 0
  echo "Installing playwright-core $quorbel_web_driver_version (npm) into build-web/node/" >&2
  mkdir -p build-web/node
  npm install --prefix build-web/node --no-audit --no-fund --loglevel=error \
    "playwright-core@$quorbel_web_driver_version" >/dev/null
}

quorbel_install_packages() {
  local missing=()
  local package
  for package in "${quorbel_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  local pair
  for pair in "${quorbel_web_commands[@]}"; do
    command -v "${pair%%:*}" >/dev/null || missing+=("${pair#*:}")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

quorbel_configure() {
  local dir=$1 type=$2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DQUORBEL_WERROR=ON >/dev/null
}
