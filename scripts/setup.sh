# setup.sh: sourced by play.sh, test.sh and the scripts. Installs the Debian packages a command
# needs when any is missing, and configures and builds a build folder with CMake.

# The Debian packages, by what needs them. play.sh installs the show's set and its mode's
# (recording where there is no display, web for --web); test.sh and fuzz.sh all of them; soak.sh,
# golden.sh and bench.sh the show's and the developers' build's (quorbel_prepare).
# The show: the compiler, the build tools and the libraries it links and loads.
quorbel_packages_show=(
  cmake ninja-build g++ pkg-config
  libsdl2-dev libepoxy-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri libpng-dev
)
# Recording the show to a video, where there is no display to play it on.
quorbel_packages_recording=(ffmpeg)
# The browser build (scripts/web.sh) and the server play.sh --web runs: commands only (below).
quorbel_packages_web=()
# The developers' build (quorbel_configure): the test suites' library, which its configure
# requires, and the benchmarks'.
quorbel_packages_develop=(libgtest-dev libgmock-dev libbenchmark-dev)
# The rest of the test bench: Xvfb and its tools, the sound and picture checks, the install
# test's validators (menu entry, Debian package, AppStream, manual pages), libFuzzer, Wine's
# Direct3D 9 with the compiler for the Windows replayer and the Windows build (scripts/wine_check.sh,
# scripts/windows.sh and its zip), and a sound server whose null sink the Windows show plays into.
quorbel_packages_tests=(
  xvfb xauth x11-utils xfonts-base xdotool imagemagick ffmpeg sox
  desktop-file-utils dpkg-dev lintian appstream help2man man-db
  clang libclang-rt-14-dev
  wine64 gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64 zip unzip pulseaudio pulseaudio-utils
)

# Commands, as command:package, installed only where the command is missing, since a machine may
# have them from elsewhere (a Node.js that brings its own npm conflicts with Debian's npm
# package). The browser test needs the browser build's too.
quorbel_commands_show=() quorbel_commands_recording=() quorbel_commands_develop=()
quorbel_commands_web=(emcc:emscripten python3:python3)
quorbel_commands_tests=(emcc:emscripten python3:python3 chromium:chromium firefox-esr:firefox-esr node:nodejs npm:npm)

# The tests' tools from npm, as tests/platform/web/package-lock.json pins them, into the browser build's
# folder (ignored by git): Chromium's driver (playwright-core), Firefox's over WebDriver BiDi
# (puppeteer-core; it fetches no browser), the accessibility rules the page is checked with
# (axe-core), and the page's checks (TypeScript, ESLint). Installed again when the lock changes.
quorbel_install_web_driver() {
  local node=build-web/node
  if cmp -s tests/platform/web/package-lock.json "$node/package-lock.json" && [ -f "$node/node_modules/.package-lock.json" ]; then
    return 0
  fi
  echo "Installing the tests' tools (npm ci, tests/platform/web/package-lock.json) into $node/" >&2
  mkdir -p "$node"
  cp tests/platform/web/package.json tests/platform/web/package-lock.json "$node/"
  npm ci --prefix "$node" --no-audit --no-fund --loglevel=error >/dev/null
}

# quorbel_install_packages [SET...]: installs what is missing of the sets named (show,
# recording, web, develop, tests); without a name, of all of them.
quorbel_install_packages() {
  local sets=("$@")
  [ ${#sets[@]} -eq 0 ] && sets=(show recording web develop tests)
  local missing=() set package pair
  for set in "${sets[@]}"; do
    case $set in show | recording | web | develop | tests) ;; *)
      echo "setup.sh: no package set '$set' (show, recording, web, develop, tests)" >&2
      return 1 ;;
    esac
    local packages="quorbel_packages_$set[@]" commands="quorbel_commands_$set[@]"
    for package in "${!packages}"; do
      dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
    done
    for pair in "${!commands}"; do
      command -v "${pair%%:*}" >/dev/null || missing+=("${pair#*:}")
    done
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  # One name once, though two sets hold it.
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  echo "Installing: ${missing[*]}" >&2
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# quorbel_configure DIR TYPE: the developers' build, everything in it and warnings as errors.
quorbel_configure() {
  local dir=$1 type=$2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DQUORBEL_WERROR=ON -DBUILD_TESTING=ON >/dev/null
}

# quorbel_configure_viewer DIR: the programs alone, optimised, for watching: no tests or
# benchmarks, and a newer compiler's new warning does not stop the build.
quorbel_configure_viewer() {
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORBEL_WERROR=OFF -DBUILD_TESTING=OFF >/dev/null
}

# quorbel_prepare "SET..." DIR TYPE TARGET...: what a script runs on: the package sets named
# installed, DIR configured as the developers' build of TYPE, the targets built in it (the
# compiler's output kept in DIR/prepare.log, and its end shown when the build fails), and Mesa's
# shader cache in DIR rather than under the user's home.
quorbel_prepare() {
  local sets dir=$2 type=$3
  read -ra sets <<<"$1"
  shift 3
  quorbel_install_packages "${sets[@]}"
  quorbel_configure "$dir" "$type"
  if ! cmake --build "$dir" -j"$(nproc)" --target "$@" >"$dir/prepare.log" 2>&1; then
    tail -n 20 "$dir/prepare.log" >&2
    echo "$(basename "$0"): building $* in $dir failed (the whole output: $dir/prepare.log)" >&2
    return 1
  fi
  mkdir -p "$dir/mesa-cache"
  MESA_SHADER_CACHE_DIR=$(cd "$dir/mesa-cache" && pwd)
  export MESA_SHADER_CACHE_DIR
}
