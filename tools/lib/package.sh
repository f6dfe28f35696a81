# What the steps of the package test share (tools/package/*, run in turn by
# tools/test-package). Usage, from the repository's root:
#   source tools/lib/package.sh
source tools/lib/deps.sh
source tools/lib/procs.sh
source tools/lib/check.sh

# Every Debian package the steps use, the web servers installed without
# being started.
need_package_tools() {
  need_packages_unstarted procps curl python3 cmake g++ make libgtest-dev googletest lighttpd \
    apache2 nginx fcgiwrap g++-mingw-w64-x86-64-posix unzip lintian man-db groff-base
}

# Whether the package slots is installed on this machine.
slots_installed() {
  dpkg-query -W -f='${Status}' slots 2>/dev/null | grep -q 'install ok installed'
}

# A temporary folder in tmp, readable by the web servers' own user
# (www-data). At exit every server whose process id is in server_pids is
# stopped with SIGTERM, and the folder is removed.
package_tmp() {
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/slots-package.XXXXXX")
  chmod 755 "$tmp"
  server_pids=()
  trap _package_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

_package_cleanup() {
  local pid
  for pid in "${server_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
