#!/usr/bin/env bash
# Builds Kestrilo.dll for each Windows target given (default: i686 x86_64) and tests it under
# Wine: first a canary test that must fail (an i686 program under a Wine without its 32-bit part
# exits 0 and does nothing, which would pass everything unseen), then the unit tests, then the
# end-to-end tests against the Linux build's outputs (built first if missing), under the Western
# European ANSI code page (1252) and again under 1251 (Russian) and 932 (Japanese): Wine takes the
# code page from the locale, so names and texts are tested where the system's code page reads
# their bytes as other characters; then the distribution zip and the installer (built twice for
# the same bytes, then installed, upgraded and removed under Wine in a prefix of its own). Also
# checks each DLL's export table. Installs the Windows dependencies first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

./scripts/install-windows-deps.sh
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(i686 x86_64)
linux_build=${TAVOLIN_LINUX_BUILD:-build}
if [[ ! -f $linux_build/e2e/classes/Call.class || ! -f $linux_build/out/libKestrilo.so ]]; then
  echo "== Linux build (the reference outputs)"
  ./scripts/build.sh "$linux_build"
fi
linux_build=$(cd "$linux_build" && pwd)

# The locales of the other code pages, made here from the locales package's sources when this
# machine has not generated them: without one, Wine reads every Unix name as ASCII and cannot
# map a name with an accent at all. LOCPATH points the C library (and so Wine) at them.
code_page_locales=("1252 C.UTF-8" "1251 ru_RU.UTF-8" "932 ja_JP.UTF-8")
locales=$root/build-windows-locales
for entry in "${code_page_locales[@]}"; do
  locale=${entry#* }
  [[ $locale == C.UTF-8 || -d $locales/$locale ]] && continue
  mkdir -p "$locales"
  localedef -i "${locale%%.*}" -f UTF-8 "$locales/$locale"
done

# Tests that need what Windows does not have: the device files /dev/full and /dev/null (the
# Windows layer's own tests refuse NUL and CON instead).
excluded="FileDestination.DevicesAreRefusedBeforeAnythingIsWritten"

expected_exports="Java_Kestrilo_copyToClipboard Java_Kestrilo_makeCab Java_Kestrilo_makeTransparent
Java_Kestrilo_saveJPEG Java_Kestrilo_showFile Java_Kestrilo_wav2au Kestrilo_copyToClipboard
Kestrilo_makeCab Kestrilo_makeTransparent Kestrilo_saveJPEG Kestrilo_showFile Kestrilo_wav2au
RNIGetCompatibleVersion"

failed=()
skipped=()
ran=()
for target in "${targets[@]}"; do
  echo "== Windows $target: build"
  ./scripts/build-windows.sh "$target" -DTAVOLIN_WERROR=ON
  build=$root/build-windows-$target
  case $target in
    i686) loader=/usr/lib/wine/wine triplet=i686-w64-mingw32 ;;
    x86_64) loader=/usr/lib/wine/wine64 triplet=x86_64-w64-mingw32 ;;
  esac

  echo "== Windows $target: export table of Kestrilo.dll"
  exports=$("$triplet-objdump" -p "$build/out/Kestrilo.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
  if [[ "$exports" != "$(tr ' ' '\n' <<<"$expected_exports" | sort)" ]]; then
    echo "FAIL: Kestrilo.dll ($target) exports:"$'\n'"$exports"
    failed+=("$target exports")
  fi

  export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINELOADER=$loader
  if [[ ! -d $WINEPREFIX ]]; then
    "$loader" wineboot -i >/dev/null 2>&1 || true
  fi

  echo "== Windows $target: canary (must fail)"
  set +e
  canary=$("$loader" "$build/tests/canary_tests.exe" 2>&1)
  canary_status=$?
  set -e
  if [[ $canary_status -eq 0 ]] || ! grep -q 'FAILED  \] Canary.MustFail' <<<"$canary"; then
    # Said plainly when the reason is certain: a kernel without 32-bit support runs no i686 Wine.
    if [[ $target == i686 ]] && ! "$loader" --version >/dev/null 2>&1 &&
      [[ "$(LC_ALL=C "$loader" --version 2>&1)" == *"Exec format error"* ]]; then
      echo "SKIPPED: this kernel cannot execute 32-bit programs, so Wine runs no $target program"
      skipped+=("$target")
    else
      echo "FAIL: the canary did not fail (exit $canary_status): Wine does not run $target tests"
      echo "$canary"
      failed+=("$target canary")
    fi
    continue
  fi
  echo "the canary failed as it must"
  ran+=("$target")

  echo "== Windows $target: unit tests"
  "$loader" "$build/tests/library_tests.exe" --gtest_filter="-$excluded" --gtest_brief=1 ||
    failed+=("$target unit tests")

  for entry in "${code_page_locales[@]}"; do
    code_page=${entry%% *} locale=${entry#* }
    echo "== Windows $target: end to end under Wine, code page $code_page ($locale)"
    # C.UTF-8 is the C library's own; with LOCPATH set it would be looked for there only.
    locpath=$locales
    [[ $locale == C.UTF-8 ]] && locpath=
    # The prefix takes the new locale in an update of its own, before the first test's program
    # (which otherwise pays for it, and under Wine 8 sometimes waited on it past its time limit).
    env ${locpath:+"LOCPATH=$locpath"} LANG=$locale LC_ALL=$locale timeout 300 "$loader" wineboot -u \
      >/dev/null 2>&1 || true
    "$(dirname "$loader")/wineserver" -w || true
    (cd "$root/tests/windows" &&
      env ${locpath:+"LOCPATH=$locpath"} LANG=$locale LC_ALL=$locale TAVOLIN_CODE_PAGE=$code_page \
        TAVOLIN_WINDOWS_BUILD=$build TAVOLIN_WINE=$loader TAVOLIN_BUILD=$linux_build \
        TAVOLIN_OUT=$linux_build/out TAVOLIN_E2E_CLASSES=$linux_build/e2e/classes \
        TAVOLIN_E2E_LIB=$linux_build/e2e/lib PYTHONDONTWRITEBYTECODE=1 \
        python3 -m unittest -v wine_e2e) || failed+=("$target end to end, code page $code_page")
  done

  echo "== Windows $target: the launcher's unit tests"
  "$loader" "$build/tests/launcher_tests.exe" --gtest_brief=1 || failed+=("$target launcher unit tests")

  # On a display of its own: without one, Wine shows no message box (it returns at once), and
  # launcher_run.exe could read none.
  echo "== Windows $target: launcher.exe end to end (a stand-in VM: no real Java VM runs under Wine)"
  (cd "$root/tests/windows" &&
    TAVOLIN_WINDOWS_BUILD=$build TAVOLIN_WINE=$loader PYTHONDONTWRITEBYTECODE=1 \
      xvfb-run -a python3 -m unittest -v launcher_e2e) || failed+=("$target launcher end to end")

  echo "== Windows $target: the distribution zip"
  if zip=$(TAVOLIN_DIST=$build/dist ./scripts/package-windows.sh "$target" | tail -n 1); then
    python3 tests/windows/check_distribution.py "$zip" "$target" ||
      failed+=("$target distribution")
  else
    failed+=("$target distribution")
    continue
  fi

  # Built twice, for the same bytes, and once more as the next version, to be upgraded to.
  echo "== Windows $target: the installer, installed, upgraded and removed under Wine"
  msi_dist=$build/msi
  rm -rf "$msi_dist"
  next_version=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version |
    sed 's/[^0-9.].*//' | awk -F. -v OFS=. '{ $NF = $NF + 1; print }')
  if older=$(TAVOLIN_DIST=$msi_dist/first ./scripts/package-msi.sh "$target" | tail -n 1) &&
    again=$(TAVOLIN_DIST=$msi_dist/again ./scripts/package-msi.sh "$target" | tail -n 1) &&
    newer=$(TAVOLIN_DIST=$msi_dist/next TAVOLIN_MSI_VERSION=$next_version \
      ./scripts/package-msi.sh "$target" | tail -n 1); then
    if cmp "$older" "$again"; then
      echo "two builds of the installer gave the same bytes"
    else
      failed+=("$target installer reproducible")
    fi
    python3 tests/windows/check_msi.py "$target" "$loader" "$build/msi-prefix" "$zip" \
      "$older" "$newer" || failed+=("$target installer")
  else
    failed+=("$target installer")
  fi
done

[[ ${#skipped[@]} -eq 0 ]] || echo "Windows targets built but not run here: ${skipped[*]}"
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "Windows tests FAILED: ${failed[*]}"
  exit 1
fi
echo "Windows tests passed: ${ran[*]:-none}"
