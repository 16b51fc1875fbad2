# Shared by run.sh and test.sh: install the Debian packages a fresh machine
# lacks. apt-get runs only when something is missing, and never asks.
# Arguments name more packages to want (test.sh adds the browser that opens
# the report in its tests, which a plain run does not need).
ensure_packages() {
  local wanted=(build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
                libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev libzip-dev zip unzip python3 tshark
                nlohmann-json3-dev libtinyxml2-dev libedit-dev sqlite3
                prometheus-cpp-dev python3-matplotlib clang-format "$@")
  local missing=()
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    $sudo apt-get update -qq
    # The capture tests run tshark as the user who runs the tests; without this
    # answer wireshark-common would stop the install to ask whether ordinary
    # users may capture. Unknown to debconf before the package exists: harmless.
    if [[ " ${missing[*]} " == *" tshark "* ]]; then
      echo "wireshark-common wireshark-common/install-setuid boolean false" | $sudo debconf-set-selections
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
  fi
}
