#!/bin/sh
# Converts a fax folder tree on several machines at once: GNU parallel hands
# each fax file to one of the machines it reaches (its --sshlogin list; ":"
# is this machine), which runs pliftcmd on it. The JPEG files land in the
# destination tree exactly where a folder run with subfolders and their tree
# kept (pliftcmd /d=SOURCE /sd=DEST /i /kh) would put them, and the reports
# of all files come back in file order, merged into one report on standard
# output that ends with the count of converted files.
#
#   split-run.sh [-S LOGINS] [-j JOBS] SOURCE DEST [PLIFTCMD-OPTION...]
#
#   -S LOGINS  the machines, as GNU parallel's --sshlogin takes them
#              ("4/user@host1,user@host2,:"); default ":" (this machine)
#   -j JOBS    files converted at a time on each machine (default: its cores)
#
# Every machine needs pliftcmd on its PATH (or PLIFTCMD naming it) and the
# source and destination folders at the same paths (one shared folder: NFS,
# SMB, sshfs). Options after DEST go to every pliftcmd (/qa=80 /l ...);
# naming options (/ke, /kh, /filter=) do not apply here. Exit status 0 when
# every file was reported on, 1 when a machine could not run pliftcmd.
set -eu

usage() {
    sed -n '9,13p' "$0" >&2
    exit 2
}

logins=":"
jobs=""
while getopts S:j: option; do
    case $option in
    S) logins=$OPTARG ;;
    j) jobs=$OPTARG ;;
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

# The files a folder run lists: not the names that are never faxes, and the
# JPEG files are reported, not converted. Each line: source, then the JPEG
# path (the extension cut at the last dot of the file name).
list=$(mktemp)
trap 'rm -f "$list"' EXIT
(cd "$source" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) |
    grep -viE '\.(sys|dll|bat|lnk|txt|zip|rar|db)$' |
    while IFS= read -r file; do
        case $file in
        *.[jJ][pP][gG] | *.[jJ][pP][eE][gG]) printf '%s\t-\n' "$source/$file" ;;
        *)
            name=${file##*/}
            case $name in
            ?*.*) stem=${file%.*} ;;
            *) stem=$file ;;
            esac
            printf '%s\t%s\n' "$source/$file" "$dest/$stem.jpg"
            ;;
        esac
    done >"$list"

# One pliftcmd per file; its report without the heading line, in file
# order, each closed by a marker line. A JPEG source only gets the line a
# folder run writes for it. A file counts as converted when its report ends
# in success, as in a folder run.
status=0
parallel --will-cite --sshlogin "$logins" ${jobs:+--jobs "$jobs"} --keep-order --colsep '\t' \
    'if [ {2} = - ]; then printf "%s : already JPEG format, need no converting!\n" {1}; else' \
    "$pliftcmd" '/log= "/f="{1} "/sf="{2}' "$@" '| tail -n +2; fi; echo "@@ end of file @@"' <"$list" |
    awk '
        $0 == "@@ end of file @@" { if (last ~ /: Success !$/) converted++; last = ""; next }
        { print; last = $0 }
        END { printf "\n---------\nTotal converted FAX files: %d\n", converted }
    ' || status=1
exit $status
