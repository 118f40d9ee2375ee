#!/bin/sh
# Tries the watch service's mail drop-ins under a real systemd. Boots a
# Debian 12 container (debootstrap, then systemd-nspawn -b, on a network of
# its own) with the package from out/ installed and an SMTP server in it,
# and checks, fax by fax, each fax arriving exactly once:
#   1. the sealed unit alone: msmtp cannot reach the server, the mail fails;
#   2. with mail.conf: the watcher's restart delivers that fax, msmtp the next;
#   3. postfix with mail.conf only: postdrop is refused its queue, the mail
#      is deferred; with sendmail-setid.conf it is delivered, and the next;
#   4. exim4 (a smarthost client) with sendmail-setid.conf: delivered at once.
# Needs root, Debian's mirror and out/pagelift_*.deb (scripts/package.sh).
#   check-watch-mail.sh [CACHE]   CACHE: a folder for the base system,
#                                 kept between runs (default /var/tmp/pagelift-mail-check)
set -eu
cd "$(dirname "$0")/.."
root="$(pwd)"
cache="${1:-/var/tmp/pagelift-mail-check}"

fail() {
    echo "check failed: $*" >&2
    if [ -f "${box:-}/var/log/exim4/mainlog" ]; then tail -n 5 "$box/var/log/exim4/mainlog" >&2; fi
    exit 1
}
[ "$(id -u)" = 0 ] || fail "run as root"
deb="$(ls "$root"/out/pagelift_*_amd64.deb 2>/dev/null | head -n 1)"
[ -n "$deb" ] || fail "no out/pagelift_*_amd64.deb: run scripts/package.sh"
command -v debootstrap >/dev/null && command -v systemd-nspawn >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap systemd-container

# The base system once; each run works on a copy of it.
base="$cache/base"
if [ ! -x "$base/lib/systemd/systemd" ]; then
    rm -rf "$base"
    mkdir -p "$cache"
    debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus,msmtp,python3-aiosmtpd,ca-certificates \
        bookworm "$base" http://deb.debian.org/debian
fi
box="$cache/run"
rm -rf "$box"
cp -a "$base" "$box"
nspawn=""
cleanup() {
    if [ -n "$nspawn" ]; then kill "$nspawn" 2>/dev/null || true; wait "$nspawn" 2>/dev/null || true; fi
    if mountpoint -q "$box/dev"; then umount "$box/dev"; fi
    rm -rf "$box"
}
trap cleanup EXIT

# In the copy, before it boots: the package with what it needs, postfix and
# exim4 fetched (the container has no way out), the settings.
cp "$deb" "$box/root/pagelift.deb"
mount --bind /dev "$box/dev"
chroot "$box" sh -c 'dpkg -i /root/pagelift.deb >/dev/null 2>&1 ||
    DEBIAN_FRONTEND=noninteractive apt-get -f install -y -q >/dev/null 2>&1'
chroot "$box" dpkg -s pagelift >/dev/null || fail "the package did not install"
for mta in postfix exim4-daemon-light; do
    chroot "$box" apt-get install -y -q --download-only "$mta" >/dev/null
done
umount "$box/dev"
echo pagelift-check > "$box/etc/hostname"
printf 'defaults\nauth off\ntls off\nsyslog off\naccount default\nhost 127.0.0.1\nport 2525\nfrom pagelift@example.org\n' \
    > "$box/etc/msmtprc"
chmod 644 "$box/etc/msmtprc"
mkdir -p "$box/var/mail/box/tmp" "$box/var/mail/box/new" "$box/var/mail/box/cur" "$box/srv/pagelift/in" \
    "$box/srv/pagelift/out" "$box/etc/pagelift/watch"
chroot "$box" chown -R pagelift:pagelift /srv/pagelift
cat > "$box/etc/systemd/system/smtp-box.service" <<'EOF'
[Unit]
Description=An SMTP server on 127.0.0.1:2525 that keeps each message in /var/mail/box
[Service]
ExecStart=/usr/bin/python3 -m aiosmtpd -n -l 127.0.0.1:2525 -c aiosmtpd.handlers.Mailbox /var/mail/box
[Install]
WantedBy=multi-user.target
EOF
sendmail_is() {
    printf 'SOURCE=/srv/pagelift/in\nDESTINATION=/srv/pagelift/out\nOPTIONS=/to=pdf /settle=0 /hooktime=5 %s %s\n' \
        "/mailto=someone@example.org /mailfrom=pagelift@example.org" "/sendmail=$1" > "$box/etc/pagelift/watch/check.conf"
}
sendmail_is /usr/bin/msmtp
chroot "$box" systemctl enable -q smtp-box.service pagelift-watch@check.service

systemd-nspawn -q -D "$box" -b --private-network --keep-unit --register=no --console=passive >/dev/null 2>&1 &
nspawn=$!
init=""
for _ in $(seq 100); do
    init="$(pgrep -P "$nspawn" | head -n 1)" && [ -n "$init" ] && [ "$(cat "/proc/$init/comm")" = systemd ] && break
    sleep 0.2
done
[ "$(cat "/proc/$init/comm" 2>/dev/null)" = systemd ] || fail "the container did not boot"
inside() { nsenter -t "$init" -a "$@"; }
timeout 60 nsenter -t "$init" -a systemctl is-system-running --wait >/dev/null || true
inside systemctl is-active -q smtp-box pagelift-watch@check || fail "the services did not start"

drop_ins="$box/etc/systemd/system/pagelift-watch@check.service.d"
mkdir -p "$drop_ins"
use_drop_in() {  # the drop-in alone ("" none), then the watcher restarted
    rm -f "$drop_ins"/*
    [ -z "$1" ] || cp "$box/usr/share/doc/pagelift/examples/$1" "$drop_ins/"
    inside systemctl daemon-reload
    inside systemctl restart pagelift-watch@check
}
journal() { inside journalctl -q -u pagelift-watch@check --no-pager -o cat; }
fax() {  # a fax arrives, as HylaFAX writes one: under another name, then renamed
    cp "$root/samples/memo-g4.tif" "$box/srv/pagelift/in/.$1.tif"
    chroot "$box" chown pagelift:pagelift "/srv/pagelift/in/.$1.tif"
    mv "$box/srv/pagelift/in/.$1.tif" "$box/srv/pagelift/in/$1.tif"
}
messages_of() { grep -l "filename=\"$1.pdf\"" "$box"/var/mail/box/new/* 2>/dev/null | wc -l; }
expect_message() {  # exactly one message carries the fax, within 20 s
    for _ in $(seq 100); do [ "$(messages_of "$1")" -ge 1 ] && break; sleep 0.2; done
    sleep 1
    [ "$(messages_of "$1")" = 1 ] || fail "$2: $(messages_of "$1") messages carry $1 (journal: $(journal | tail -n 3))"
    echo "$2: $1 mailed once"
}
expect_journal() {  # the journal says it within 20 s
    for _ in $(seq 100); do journal | grep -qF "$1" && return 0; sleep 0.2; done
    fail "$2: the journal does not say \"$1\" (it ends: $(journal | tail -n 3))"
}

fax fax1
expect_journal "Delivery failed : mail to someone@example.org (/usr/bin/msmtp exited with status" "sealed, msmtp"
[ "$(messages_of fax1)" = 0 ] || fail "sealed, msmtp: fax1 arrived"
echo "sealed, msmtp: the mail fails"
use_drop_in mail.conf
expect_message fax1 "mail.conf, msmtp, the watcher restarted"
fax fax2
expect_message fax2 "mail.conf, msmtp"

inside sh -c 'printf "%s\n" "postfix postfix/main_mailer_type select Satellite system" \
    "postfix postfix/relayhost string [127.0.0.1]:2525" "postfix postfix/mailname string pagelift-check.example.org" |
    debconf-set-selections && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-download postfix >/dev/null 2>&1 &&
    postconf -e smtp_tls_security_level=none && systemctl restart postfix'
sendmail_is /usr/sbin/sendmail
use_drop_in mail.conf
fax fax3
expect_journal "Delivery deferred : mail to someone@example.org (/usr/sbin/sendmail gave no answer" "mail.conf, postfix"
[ "$(messages_of fax3)" = 0 ] || fail "mail.conf, postfix: fax3 arrived"
echo "mail.conf, postfix: postdrop is refused, the mail deferred"
use_drop_in sendmail-setid.conf
expect_message fax3 "sendmail-setid.conf, postfix, the watcher restarted"
fax fax4
expect_message fax4 "sendmail-setid.conf, postfix"

# exim4 takes postfix's place: a smarthost client that lets the smarthost
# be this host (the SMTP server is here too).
inside sh -c 'printf "%s\n" "exim4-config exim4/dc_eximconfig_configtype select mail sent by smarthost; no local mail" \
    "exim4-config exim4/dc_smarthost string 127.0.0.1::2525" "exim4-config exim4/mailname string pagelift-check.example.org" \
    "exim4-config exim4/dc_other_hostnames string" "exim4-config exim4/dc_local_interfaces string 127.0.0.1" |
    debconf-set-selections && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-download exim4-daemon-light >/dev/null 2>&1'
sed -i -e '/^smarthost:$/,/^  driver = manualroute$/s/^  driver = manualroute$/&\n  self = send/' \
    -e '/^remote_smtp_smarthost:$/,/^  driver = smtp$/s/^  driver = smtp$/&\n  allow_localhost/' \
    "$box/etc/exim4/exim4.conf.template"
inside sh -c 'update-exim4.conf && systemctl restart exim4'
use_drop_in sendmail-setid.conf
fax fax5
# exim4's queue runs every 30 minutes: a message within 20 s went at once.
expect_message fax5 "sendmail-setid.conf, exim4"
for number in 1 2 3 4 5; do
    [ "$(messages_of "fax$number")" = 1 ] || fail "fax$number arrived $(messages_of "fax$number") times in all"
done
echo "every fax mailed once: the drop-ins hold"
