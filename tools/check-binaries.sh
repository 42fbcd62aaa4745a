#!/usr/bin/env bash
# Checks the shipped modules: PE32+ x86-64, a GUI installer with its manifest, every imported DLL present, and
# none of the system DLLs they need only after start-up (Direct2D, DirectWrite, GDI+, WIC, WinHTTP, the shell, COM,
# the common dialogs, crypt32) loaded with them at start: those are delay-loaded, on first use.
set -euo pipefail
bin="${1:?usage: check-binaries.sh BIN_DIR}"
fail() { echo "FAIL: $*" >&2; exit 1; }
for m in installer.exe Fetchwell.dll Tallivo.dll; do
  file "$bin/$m" | grep -q 'PE32+ executable.*x86-64' || fail "$m is not PE32+ x86-64: $(file "$bin/$m")"
done
file "$bin/installer.exe" | grep -q '(GUI)' || fail "installer.exe is not a GUI-subsystem program"
for word in 'level="asInvoker"' 'PerMonitorV2' '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a'; do
  LC_ALL=C grep -aqF "$word" "$bin/installer.exe" || fail "the manifest lacks $word"
done
for m in "$bin"/*.exe "$bin"/*.dll; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$m" | awk '/DLL Name:/ {print $3}'); do
    lower=$(echo "$dll" | tr 'A-Z' 'a-z')
    case "$lower" in
      libstdc++-6.dll|libgcc_s_seh-1.dll|libwinpthread-1.dll|libglog.dll|fetchwell.dll|tallivo.dll|libboost_url.dll|libboost_filesystem.dll|libfmt.dll)
        [ -f "$bin/$dll" ] || fail "$(basename "$m") needs $dll, which is not in $bin" ;;
    esac
  done
done
for m in installer.exe Fetchwell.dll Tallivo.dll; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$bin/$m" | awk '/DLL Name:/ {print $3}'); do
    case "$(echo "$dll" | tr 'A-Z' 'a-z')" in
      d2d1.dll|dwrite.dll|gdiplus.dll|windowscodecs.dll|winhttp.dll|shell32.dll|shcore.dll|ole32.dll|oleaut32.dll|\
      comdlg32.dll|comctl32.dll|crypt32.dll|wintrust.dll)
        fail "$m loads $dll when it starts" ;;
    esac
  done
done
echo "binaries ok"
