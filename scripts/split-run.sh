#!/bin/sh
# Converts a fax folder tree on several machines at once. pliftcmd lists the
# files a folder run takes (pliftcmd /list), in groups that must stay
# together (files whose JPEG names may meet); GNU parallel hands each group
# to one of the machines it reaches (its --sshlogin list; ":" is this
# machine), whose pliftcmd converts exactly those files (/files=-). The JPEG
# files land exactly where the folder run pliftcmd /d=SOURCE /sd=DEST /i /kh
# OPTION... would put them, and the reports come back merged into one on
# standard output, ending with the count of converted files.
#
#   split-run.sh [-S LOGINS] [-j JOBS] [-s SSH] SOURCE DEST [PLIFTCMD-OPTION...]
#
#   -S LOGINS  the machines, as GNU parallel's --sshlogin takes them
#              ("4/user@host1,user@host2,:"); default ":" (this machine)
#   -j JOBS    groups converted at a time on each machine (default: its cores)
#   -s SSH     the ssh command parallel runs ("ssh -p 2222"), as its --ssh
#
# Every machine needs pliftcmd on its PATH (or PLIFTCMD naming it) and the
# source and destination folders at the same paths (one shared folder: NFS,
# SMB, sshfs). Options after DEST go to the listing and to every pliftcmd
# (/filter=, /ke, /qa=80, /l ...). Exit status 0 when every group was
# converted, 1 when the listing failed or a machine could not run pliftcmd.
set -eu

usage() {
    sed -n '11,15p' "$0" >&2
    exit 2
}

logins=":"
jobs=""
ssh=""
while getopts S:j:s: option; do
    case $option in
    S) logins=$OPTARG ;;
    j) jobs=$OPTARG ;;
    s) ssh=$OPTARG ;;
    *) usage ;;
    esac
done
shift $((OPTIND - 1))
[ $# -ge 2 ] || usage
[ -d "$1" ] || { echo "split-run.sh: no folder $1" >&2; exit 2; }
source=$(cd "$1" && pwd)
mkdir -p "$2"
dest=$(cd "$2" && pwd)
shift 2
pliftcmd=${PLIFTCMD:-pliftcmd}

printf 'Zoziv Pagelift command line mode : convert folder\nSource Folder: %s\nSave Folder: %s\n' "$source" "$dest"

list=$(mktemp)
jobs_status=$(mktemp)
trap 'rm -f "$list" "$jobs_status"' EXIT
"$pliftcmd" "/d=$source" "/sd=$dest" /i /kh "$@" /list >"$list" || exit 1

# A word quoted for the shell that runs each job, here or on a machine ssh
# reaches: blanks and quotes in folder names stay as they are.
quoted() {
    printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"
}
command="$(quoted "$pliftcmd") /log= /i /kh $(quoted "/d=$source") $(quoted "/sd=$dest")"
for option in "$@"; do command="$command $(quoted "$option")"; done

# Each line of the listing is one group: fed to a pliftcmd that converts its
# files and reports them as a folder run does. Its heading and total are
# left out here; the totals are added up.
{
    status=0
    parallel --will-cite --sshlogin "$logins" ${jobs:+--jobs "$jobs"} ${ssh:+--ssh "$ssh"} --keep-order \
        "printf '%s\\n' {} | $command /files=-" <"$list" || status=1
    echo $status >"$jobs_status"
} | awk '
        /^Zoziv Pagelift command line mode : convert folder$/ { heading = 2; next }
        heading > 0 { heading--; next }
        /^Total converted FAX files: [0-9]+$/ { converted += $NF; next }
        /^---------$/ { next }
        /^$/ { next }
        { print }
        END { printf "\n---------\nTotal converted FAX files: %d\n", converted }
    '
exit "$(cat "$jobs_status")"
