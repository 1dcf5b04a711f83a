# Sourced by the set-up scripts: apt-get as root (through sudo otherwise),
# with an index update that survives a mirror caught half-way through a
# sync. Such a mirror fails the update for one index (and may keep failing
# it for days) while the others are whole: after a few tries the update
# goes on with what it has, and an install that needs the missing index
# fails by itself.
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

apt_update() {
  local attempt
  for attempt in 1 2 3; do
    $sudo apt-get update -qq && return 0
    [ $attempt -lt 3 ] || break
    echo "apt-get update failed (try $attempt of 3); trying again in $((attempt * 15)) s" >&2
    sleep $((attempt * 15))
  done
  echo "apt-get update failed 3 times: going on with the package lists it has" >&2
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@"
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
