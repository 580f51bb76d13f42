# Runs in the guest (bash, under 32-bit Wine), from scripts/test-win32, which
# puts VARIANTS, FULL, LIMITS_ONLY, SKIP_SUITES and STDCALL_SUITES in front
# of it. Each build's bin/ is mounted at
# /mnt/VARIANT; /mnt/run holds the scratch folders, the logs and results.txt
# ("variant program verdict seconds status", one line each).
# Code page 936 for Wine, from the locale scripts/test-win32 compiled. Only
# the programs get it: this shell would warn that it cannot load it.
locale_env=()
if [ -e /mnt/run/locales/zh_CN.UTF-8/LC_CTYPE ]; then
  locale_env=(LOCPATH=/mnt/run/locales LC_ALL=zh_CN.UTF-8)
fi
results=/mnt/run/results.txt
: >"$results"
# Under emulation a suite takes minutes; a hung one must not hold the boot.
program_timeout=${WIN32BED_PROGRAM_TIMEOUT:-1200}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Whether a program failed, by its status or by its log: once its debugger
# has run, Wine may end a program that crashed with status 0.
failed() {
  local rc=$1 log=$2
  [ "$rc" != 0 ] || grep -q -e '^\[  FAILED  \]' -e '^wine: Unhandled' -e '^Unhandled exception' "$log"
}

# run VARIANT NAME EXPECT DIR PROGRAM [ARGS...]: runs PROGRAM under Wine in
# DIR; EXPECT is "pass" (the program must succeed) or "fail" (a check that must fail).
run() {
  local variant=$1 name=$2 expect=$3 dir=$4
  shift 4
  local log=/mnt/run/logs/$variant-$name.log t0 rc=0 verdict ms
  mkdir -p "$dir"
  t0=$(now_ms)
  (cd "$dir" && exec env "${locale_env[@]}" timeout "$program_timeout" wine "$@") >"$log" 2>&1 </dev/null || rc=$?
  ms=$(($(now_ms) - t0))
  if [ "$expect" = pass ]; then
    if failed "$rc" "$log"; then verdict=failed; else verdict=passed; fi
  else
    if failed "$rc" "$log"; then verdict=passed; else verdict=failed-to-fail; fi
  fi
  [ $rc = 124 ] && verdict=timed-out
  echo "$variant $name $verdict $((ms / 1000)).$((ms % 1000 / 100)) $rc" >>"$results"
  printf '   %-8s %-36s %-10s %4d.%d s  (status %d)\n' "$variant" "$name" "$verdict" \
    $((ms / 1000)) $((ms % 1000 / 100)) "$rc"
}

echo "   guest: $(uname -r), $(wine --version), ${locale_env[1]:-no zh_CN locale: code page 936 cases skip}"
# One Wine server for the whole boot; its first start brings up the services.
t0=$(now_ms)
env "${locale_env[@]}" wineserver -p
env "${locale_env[@]}" wine cmd /c exit 0 >/dev/null 2>&1
echo "   Wine started in $((($(now_ms) - t0) / 1000)) s"

# Wine's loader reads a program's sections with single reads, which 9p cuts
# short past its message size: programs over about 500 KB would start with
# zeros in their code. So the programs run from copies on the guest's disk.
t0=$(now_ms)
for variant in "${VARIANTS[@]}"; do
  mkdir -p "/var/tmp/$variant"
  cp -r "/mnt/$variant/bin" "/var/tmp/$variant/bin"
  [ -d "/mnt/run/cross-$variant" ] && cp -r "/mnt/run/cross-$variant" "/var/tmp/$variant/cross"
done
echo "   programs copied to the guest's disk in $((($(now_ms) - t0) / 1000)) s"

for variant in "${VARIANTS[@]}"; do
  [ "$LIMITS_ONLY" = 1 ] && break
  bin=/var/tmp/$variant/bin
  while read -r suite; do
    [ -n "$suite" ] || continue
    [[ " $SKIP_SUITES " == *" ${suite%.exe} "* ]] && continue
    if [ "$FULL" != 1 ] && [ "$variant" = stdcall ] && [[ " $STDCALL_SUITES " != *" ${suite%.exe} "* ]]; then
      continue
    fi
    run "$variant" "${suite%.exe}" pass "/mnt/run/scratch/$variant/${suite%.exe}" \
      "$bin/$suite" --gtest_brief=1
  done <"/mnt/$variant/test-suites.txt"
  run "$variant" import_check pass "/mnt/run/scratch/$variant" \
    "$bin/vorn_ulo_import_check.exe" import_check
  run "$variant" load_host pass "/mnt/run/scratch/$variant" \
    "$bin/windows_load_host.exe" load_host
  # The convention check beside the other convention's DLL must fail.
  if [ -d "/var/tmp/$variant/cross" ]; then
    run "$variant" convention_check_on_other_dll fail "/var/tmp/$variant/cross" \
      /var/tmp/$variant/cross/windows_convention_tests.exe --gtest_brief=1 \
      --gtest_filter='ConventionTest.Every*'
  fi
done

if [ "$FULL" = 1 ]; then
  program_timeout=3600
  for variant in "${VARIANTS[@]}"; do
    run "$variant" limits_count pass /mnt/run/limits \
      "/var/tmp/$variant/bin/ulo_limits.exe" count "$variant"
    run "$variant" limits_merge_past_2GiB pass /mnt/run/limits \
      "/var/tmp/$variant/bin/ulo_limits.exe" bigmerge big "$variant/bigmerged.txt"
  done
fi
wineserver -k 2>/dev/null
exit 0
