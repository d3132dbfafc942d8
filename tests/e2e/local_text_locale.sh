#!/usr/bin/env bash
# Localised texts follow the system locale, which Wine takes from LC_CTYPE
# when a program starts. Runs the Windows LocalText test under de_CH (0807),
# whose exact, language-wide and default sections (0807, 0007, 0407) all
# differ. The locale is compiled into the build folder, so the machine needs
# no locale-gen. Arguments: brindle.exe and its folder (the build folder).
set -uo pipefail
build_dir=$2

if ! command -v localedef >/dev/null || [ ! -e /usr/share/i18n/locales/de_CH ]; then
  echo "SKIP: no localedef or de_CH locale source (Debian package 'locales')"
  exit 0
fi
locales=$build_dir/test-locales
if [ ! -d "$locales/de_CH.UTF-8" ]; then
  mkdir -p "$locales"
  localedef -i de_CH -f UTF-8 "$locales/de_CH.UTF-8" >/dev/null 2>&1
fi

output=$(LOCPATH=$locales LC_ALL=de_CH.UTF-8 "$(dirname "$0")/../harness/wine-run" "$build_dir/tests/run_tests.exe" \
  --gtest_filter='LocalTextWin.*' 2>&1)
status=$?
echo "$output"
if ! grep -q 'system locale 0807' <<<"$output"; then
  echo "FAIL: the test did not run under locale 0807"
  exit 1
fi
exit $status
