# The check helpers of the test scripts, sourced by them: each check prints
# a line, and $failures counts those that failed.
failures=0
pass() { echo "  ok    $1"; }
fail() {
  echo "  FAIL  $1"
  failures=$((failures + 1))
}
skip() { echo "  skip  $1"; }
expect_eq() {  # what, expected, actual
  if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: expected [$2], got [$3]"; fi
}
