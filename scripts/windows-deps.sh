# Shared by test.sh: what the Windows build needs on a Debian machine.
#
# ensure_windows_packages installs the mingw-w64 cross compiler (posix
# threads), wine and the static zlib for mingw when they are missing.
#
# windows_libzip_prefix builds libzip statically for mingw from Debian's own
# source package, once, into a cache folder, and prints the install prefix.
# The source comes through apt-get source with a private list of deb-src
# entries copied at run time from the machine's own "Types: deb" entries, so
# the machine's apt configuration stays as it was and no host is named here.

windows_cache_dir() {
  echo "${YEB_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/yebstress-mingw}"
}

ensure_windows_packages() {
  local wanted=(g++-mingw-w64-x86-64-posix wine wine64 libz-mingw-w64-dev dpkg-dev)
  local missing=()
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
  fi
}

# Writes deb-src twins of the machine's deb entries into $1/sources.list.d.
write_private_source_list() {
  local dir=$1
  mkdir -p "$dir/sources.list.d" "$dir/lists/partial"
  : >"$dir/sources.list"
  local out="$dir/sources.list.d/src.sources"
  : >"$out"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -e $f ]] || continue
    # deb822 stanzas: keep those whose Types include deb, as deb-src only.
    awk 'BEGIN { RS=""; ORS="\n\n" }
         /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ {
           sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"$out"
  done
  if [[ -e /etc/apt/sources.list ]]; then
    grep -E '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list |
      sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' >>"$dir/sources.list" || true
  fi
}

windows_libzip_prefix() {
  local cache prefix
  cache=$(windows_cache_dir)
  prefix="$cache/libzip"
  if [[ -f $prefix/lib/libzip.a ]]; then
    echo "$prefix"
    return
  fi
  mkdir -p "$cache"
  local apt="$cache/apt"
  write_private_source_list "$apt"
  local opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
              -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=root")
  mkdir -p "$apt/cache/archives/partial"
  apt-get "${opts[@]}" update -qq >&2
  rm -rf "$cache/src" && mkdir -p "$cache/src"
  (cd "$cache/src" && apt-get "${opts[@]}" source --download-only -qq libzip >&2 &&
     dpkg-source --no-check -x ./libzip_*.dsc libzip >&2)
  local zlib=/usr/x86_64-w64-mingw32
  cmake -S "$cache/src/libzip" -B "$cache/src/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DZLIB_LIBRARY="$zlib/lib/libz.a" -DZLIB_INCLUDE_DIR="$zlib/include" \
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_OPENSSL=OFF \
    -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=ON \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF >&2
  cmake --build "$cache/src/build" -j "$(nproc)" >&2
  cmake --install "$cache/src/build" >&2
  echo "$prefix"
}
