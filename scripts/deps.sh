# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages that building and testing need, when they are missing.
# Sourced by run.sh and test.sh; runs as root (or through sudo when it is there).
veskar_install() {
    local missing=()
    for pkg in "$@"; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "== installing: ${missing[*]}"
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
        --no-install-recommends "${missing[@]}" >/dev/null
}

# qt6-base-dev builds the window (with libqt6svg6 for its icon); xvfb and xauth run it for
# the screenshots. python3-fusepy runs the tests' file system whose reads fail. Samba (its
# Mac support is in samba-vfs-modules), smbclient and python3-impacket (a client that speaks
# as macOS does) serve and read back the server layouts; attr lets people look at them.
# unar (The Unarchiver's lsar and unar) and macutils (hexbin) decode the wrappings written.
# bash-completion and zsh run veskar-convert's completion scripts; hfsutils reads and makes
# the HFS images the tests check.
VESKAR_BUILD_PACKAGES=(g++ cmake ninja-build libgtest-dev libbenchmark-dev ntfs-3g fuse3
    python3-fusepy qt6-base-dev libqt6svg6 xvfb xauth samba samba-vfs-modules smbclient
    python3-impacket attr unar macutils bash-completion zsh hfsutils)
