#!/usr/bin/env bash
# The SFTP plug-in module end to end, with the real program and a real OpenSSH server
# of its own on 127.0.0.1 (generated ed25519 host and user keys, its own authorized
# keys, no PAM; stopped by its PID): unknown and wrong host keys refuse and change
# nothing, accept-new records the key, Mirror to and from the server, a run without
# changes copies nothing although the local times have sub-second parts, changes and
# deletions propagate, simulation changes nothing, an encrypted key's passphrase comes
# from --password-stdin, a Bidirectional job carries new and newer files both ways, a
# password login (an account of the test's own) refuses a wrong password, and
# the server killed during a large upload leaves no partial file under the real name.
#
# Usage: scripts/sftp-test.sh [CRVL] [MODULE]
#   (default: build/linux/crvl and build/linux/plugins/sftp.wfx64). A CRVL ending in
#   ".exe" is the Windows console program with the Windows module, run under Wine
#   (WINEPREFIX as set by the caller), against the same server.
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -uo pipefail
cd "$(dirname "$0")/.."
crvl=$(realpath "${1:-build/linux/crvl}")
module=$(realpath "${2:-build/linux/plugins/sftp.wfx64}")
sshd=/usr/sbin/sshd
for f in "$crvl" "$module" "$sshd"; do [ -e "$f" ] || { echo "sftp-test: missing $f"; exit 1; }; done
windows=
case "$crvl" in *.exe) windows=1 ;; esac
# The program, and a local path as the program names it (Wine: drive Z: is /).
program() { if [ -n "$windows" ]; then wine "$crvl" "$@"; else "$crvl" "$@"; fi; }
P() { if [ -n "$windows" ]; then local p=${1//\//\\}; echo "Z:$p"; else echo "$1"; fi; }

work=$(mktemp -d "${TMPDIR:-/tmp}/crvl-sftp.XXXXXX")
sshd_pid=
pw_user=
cleanup() {
  [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null
  [ -n "$pw_user" ] && { sleep 0.2; userdel -f "$pw_user" 2>/dev/null; }
  [ -n "${SFTP_TEST_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The test's own home and configuration folders.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Halberic" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR" "$work/srv" "$work/logs"
chmod 700 "$XDG_RUNTIME_DIR"

# --- the server ----------------------------------------------------------------------
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key" || exit 1
ssh-keygen -q -t ed25519 -N '' -f "$work/user_key" || exit 1
ssh-keygen -q -t ed25519 -N 'open sesame' -f "$work/locked_key" || exit 1
cat "$work/user_key.pub" "$work/locked_key.pub" > "$work/authorized_keys"
fingerprint=$(ssh-keygen -lf "$work/host_key.pub" | awk '{print $2}')
port=$(( 20000 + RANDOM % 20000 ))
cat > "$work/sshd_config" <<CONF
ListenAddress 127.0.0.1
HostKey $work/host_key
AuthorizedKeysFile $work/authorized_keys
PidFile $work/sshd.pid
UsePAM no
StrictModes no
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
Subsystem sftp internal-sftp
CONF
mkdir -p /run/sshd  # the privilege separation folder sshd insists on
start_server() {
  "$sshd" -D -e -f "$work/sshd_config" -p "$port" 2>> "$work/sshd.log" &
  sshd_pid=$!
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  kill -0 "$sshd_pid" 2>/dev/null || { echo "sftp-test: sshd did not start: $(cat "$work/sshd.log")"; exit 1; }
}
# Kills the server and its session processes (the ones it forked, by their PIDs).
kill_server() {
  local pids=("$sshd_pid") i=0 child
  while [ "$i" -lt "${#pids[@]}" ]; do
    for child in $(ps -o pid= --ppid "${pids[$i]}"); do pids+=("$child"); done
    i=$((i + 1))
  done
  kill -KILL "${pids[@]}" 2>/dev/null
  wait "$sshd_pid" 2>/dev/null
  sshd_pid=
}
start_server

# --- the program ---------------------------------------------------------------------
settings="$work/settings.ini"
printf '[CRVL]\r\nLog=%s\r\nExpMode=1\r\n' "$(P "$work/logs")" > "$settings"
program --settings "$(P "$settings")" plugin add SFTP "$(P "$module")" > /dev/null || fail "plugin add"
if [ -n "$windows" ]; then  # %APPDATA%\Halberic
  ini="${WINEPREFIX:-$HOME/.wine}/drive_c/users/$(ls "${WINEPREFIX:-$HOME/.wine}/drive_c/users" | grep -vx Public | head -1)"
  ini="$ini/AppData/Roaming/Halberic/sftp.ini"
  rm -f "$ini"  # the prefix outlives the test: no connection of an earlier run
else
  ini="$XDG_CONFIG_HOME/Halberic/sftp.ini"
fi
connection() {  # HOSTKEY [KEYFILE]
  printf '[Box]\r\nHost=127.0.0.1\r\nPort=%s\r\nUser=%s\r\nKeyFile=%s\r\n%s' "$port" "$(id -un)" \
    "$(P "${2:-$work/user_key}")" "${1:+HostKey=$1$'\r\n'}" > "$ini"
}
side() { case "$1" in ///*) echo "$1" ;; *) P "$1" ;; esac; }
mirror_job() {  # NAME LEFT RIGHT
  printf '[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+%s;%s\r\n' "$(side "$2")" "$(side "$3")" \
    > "$work/$1.job"
}
run() { program --settings "$(P "$settings")" "$@" > "$work/out" 2>&1 < /dev/null; }
copied() { grep -o 'files copied: *[0-9]*' "$work/out" | grep -o '[0-9]*$'; }
same_tree() { diff -r --no-dereference "$1" "$2" > /dev/null; }

# 0. sftp add shows the host key and stores the connection only once confirmed; list
#    shows it; remove takes it away.
address="$(id -un)@127.0.0.1:$port"
printf 'n\n' | program --settings "$(P "$settings")" sftp add Box "$address" --key "$(P "$work/user_key")" > "$work/out" 2>&1
[ $? -eq 1 ] && grep -q "$fingerprint" "$work/out" && ! grep -qs '^\[Box\]' "$ini" ||
  fail "sftp add answered no: $(tail -3 "$work/out")"
run sftp add Box "$address" --key "$(P "$work/user_key")" --yes || fail "sftp add: $(tail -3 "$work/out")"
grep -q "^HostKey=$fingerprint" "$ini" && grep -q "^Port=$port" "$ini" || fail "sftp add stored: $(cat "$ini")"
run sftp list && grep -q "^Box  $address  key .*user_key  $fingerprint" "$work/out" || fail "sftp list: $(cat "$work/out")"
run sftp remove Box && ! grep -q '^\[Box\]' "$ini" || fail "sftp remove: $(cat "$ini")"

mkdir -p "$work/L/sub"
printf 'alpha' > "$work/L/a.txt"
printf 'beta' > "$work/L/sub/b.txt"
head -c 3000000 /dev/urandom > "$work/L/big.bin"
# Sub-second times, which the server keeps only in whole seconds.
touch -d '2024-03-01 10:00:00.75' "$work/L/a.txt" "$work/L/sub/b.txt" "$work/L/big.bin"
mirror_job Up "$work/L" "///SFTP/Box$work/srv"

# 1. No HostKey, then a wrong one: refused, nothing on the server, the fingerprint named.
for key in "" "SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"; do
  connection "$key"
  run run "$(P "$work/Up.job")"
  status=$?
  [ "$status" -eq 1 ] || fail "host key '${key:-none}': exit status $status, not 1: $(tail -12 "$work/out")"
  [ -z "$(ls -A "$work/srv")" ] || fail "host key '${key:-none}': something reached the server"
  grep -q "$fingerprint" "$work/out" || fail "host key '${key:-none}': the output does not name $fingerprint"
done

# 2. accept-new records the key; the Mirror to the server copies the tree.
connection accept-new
run run "$(P "$work/Up.job")" || fail "Mirror to the server: $(tail -5 "$work/out")"
grep -q "^HostKey=$fingerprint" "$ini" || fail "accept-new did not record the key: $(cat "$ini")"
same_tree "$work/L" "$work/srv" || fail "the server's tree differs after the Mirror"
[ "$(find "$work/srv" -name '.~crvl*' | wc -l)" -eq 0 ] || fail "temporary files left on the server"

# 3. A second run copies nothing, although the local times have sub-second parts.
run run "$(P "$work/Up.job")" || fail "second run: $(tail -5 "$work/out")"
[ "$(copied)" = 0 ] || fail "a run without changes copied $(copied) files"

# 4. Simulation changes nothing; a change and a deletion then propagate.
printf 'alpha, changed' > "$work/L/a.txt"
rm "$work/L/sub/b.txt"
run simulate "$(P "$work/Up.job")" || fail "simulate: $(tail -5 "$work/out")"
[ "$(cat "$work/srv/a.txt")" = alpha ] && [ -e "$work/srv/sub/b.txt" ] || fail "simulation changed the server"
run run "$(P "$work/Up.job")" || fail "third run: $(tail -5 "$work/out")"
same_tree "$work/L" "$work/srv" || fail "a change or a deletion did not reach the server"

# 5. A link on the server is reported as a link: the Mirror removes it as an entry and
#    never deletes through it.
mkdir -p "$work/outside"
printf 'keep' > "$work/outside/keep.txt"
ln -s "$work/outside" "$work/srv/link"
run run "$(P "$work/Up.job")"
[ -e "$work/outside/keep.txt" ] || fail "the Mirror deleted through the server's link"
same_tree "$work/L" "$work/srv" || fail "the server's extra link was not removed"
# 6. Mirror from the server into a new local folder, with the encrypted key whose
#    passphrase comes from standard input.
connection "$fingerprint" "$work/locked_key"
mirror_job Down "///SFTP/Box$work/srv" "$work/D"
mkdir -p "$work/D"
printf 'local only' > "$work/D/stray.txt"
run run "$(P "$work/Down.job")"
[ ! -e "$work/D/a.txt" ] && [ -e "$work/D/stray.txt" ] || fail "without its passphrase the key still logged in"
printf 'open sesame\n' | program --settings "$(P "$settings")" --password-stdin run "$(P "$work/Down.job")" > "$work/out" 2>&1 ||
  fail "Mirror from the server: $(tail -5 "$work/out")"
same_tree "$work/srv" "$work/D" || fail "the local tree differs after the Mirror from the server"

# 7. Bidirectional between a local folder and the server: what is new or newer on either
#    side reaches the other, and a run after it copies nothing.
connection "$fingerprint"
mkdir -p "$work/B" "$work/srv/both"
printf 'from here' > "$work/B/local.txt"
printf 'from there' > "$work/srv/both/remote.txt"
run job new Both "$(P "$work/B")" "///SFTP/Box$work/srv/both" --mode Bidirectional --file "$(P "$work/Both.job")" ||
  fail "job new Bidirectional: $(tail -3 "$work/out")"
run run "$(P "$work/Both.job")" || fail "Bidirectional run: $(tail -5 "$work/out")"
[ "$(cat "$work/srv/both/local.txt" 2>/dev/null)" = "from here" ] && [ "$(cat "$work/B/remote.txt" 2>/dev/null)" = "from there" ] ||
  fail "Bidirectional: the new files did not cross: $(tail -8 "$work/out")"
printf 'from there, newer' > "$work/srv/both/remote.txt"
touch -d '+2 minutes' "$work/srv/both/remote.txt"
run run "$(P "$work/Both.job")" || fail "second Bidirectional run: $(tail -5 "$work/out")"
[ "$(cat "$work/B/remote.txt")" = "from there, newer" ] || fail "Bidirectional: the newer file on the server did not come back"
run run "$(P "$work/Both.job")" || fail "third Bidirectional run: $(tail -5 "$work/out")"
[ "$(copied)" = 0 ] || fail "a Bidirectional run without changes copied $(copied) files"

# 8. Password login, for a connection without a key file: a wrong password is refused
#    and changes nothing; the right one from standard input logs in. It needs an account
#    with a password, so as root the test makes one of its own and removes it after.
if [ "$(id -u)" -eq 0 ] && command -v useradd > /dev/null; then
  for old in $(getent passwd | grep -o '^crvl-pw-[0-9]*'); do  # left by a killed test
    kill -0 "${old#crvl-pw-}" 2>/dev/null || userdel "$old" 2>/dev/null
  done
  pw_user=crvl-pw-$$
  pw_password='Secret 42 pass'
  chmod 711 "$work"
  mkdir -p "$work/pwhome/srv"
  useradd --no-create-home --home-dir "$work/pwhome" --shell /bin/sh --user-group "$pw_user" || fail "useradd"
  printf '%s:%s\n' "$pw_user" "$pw_password" | chpasswd || fail "chpasswd"
  chown -R "$pw_user:" "$work/pwhome"
  sed -i 's/^PasswordAuthentication no/PasswordAuthentication yes/' "$work/sshd_config"
  kill_server
  start_server
  printf '[Box]\r\nHost=127.0.0.1\r\nPort=%s\r\nUser=%s\r\nHostKey=%s\r\n' "$port" "$pw_user" "$fingerprint" > "$ini"
  mkdir -p "$work/P"
  printf 'by password' > "$work/P/p.txt"
  mirror_job Pw "$work/P" "///SFTP/Box$work/pwhome/srv"
  printf 'not it\n' | program --settings "$(P "$settings")" --password-stdin run "$(P "$work/Pw.job")" > "$work/out" 2>&1
  [ $? -eq 1 ] && [ -z "$(ls -A "$work/pwhome/srv")" ] || fail "a wrong password: $(tail -5 "$work/out")"
  grep -q "password was refused" "$work/out" || fail "a wrong password is not reported: $(tail -5 "$work/out")"
  printf '%s\n' "$pw_password" | program --settings "$(P "$settings")" --password-stdin run "$(P "$work/Pw.job")" > "$work/out" 2>&1 ||
    fail "password login: $(tail -5 "$work/out")"
  same_tree "$work/P" "$work/pwhome/srv" || fail "the Mirror with password login differs"
  [ "$(stat -c %U "$work/pwhome/srv/p.txt" 2>/dev/null)" = "$pw_user" ] || fail "the upload was not made by the password user"
else
  echo "sftp-test: password login not tested (it needs root to make an account with a password)"
fi

# 9. The server killed during a large upload: no partial file under the real name; the
#    next run completes the upload and removes what the broken one left.
connection "$fingerprint"
head -c 200000000 /dev/zero > "$work/L/huge.bin"
program --settings "$(P "$settings")" run "$(P "$work/Up.job")" > "$work/out" 2>&1 < /dev/null &
run_pid=$!
for _ in $(seq 200); do
  [ -n "$(find "$work/srv" -name '.~crvl*.tmp' -size +1M 2>/dev/null)" ] && break
  sleep 0.05
done
kill_server
wait "$run_pid"
status=$?
[ "$status" -ne 0 ] || fail "a run whose server was killed reports success"
[ ! -e "$work/srv/huge.bin" ] || fail "a broken upload left a file under the real name"
[ -n "$(find "$work/srv" -name '.~crvl*.tmp')" ] || fail "no upload was under way when the server was killed"
# A leftover is taken as abandoned once it is ten minutes old (a fresh one may be an
# upload still going on).
find "$work/srv" -name '.~crvl*.tmp' -exec touch -d '1 hour ago' {} +
start_server
run run "$(P "$work/Up.job")" || fail "the run after the broken upload: $(tail -5 "$work/out")"
cmp -s "$work/L/huge.bin" "$work/srv/huge.bin" || fail "the upload after the broken one differs"
[ "$(find "$work/srv" -name '.~crvl*' | wc -l)" -eq 0 ] || fail "the broken upload's temporary file stayed"

if [ "$failures" -eq 0 ]; then
  echo "sftp-test: all checks passed"
else
  echo "sftp-test: $failures failures"
  exit 1
fi
