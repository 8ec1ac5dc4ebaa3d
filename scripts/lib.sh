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
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

QZL_BASE_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libssl-dev)

qzl_jobs() {
  local n
  n=$(nproc 2>/dev/null || echo 2)
  echo "$n"
}

qzl_build() {
  local preset=$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(qzl_jobs)"
}
