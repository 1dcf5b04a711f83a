# Sourced by the set-up scripts: apt-get as root (through sudo otherwise),
# with an index update that survives a mirror caught half-way through a
# sync, which fails one update and serves a whole index minutes later.
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

apt_update() {
  local attempt
  for attempt in 1 2 3 4 5; do
    $sudo apt-get update -qq && return 0
    echo "apt-get update failed (attempt $attempt of 5); trying again in $((attempt * 15)) s" >&2
    sleep $((attempt * 15))
  done
  echo "apt-get update kept failing" >&2
  return 1
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@"
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
