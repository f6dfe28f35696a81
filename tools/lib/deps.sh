# Installs missing Debian packages, updating the package lists once.
# Usage: source tools/lib/deps.sh; need_packages NAME...

_apt_updated=0

need_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "installing: ${missing[*]}"
  if [ "$_apt_updated" -eq 0 ]; then
    $sudo apt-get update -qq
    _apt_updated=1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The same, for packages whose services must not start when they are
# installed (a web server would listen on port 80 of every address): Debian's
# maintainer scripts ask policy-rc.d first, and it says no meanwhile.
need_packages_unstarted() {
  local policy=/usr/sbin/policy-rc.d made=0 status=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
    made=1
  fi
  need_packages "$@" || status=$?
  [ "$made" -eq 0 ] || rm -f "$policy"
  return "$status"
}
