# Shared by the scripts: paths, the bootstrap check and the choice of test architecture.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

ensure_tools() {
  if ! command -v i686-w64-mingw32-g++-posix >/dev/null || ! command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
     ! command -v Xvfb >/dev/null || [ ! -x /usr/lib/wine/wine64 ] || [ ! -d /usr/src/googletest ] ||
     ! command -v dovecot >/dev/null || [ ! -f /usr/include/gtest/gtest.h ]; then
    "$ROOT/scripts/bootstrap"
  fi
}

# The shipped files are 32-bit. They are tested as such where the kernel runs 32-bit code and
# 32-bit Wine is installed; elsewhere (32-bit emulation switched off, or the i386 packages could
# not be installed) the same sources are tested as 64-bit
# Windows code under 64-bit Wine. WISP_TEST_ARCH=i686|x86_64 overrides the probe.
test_arch() {
  if [ -n "${WISP_TEST_ARCH:-}" ]; then
    echo "$WISP_TEST_ARCH"
  elif kernel_runs_32bit && [ -x /usr/lib/wine/wine ]; then
    echo i686
  else
    echo x86_64
  fi
}

# Asks the kernel itself: a 96-byte static 32-bit program that only exits with code 7. It needs no
# 32-bit library, so the answer is the same before and after the 32-bit packages are installed.
kernel_runs_32bit() {
  local probe status
  probe="$(mktemp)"
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x07\x00\x00\x00\xcd\x80\x90\x90' >"$probe"
  chmod +x "$probe"
  status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" = 7 ]
}

configure_and_build() {   # preset [targets...]
  local preset="$1"; shift
  if [ ! -f "$ROOT/build/$preset/CMakeCache.txt" ]; then
    cmake --preset "$preset" -S "$ROOT" >/dev/null
  fi
  if [ $# -gt 0 ]; then
    cmake --build "$ROOT/build/$preset" -j "$JOBS" --target "$@"
  else
    cmake --build "$ROOT/build/$preset" -j "$JOBS"
  fi
}

# The portable pieces (tag reader, string obfuscation, URL splitter, manifest text rules, the
# download allow-list, the screen saver's command line, the menu-file and resource-file parses,
# the settings document, the mail answers, the pipe-record reading) built for this machine with
# the host compiler under the address and undefined-behaviour sanitizers, and run. Rebuilt only
# when a source changed.
native_tests() {
  local out="$ROOT/build/native" exe="$ROOT/build/native/portable_tests"
  local sources=("$ROOT/common/XmlTagReader.cpp" "$ROOT/common/Obfuscation.cpp"
                 "$ROOT/common/UrlSplitter.cpp" "$ROOT/Wisp/update/ManifestRules.cpp" "$ROOT/Wisp/update/DomainAllowList.cpp"
                 "$ROOT/Wisp/control/PageTrust.cpp" "$ROOT/tests/control/PageTrustTest.cpp"
                 "$ROOT/ScreenSaver/CommandLine.cpp"
                 "$ROOT/Wisp/windows/MenuFile.cpp" "$ROOT/Wisp/windows/ResourceText.cpp"
                 "$ROOT/common/SettingsDocument.cpp" "$ROOT/Wisp/mail/MailResponse.cpp"
                 "$ROOT/ScreenSaver/PipeBuffer.cpp" "$ROOT/ScreenSaver/PipeRecord.cpp"
                 "$ROOT/tests/settings/SettingsDocumentTest.cpp" "$ROOT/tests/mail/MailResponseTest.cpp"
                 "$ROOT/tests/pipe/PipeRecordTest.cpp"
                 "$ROOT/tests/tagreader/XmlTagReaderTest.cpp" "$ROOT/tests/tagreader/ObfuscationTest.cpp"
                 "$ROOT/tests/url/UrlSplitterTest.cpp" "$ROOT/tests/update/DomainAllowListTest.cpp"
                 "$ROOT/tests/screensaver/CommandLineTest.cpp"
                 "$ROOT/tests/windows/MenuFileTest.cpp" "$ROOT/tests/windows/ResourceTextTest.cpp")
  mkdir -p "$out"
  local stale=0 f
  [ -x "$exe" ] || stale=1
  for f in "${sources[@]}" "$ROOT/common/XmlTagReader.h" "$ROOT/common/Obfuscation.h" \
           "$ROOT/common/UrlSplitter.h" "$ROOT/Wisp/update/ManifestRules.h" "$ROOT/Wisp/update/DomainAllowList.h" "$ROOT/ScreenSaver/CommandLine.h" \
           "$ROOT/Wisp/windows/MenuFile.h" "$ROOT/Wisp/windows/ResourceText.h" \
           "$ROOT/common/SettingsDocument.h" "$ROOT/Wisp/mail/MailResponse.h" "$ROOT/ScreenSaver/PipeBuffer.h" \
           "$ROOT/ScreenSaver/PipeRecord.h" "$ROOT/common/QDCopyData.h"; do
    [ "$f" -nt "$exe" ] && stale=1
  done
  if [ "$stale" = 1 ]; then
    g++ -std=c++17 -O1 -g -Wall -Wextra -Werror -fsanitize=address,undefined -fno-sanitize-recover=all \
        -I"$ROOT" "${sources[@]}" -lgtest -lgtest_main -pthread -o "$exe"
  fi
  "$exe" --gtest_brief=1
}
