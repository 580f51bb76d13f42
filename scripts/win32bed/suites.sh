# Runs in the guest (bash, under 32-bit Wine), from scripts/test-win32, which
# puts VARIANTS and FULL in front of it. Each build's bin/ is mounted at
# /mnt/VARIANT; /mnt/run holds the scratch folders, the logs and results.txt
# ("variant program verdict seconds status", one line each).
export LOCPATH=/mnt/run/locales LC_ALL=zh_CN.UTF-8
[ -e "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" ] || unset LOCPATH LC_ALL
results=/mnt/run/results.txt
: >"$results"
# Under emulation a suite takes minutes; a hung one must not hold the boot.
program_timeout=${WIN32BED_PROGRAM_TIMEOUT:-1200}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# run VARIANT NAME EXPECT DIR PROGRAM [ARGS...]: runs PROGRAM under Wine in
# DIR; EXPECT is "pass" (status 0 wanted) or "fail" (a check that must fail).
run() {
  local variant=$1 name=$2 expect=$3 dir=$4
  shift 4
  local log=/mnt/run/logs/$variant-$name.log t0 rc=0 verdict ms
  mkdir -p "$dir"
  t0=$(now_ms)
  (cd "$dir" && exec timeout "$program_timeout" wine "$@") >"$log" 2>&1 </dev/null || rc=$?
  ms=$(($(now_ms) - t0))
  if [ "$expect" = pass ]; then
    if [ $rc = 0 ]; then verdict=passed; else verdict=failed; fi
  else
    if [ $rc != 0 ]; then verdict=passed; else verdict=failed-to-fail; fi
  fi
  [ $rc = 124 ] && verdict=timed-out
  echo "$variant $name $verdict $((ms / 1000)).$((ms % 1000 / 100)) $rc" >>"$results"
  printf '   %-8s %-36s %-10s %4d.%d s  (status %d)\n' "$variant" "$name" "$verdict" \
    $((ms / 1000)) $((ms % 1000 / 100)) "$rc"
}

echo "   guest: $(uname -r), $(wine --version), code page from ${LC_ALL:-the C locale}"
# One Wine server for the whole boot; its first start brings up the services.
t0=$(now_ms)
wineserver -p
wine cmd /c exit 0 >/dev/null 2>&1
echo "   Wine started in $((($(now_ms) - t0) / 1000)) s"

for variant in "${VARIANTS[@]}"; do
  bin=/mnt/$variant/bin
  while read -r suite; do
    [ -n "$suite" ] || continue
    run "$variant" "${suite%.exe}" pass "/mnt/run/scratch/$variant/${suite%.exe}" \
      "$bin/$suite" --gtest_brief=1
  done <"/mnt/$variant/test-suites.txt"
  run "$variant" import_check pass "/mnt/run/scratch/$variant" \
    "$bin/vorn_ulo_import_check.exe" import_check
  run "$variant" load_host pass "/mnt/run/scratch/$variant" \
    "$bin/windows_load_host.exe" load_host
  # The convention check beside the other convention's DLL must fail.
  if [ -d "/mnt/run/cross-$variant" ]; then
    run "$variant" convention_check_on_other_dll fail "/mnt/run/cross-$variant" \
      windows_convention_tests.exe --gtest_brief=1 --gtest_filter='ConventionTest.Every*'
  fi
done

if [ "$FULL" = 1 ]; then
  for variant in "${VARIANTS[@]}"; do
    run "$variant" limits pass "/mnt/run/limits/$variant" \
      "/mnt/$variant/bin/windows_limits.exe" /mnt/run/limits/plan.txt
  done
fi
wineserver -k 2>/dev/null
exit 0
