#!/usr/bin/env bash
# The Wine wrapper starts a program again only when it ended silently with
# a failure; a run that printed anything keeps its exit code. A stand-in
# `wine` on the PATH plays each case from a script of exit codes.
set -u
wrapper=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat >"$dir/wine" <<'STUB'
#!/usr/bin/env bash
n=$(( $(cat "$STUB_DIR/count" 2>/dev/null || echo 0) + 1 ))
echo "$n" >"$STUB_DIR/count"
read -r -a plan <"$STUB_DIR/plan"
step=${plan[$((n - 1))]}
case $step in
    silent:*) exit "${step#silent:}" ;;
    say:*) echo "output of $*"; exit "${step#say:}" ;;
    err:*) echo "trouble" >&2; exit "${step#err:}" ;;
esac
STUB
chmod +x "$dir/wine"
export STUB_DIR=$dir
failures=0
# plan | expected exit code | expected starts
while read -r plan want starts; do
    echo "$plan" | tr ',' ' ' >"$dir/plan"
    rm -f "$dir/count"
    PATH="$dir:$PATH" "$wrapper" prog.exe --flag >"$dir/out" 2>"$dir/err"
    rc=$?
    got=$(cat "$dir/count")
    if [[ $rc != "$want" || $got != "$starts" ]]; then
        echo "FAIL: plan $plan: exit $rc (want $want), started $got times (want $starts)"
        failures=$((failures + 1))
    fi
    if [[ $plan == say:* ]] && ! grep -q "output of prog.exe --flag" "$dir/out"; then
        echo "FAIL: plan $plan: the program's output and arguments did not come through"
        failures=$((failures + 1))
    fi
done <<'CASES'
say:0 0 1
say:3 3 1
err:2 2 1
silent:0 0 1
silent:1,say:0 0 2
silent:1,say:4 4 2
silent:1,silent:5 5 2
CASES
grep -q "Wine did not start it" "$dir/err" || { echo "FAIL: the second start was not reported"; failures=$((failures + 1)); }
[[ $failures -eq 0 ]] && echo "all cases passed"
exit $((failures != 0))
