#!/usr/bin/env bash
# Checks the packages that scripts/package.sh made, and fails (status 1) when
# any check does. Every check runs, so one run shows every fault.
#
#   scripts/check-packages.sh DEB ZIP [HOST]
#
# The Debian package: its contents as listed; unpacked into an empty folder,
# the updater is stripped, finds every shared library (ldd), and each library
# comes from a package its Depends names (the ones it links directly) or that
# those packages depend on in turn; the menu entry is valid, starts the
# installed updater and names an icon installed in every size.
# The ZIP: updater.exe alone, a stripped 64-bit Windows GUI program (PE32+)
# that imports nothing but Windows' own DLLs and carries the icon.
# Both programs name the update server HOST, when it is given.
set -euo pipefail

[ $# -ge 2 ] || { echo "usage: $0 DEB ZIP [HOST]" >&2; exit 2; }
deb=$(realpath "$1")
zip=$(realpath "$2")
host=${3:-}

app=opt/tarnwick
name=tarnwick-updater
icon_sizes=(16 24 32 48 64 128 256)
# DLLs that come with every Windows (lower case).
windows_dlls=(kernel32.dll user32.dll gdi32.dll comctl32.dll winhttp.dll msvcrt.dll advapi32.dll
              shell32.dll ole32.dll oleaut32.dll ws2_32.dll bcrypt.dll ntdll.dll version.dll)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
ok() { echo "  ok: $*"; }
fail() { echo "  FAILED: $*" >&2; failures=$((failures + 1)); }

# The installed packages that own the files on standard input, as "path
# package" lines. ldd reports paths as the loader found them, /lib/... where
# dpkg may know /usr/lib/... (merged /usr), or a symbolic link's name: each
# form is asked for, all at once, as every dpkg query reads its whole file list.
owners() {
  local path real form
  declare -A forms=()
  while read -r path; do
    real=$(realpath -e "$path" 2>/dev/null || echo "$path")
    for form in "$path" "$real" "${path#/usr}" "${real#/usr}"; do
      forms[$form]+="$path "
      forms[/usr$form]+="$path "
    done
  done
  dpkg-query -S "${!forms[@]}" 2>/dev/null | while IFS= read -r line; do
    case $line in diversion\ *) continue ;; esac
    form=${line#*: }
    for path in ${forms[$form]:-}; do echo "$path ${line%%:*}"; done
  done | sort -u -k1,1
}

# Package names in a Depends-style field: versions, architectures and
# alternatives' bars dropped.
field_names() {
  tr ',|' '\n\n' | sed -e 's/(.*)//' -e 's/:.*//' -e 's/[[:space:]]//g' | sed '/^$/d' | sort -u
}

# Every installed package reachable from the names on standard input through
# Depends and Pre-Depends, virtual packages through their providers.
dependency_closure() {
  local start
  start=$(tr '\n' ' ')
  dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Depends}, ${Pre-Depends}\t${Provides}\n' |
    awk -F'\t' -v start="$start" '
      # The package names of a Depends-style field, as keys of `out`.
      function names(field, out,   parts, count, i, name) {
        count = split(field, parts, /[,|]/)
        for (i = 1; i <= count; i++) {
          name = parts[i]
          sub(/\(.*/, "", name); sub(/:.*/, "", name); gsub(/[[:space:]]/, "", name)
          if (name != "") out[name] = 1
        }
      }
      $1 == "ii " {
        needs[$2] = $3
        delete provided; names($4, provided)
        for (name in provided) providers[name] = providers[name] " " $2
      }
      END {
        count = split(start, queue, " ")
        for (head = 1; head <= count; head++) {
          package = queue[head]
          if (package in seen) continue
          seen[package] = 1
          print package
          split(providers[package], more, " ")
          for (i in more) queue[++count] = more[i]
          delete found; names(needs[package], found)
          for (name in found) queue[++count] = name
        }
      }' | sort
}

echo "== $(basename "$deb")"
dpkg-deb -c "$deb"
dpkg-deb -x "$deb" "$work/root"
root=$work/root
updater=$root/$app/updater

expected=("$app/updater" "usr/share/applications/$name.desktop"
          "usr/share/icons/hicolor/scalable/apps/$name.svg")
for size in "${icon_sizes[@]}"; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$name.png")
done
for path in "${expected[@]}"; do
  [ -f "$root/$path" ] || fail "the package lacks /$path"
done
for size in "${icon_sizes[@]}"; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$name.png
  [ -f "$png" ] || continue
  kind=$(file -b "$png")
  [[ $kind == "PNG image data, $size x $size,"* ]] || fail "/${png#"$root"/} is not a $size x $size PNG: $kind"
done
[ $failures -eq 0 ] && ok "the layout: /$app/updater, the menu entry, the icon in ${#icon_sizes[@]} sizes and scalable"

if [ -x "$updater" ]; then
  description=$(file -b "$updater")
  case $description in
    *"not stripped"*) fail "the updater is not stripped: $description" ;;
    ELF*stripped*) ok "the updater is a stripped ELF program" ;;
    *) fail "the updater is not an ELF program: $description" ;;
  esac

  libraries=$(ldd "$updater")
  if grep -q "not found" <<<"$libraries"; then
    fail "ldd finds not every library:"$'\n'"$(grep "not found" <<<"$libraries")"
  else
    ok "ldd finds every library ($(grep -c "/" <<<"$libraries"))"
  fi

  depends=$(dpkg-deb -f "$deb" Depends)
  echo "  Depends: $depends"
  declared=$(field_names <<<"$depends")
  reachable=$(dependency_closure <<<"$declared")
  linked=$(readelf -d "$updater" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  # "soname path" for each library; the loader is listed by its path alone.
  found=$(awk '$2 == "=>" && $3 ~ /^\// { print $1, $3 } $1 ~ /^\// { print $1, $1 }' <<<"$libraries" |
          sed 's|^[^ ]*/\([^/ ]*\) |\1 |')
  declare -A owner=()
  while read -r path package; do owner[$path]=$package; done < <(cut -d' ' -f2 <<<"$found" | owners)
  unowned=0
  while read -r soname path; do
    package=${owner[$path]:-}
    if [ -z "$package" ]; then
      fail "no installed package owns $path"; unowned=1; continue
    fi
    if grep -qxF "$soname" <<<"$linked"; then
      grep -qxF "$package" <<<"$declared" ||
        { fail "$soname, linked directly, comes from $package, which Depends does not name"; unowned=1; }
    else
      grep -qxF "$package" <<<"$reachable" ||
        { fail "$soname comes from $package, which Depends does not bring in"; unowned=1; }
    fi
  done <<<"$found"
  [ $unowned -eq 0 ] &&
    ok "every library comes from Depends: $(wc -l <<<"$linked") linked directly, the rest through their packages"
  [ -z "$host" ] || grep -qaF "$host" "$updater" || fail "the updater does not name the server $host"
else
  fail "no executable /$app/updater in the package"
fi

entry=$root/usr/share/applications/$name.desktop
if [ -f "$entry" ]; then
  if report=$(desktop-file-validate "$entry" 2>&1) && [ -z "$report" ]; then
    ok "desktop-file-validate passes the menu entry"
  else
    fail "desktop-file-validate: $report"
  fi
  exec_line=$(sed -n 's/^Exec=//p' "$entry")
  [ "$exec_line" = "/$app/updater" ] || fail "the menu entry starts '$exec_line', not /$app/updater"
  grep -qx "Icon=$name" "$entry" || fail "the menu entry's icon is not $name"
  grep -qx "Name=Tarnwick升级" "$entry" || fail "the menu entry is not named Tarnwick升级"
fi

echo "== $(basename "$zip")"
unzip -l "$zip"
entries=$(unzip -Z1 "$zip")
if [ "$entries" != "updater.exe" ]; then
  fail "the ZIP holds '$(echo $entries)', not updater.exe alone"
else
  unzip -q "$zip" -d "$work/zip"
  exe=$work/zip/updater.exe
  headers=$(x86_64-w64-mingw32-objdump -p "$exe")
  echo "  $(file -b "$exe")"
  grep -Eq '^Magic[[:space:]]+020b' <<<"$headers" || fail "updater.exe is not PE32+"
  grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" || fail "updater.exe is not a GUI program"
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
  foreign=""
  for dll in $imports; do
    printf '%s\n' "${windows_dlls[@]}" | grep -qxF "$dll" || foreign+=" $dll"
  done
  if [ -n "$foreign" ]; then
    fail "updater.exe imports DLLs that Windows lacks:$foreign"
  else
    ok "updater.exe is a PE32+ GUI program importing only Windows DLLs: $(echo $imports)"
  fi
  sections=$(x86_64-w64-mingw32-objdump -h "$exe")
  if grep -q '\.debug_' <<<"$sections"; then fail "updater.exe is not stripped"; fi
  if wrestool -x --type=14 "$exe" >"$work/updater.ico" 2>/dev/null &&
     [ "$(icotool -l "$work/updater.ico" 2>/dev/null | wc -l)" -eq ${#icon_sizes[@]} ]; then
    ok "updater.exe carries the icon in ${#icon_sizes[@]} sizes"
  else
    fail "updater.exe lacks its icon in ${#icon_sizes[@]} sizes"
  fi
  [ -z "$host" ] || grep -qaF "$host" "$exe" || fail "updater.exe does not name the server $host"
fi

if [ $failures -gt 0 ]; then
  echo "check: $failures check(s) failed" >&2
  exit 1
fi
echo "check: both packages pass"
