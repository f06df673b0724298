#!/usr/bin/env bash
# Times the SFTP module against OpenSSH's own clients on a local server of its own
# (127.0.0.1, generated keys, no PAM): one large upload and download against `sftp`,
# and a run without changes over many small files against `rsync -a --delete -e ssh`.
#
# Usage: bench/sftp_compare.sh [CRVL] [MODULE] [MEBIBYTES] [FILES]
#   (default: build/linux-release/crvl if present, else build/linux/crvl; the module
#    beside it in plugins/; 200 MiB; 2000 files)
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
set -uo pipefail
cd "$(dirname "$0")/.."
default=build/linux-release/crvl
[ -x "$default" ] || default=build/linux/crvl
crvl=$(realpath "${1:-$default}")
module=$(realpath "${2:-$(dirname "$crvl")/plugins/sftp.wfx64}")
mib=${3:-200}
files=${4:-2000}

work=$(mktemp -d "${TMPDIR:-/tmp}/crvl-sftp-bench.XXXXXX")
sshd_pid=
trap '[ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME/.ssh" "$XDG_CONFIG_HOME/Halberic" "$XDG_STATE_HOME" "$XDG_RUNTIME_DIR" "$work/srv" "$work/L"

ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/user_key"
port=$(( 20000 + RANDOM % 20000 ))
printf 'ListenAddress 127.0.0.1\nHostKey %s\nAuthorizedKeysFile %s\nPidFile %s\nUsePAM no\nStrictModes no\nSubsystem sftp internal-sftp\n' \
  "$work/host_key" "$work/user_key.pub" "$work/sshd.pid" > "$work/sshd_config"
mkdir -p /run/sshd
/usr/sbin/sshd -D -f "$work/sshd_config" -p "$port" 2> "$work/sshd.log" &
sshd_pid=$!
sleep 0.5
echo "[127.0.0.1]:$port $(cat "$work/host_key.pub")" > "$HOME/.ssh/known_hosts"
ssh_opts=(-i "$work/user_key" -o "UserKnownHostsFile=$HOME/.ssh/known_hosts" -o BatchMode=yes)
fingerprint=$(ssh-keygen -lf "$work/host_key.pub" | awk '{print $2}')
printf '[bench]\nHost=127.0.0.1\nPort=%s\nUser=%s\nKeyFile=%s\nHostKey=%s\n' "$port" "$(id -un)" "$work/user_key" \
  "$fingerprint" > "$XDG_CONFIG_HOME/Halberic/sftp.ini"
settings="$work/settings.ini"
printf '[CRVL]\r\nLog=%s\r\n' "$work/logs" > "$settings"
"$crvl" --settings "$settings" plugin add SFTP "$module" > /dev/null
job() {  # NAME LEFT RIGHT
  printf '[CRVL]\r\nOption=0;+>;=>;->;_>;?;!=;d;d+\r\nFilter=\r\n\r\n[Folder]\r\n1=+%s;%s\r\n' "$2" "$3" > "$work/$1.job"
}
seconds() { local s; s=$(date +%s.%N); "$@" > /dev/null 2>&1 || echo "bench: '$*' failed" >&2; echo "$(date +%s.%N) - $s" | bc; }

head -c $((mib * 1048576)) /dev/urandom > "$work/L/big.bin"
job Up "$work/L" "///SFTP/bench$work/srv"
up_crvl=$(seconds "$crvl" --settings "$settings" run "$work/Up.job")
rm -f "$work/srv/big.bin"
up_sftp=$(seconds sftp -q "${ssh_opts[@]}" -P "$port" -b <(echo "put $work/L/big.bin $work/srv/big.bin") 127.0.0.1)
mkdir -p "$work/D"
job Down "///SFTP/bench$work/srv" "$work/D"
down_crvl=$(seconds "$crvl" --settings "$settings" run "$work/Down.job")
down_sftp=$(seconds sftp -q "${ssh_opts[@]}" -P "$port" -b <(echo "get $work/srv/big.bin $work/big.copy") 127.0.0.1)
echo "upload of $mib MiB:   crvl $up_crvl s, sftp $up_sftp s"
echo "download of $mib MiB: crvl $down_crvl s, sftp $down_sftp s"

rm -rf "$work/L" "$work/srv" "$work/D" && mkdir -p "$work/L" "$work/srv"
for i in $(seq "$files"); do
  d="$work/L/d$((i % 20))"; mkdir -p "$d"; echo "file $i" > "$d/f$i.txt"
done
"$crvl" --settings "$settings" run "$work/Up.job" > /dev/null 2>&1
mkdir -p "$work/R"
rsync -a --delete -e "ssh ${ssh_opts[*]} -p $port" "$work/L/" "127.0.0.1:$work/R/"
same_crvl=$(seconds "$crvl" --settings "$settings" run "$work/Up.job")
same_rsync=$(seconds rsync -a --delete -e "ssh ${ssh_opts[*]} -p $port" "$work/L/" "127.0.0.1:$work/R/")
echo "no-change run over $files files: crvl $same_crvl s, rsync -e ssh $same_rsync s"
