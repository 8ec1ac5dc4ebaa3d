# Shared by scripts/test and scripts/demo: install what a fresh machine lacks (Debian packages only,
# each checked with dpkg first), then configure and build one preset.

qzl_need_packages() {
  local missing=()
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    # tshark asks whether non-root users may capture; the answer is no, without a prompt.
    echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections 2>/dev/null || true
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# Build tools and test libraries; CLI11 for the testbed's command line, toml++ for world files, tshark and
# the NIST cipher vectors for the independent checks of the end-to-end and cipher tests.
QZL_BASE_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libssl-dev
                   libcli11-dev libtomlplusplus-dev tshark python3-cryptography-vectors)

# Parallel jobs for builds and test runs: JOBS when set (e.g. `JOBS=2 scripts/test` on a shared or
# small machine), else every processor.
qzl_jobs() {
  if [ -n "${JOBS:-}" ]; then
    case "$JOBS" in
      *[!0-9]* | 0*) echo "JOBS=\"$JOBS\" is not a number of jobs (1 or more)" >&2; return 1 ;;
    esac
    echo "$JOBS"
    return 0
  fi
  nproc 2>/dev/null || echo 2
}

# Configures a preset and builds it: everything, or only the targets named after the preset.
qzl_build() {
  local preset=$1
  shift
  local jobs
  jobs=$(qzl_jobs) || return 1
  cmake --preset "$preset" >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" -j "$jobs" --target "$@"
  else
    cmake --build --preset "$preset" -j "$jobs"
  fi
}
