#!/usr/bin/env bash
# Checks a Windows build's ZIP without running it, as 32-bit code cannot run
# on this machine's kernel: its layout, the executable format, and that the
# program imports the board library's seven functions from
# Vururi-Red-Ivi.dll, under the names that the stand-in exports, and needs
# no runtime DLL beside it.
# Usage: static-checks.sh BUILD_DIR FLAVOUR VERSION (FLAVOUR: x64, x86 or x86-stdcall)
build_dir=$1 flavour=$2 version=$3
. "$(dirname "$0")/../skip-or-fail.sh"
case $flavour in
    x64) triple=x86_64-w64-mingw32 format=pei-x86-64 zip_name=win64 ;;
    x86) triple=i686-w64-mingw32 format=pei-i386 zip_name=win32 ;;
    x86-stdcall) triple=i686-w64-mingw32 format=pei-i386 zip_name=win32-stdcall ;;
esac
objdump=$triple-objdump
command -v "$objdump" >/dev/null || skip_test "$objdump is not installed (package binutils-mingw-w64)"
command -v unzip >/dev/null || skip_test "unzip is not installed"
zip=$build_dir/watchdog-console-$version-$zip_name.zip
[ -f "$zip" ] || { echo "FAIL: no $zip"; exit 1; }
failed=0
fail() { echo "FAIL: $*"; failed=1; }

contents=$(unzip -Z1 "$zip" | grep -v '/$' | sort | tr '\n' ' ')
expected="LICENSE README.md simulated-board/Vururi-Red-Ivi.dll simulated-board/watchdog-console.exe watchdog-console.exe "
[ "$contents" = "$expected" ] || fail "the ZIP holds: $contents"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
program=$unpacked/watchdog-console.exe
stand_in=$unpacked/simulated-board/Vururi-Red-Ivi.dll
for file in "$program" "$stand_in"; do
    "$objdump" -f "$file" | grep -q "file format $format\$" ||
        fail "${file#"$unpacked"/} is not $format: $("$objdump" -f "$file" | grep format)"
done

# stdcall names carry the bytes of their arguments, as the toolchain decorates them.
declare -A argument_bytes=([WD_E_GetDllVersion]=4 [WD_E_Open]=8 [WD_E_DiscoverAll]=16
    [WD_E_Discover]=12 [WD_E_GetDeviceInfo]=24 [WD_E_GetErrorInfoMsg]=8 [WD_E_Close]=4)
names=$(for name in "${!argument_bytes[@]}"; do
    if [ "$flavour" = x86-stdcall ]; then echo "$name@${argument_bytes[$name]}"; else echo "$name"; fi
done | sort | tr '\n' ' ')

imported=$("$objdump" -p "$program" |
    awk '/DLL Name: Vururi-Red-Ivi.dll/ { inside = 1; getline; next }
         inside && NF == 0 { inside = 0 }
         inside { print $NF }' | sort | tr '\n' ' ')
[ "$imported" = "$names" ] || fail "the program imports from Vururi-Red-Ivi.dll: $imported; expected $names"
exported=$("$objdump" -p "$stand_in" |
    awk '/\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
         inside && NF == 0 { inside = 0 }
         inside { print $NF }' | sort | tr '\n' ' ')
[ "$exported" = "$names" ] || fail "the stand-in exports: $exported; expected $names"

# Beside the program there is nothing but what the user puts there.
dlls=$("$objdump" -p "$program" | sed -n 's/.*DLL Name: //p' | sort | tr '\n' ' ')
for dll in $dlls; do
    case ${dll,,} in
        vururi-red-ivi.dll | kernel32.dll | msvcrt.dll | user32.dll | api-ms-win-*) ;;
        *) fail "the program needs $dll, which Windows does not have" ;;
    esac
done
[ $failed = 0 ] && echo "ok: $zip_name: layout, $format, imports ($names) and exports match, needs only $dlls"
exit $failed
