#!/usr/bin/env bash
# Set-up, build, start and test Quillbox on a Debian machine.
#   ./dev.sh run    install what is missing, build, start Quillbox
#   ./dev.sh test   install what is missing, build, run every test, then the fuzz smoke run
#                   (each fuzz target for $FUZZ_SECONDS seconds, default 60)
#   ./dev.sh sanitize   the tests again under AddressSanitizer and UndefinedBehaviorSanitizer
#   ./dev.sh mutants [WORD]   plant each fault of tests/mutants.txt (or those naming WORD) in a
#                   scratch copy and say which the tests catch (not part of CI)
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake ninja-build qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl1-mesa-dev
          xvfb xauth clang-14 libfuzzer-14-dev libclang-rt-14-dev libbenchmark-dev desktop-file-utils
          fonts-dejavu-core dpkg-dev file shared-mime-info python3 poppler-utils
          dbus at-spi2-core python3-pyatspi)

install_missing() {
    local missing=() p
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

configure_and_build() { # build-dir, extra cmake args...
    local dir=$1
    shift
    local werror=OFF
    [ "${CI:-}" = "true" ] && werror=ON
    local launcher=()
    # A compiler cache, when the machine has one, makes rebuilds in several checkouts cheap.
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLBOX_WERROR=$werror "${launcher[@]}" "$@"
    cmake --build "$dir" -j "$(nproc)"
}

run_tests() { # build-dir
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$1" --output-on-failure -j "$(nproc)"
}

case "${1:-}" in
run)
    install_missing
    configure_and_build build
    exec build/src/app/quillbox "${@:2}"
    ;;
test)
    install_missing
    configure_and_build build
    run_tests build
    scripts/fuzz-smoke.sh "${FUZZ_SECONDS:-60}"
    ;;
sanitize)
    install_missing
    configure_and_build build-sanitize -DQUILLBOX_SANITIZE=ON -DQUILLBOX_BUILD_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-sanitize
    ;;
mutants)
    install_missing
    exec python3 scripts/mutants.py "${@:2}"
    ;;
*)
    sed -n '2,9p' "$0"
    exit 2
    ;;
esac
