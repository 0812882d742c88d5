# Shared by the scripts: package installation and the build.
# shellcheck shell=bash

QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
QV_PACKAGES=(build-essential cmake pkg-config qt6-base-dev qt6-qpa-plugins libqt6test6 libcurl4-openssl-dev
  nlohmann-json3-dev libcpp-httplib-dev libpq-dev libssl-dev postgresql-15 postgresql-client-15 openssl
  googletest libgtest-dev libgmock-dev xvfb xauth imagemagick x11-apps xdg-utils curl bc fonts-dejavu-extra)

qv_pg_bin() { echo /usr/lib/postgresql/15/bin; }

# Installs what is missing; quiet when everything is there.
qv_install() {
  local missing=() p
  for p in "${QV_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}. Run as root, or install them with apt-get." >&2
    return 1
  fi
  echo "Installing: ${missing[*]}"
  apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# qv_build <build-dir> <build-type> [extra cmake args]
qv_build() {
  local dir=$1 type=$2; shift 2
  cmake -S "$QV_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
