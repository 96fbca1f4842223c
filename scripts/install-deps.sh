#!/usr/bin/env bash
# Installs the Debian 12 packages MERU needs to build, run, test, benchmark
# and fuzz. Idempotent: packages already present are left alone, and it says
# what it installs. Runs as root, or through sudo.
set -euo pipefail

PKGS=(
  # build
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libx11-dev libxcb1-dev libx11-xcb-dev
  # the Wayland clipboard (data-control): libwayland-client and wayland-scanner
  libwayland-dev
  nlohmann-json3-dev googletest libgtest-dev libgmock-dev libbenchmark-dev
  # fuzzing, and the formatting and clang-tidy checks of make test
  clang libclang-rt-dev clang-format clang-tidy
  # headless GUI and end-to-end tests
  xvfb xauth xdotool xclip xsel trayer openbox x11-utils x11-apps
  x11-xserver-utils imagemagick poppler-utils fonts-dejavu-core fonts-noto-cjk
  qt6-qpa-plugins libqt6svg6 dbus-x11
  # a StatusNotifierItem host (Xfce's panel with its status tray) and its
  # settings daemon, on a private session bus of the tray test
  xfce4-panel xfconf dbus-daemon
  # start-up and idle benchmark peer
  copyq
  python3 procps time
  # a second clipboard owner offering several targets (e2e, clip_latency.py)
  python3-tk
  # installing and packaging: PNG icons from the SVG, the Debian package and
  # its checks, the manual pages, starting the menu entry (gio)
  librsvg2-bin dpkg-dev desktop-file-utils lintian man-db libglib2.0-bin
  # keyboard layouts changed through XKB (setxkbmap, xkbcomp); a copy run as
  # another user (setpriv)
  x11-xkb-utils util-linux
  # the SMTP client's TLS, and the mail server and certificates its tests start
  libssl-dev openssl ca-certificates python3-aiosmtpd
  # headless Wayland sessions for the clipboard test: sway with XWayland, a
  # native terminal, wl-copy and wl-paste, keys typed through the compositor
  # (wtype); weston, which has no data-control
  sway xwayland foot wl-clipboard weston wtype
  # KWin's and Mutter's headless sessions, and a native GTK program copying
  # and pasting in them
  kwin-wayland mutter python3-gi gir1.2-gtk-3.0
  # the fake desktop portal of the global shortcuts test, on its own bus
  python3-dbus-next
)

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#PKGS[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then SUDO=sudo; else
    echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2; exit 1
  fi
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
