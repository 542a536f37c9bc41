#!/usr/bin/env bash
# Opt-in check with real mail programs, not part of the test command: it needs Debian's
# thunderbird and evolution (about 700 MB with what they pull in; `bash scripts/install-deps.sh
# mailprograms`) and takes about a minute. For each program it makes a private home folder in
# which that program is the desktop's mail program, hands one draft over as the scan job does
# (build/test/tests/mail/pd_mail_handoff_probe) on a virtual display with a session bus of its
# own, and waits for the program's compose window, named after the draft's subject.
# Usage: bash tests/mail/real_mail_programs.sh [BUILD_DIR]   (exit 0 all shown, 1 a failure, 77 skipped)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/test}
[ "$build" = --session ] && build=build/test
probe=$build/tests/mail/pd_mail_handoff_probe

for command in thunderbird evolution xvfb-run dbus-run-session xwininfo gsettings; do
    if ! command -v "$command" >/dev/null; then
        echo "skipped: $command is missing (bash scripts/install-deps.sh mailprograms)"
        exit 77
    fi
done
if [ ! -x "$probe" ]; then
    echo "skipped: $probe is not built (cmake --build $build --target pd_mail_handoff_probe)"
    exit 77
fi

subject="Grüße, Müller's Angebot & Preise"
body=$(printf 'Guten Tag,\r\n\r\nanbei 100%% des Scans.\r\nGruß')
pdf_fixture=$PWD/tests/data/mail/Scan_20251201_1435.pdf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A Thunderbird profile with one account that never goes on line: without an account Thunderbird
# shows its account wizard instead of the draft.
thunderbird_profile() {
    mkdir -p "$HOME/.thunderbird/check.default"
    printf '[Profile0]\nName=check\nIsRelative=1\nPath=check.default\nDefault=1\n\n[General]\nStartWithLastProfile=1\nVersion=2\n' \
        >"$HOME/.thunderbird/profiles.ini"
    cat >"$HOME/.thunderbird/check.default/user.js" <<'PREFS'
user_pref("mail.accountmanager.accounts", "account1,account2");
user_pref("mail.accountmanager.defaultaccount", "account1");
user_pref("mail.accountmanager.localfoldersserver", "server2");
user_pref("mail.account.account1.identities", "id1");
user_pref("mail.account.account1.server", "server1");
user_pref("mail.account.account2.server", "server2");
user_pref("mail.identity.id1.fullName", "Poststelle");
user_pref("mail.identity.id1.useremail", "poststelle@example.org");
user_pref("mail.identity.id1.valid", true);
user_pref("mail.identity.id1.smtpServer", "smtp1");
user_pref("mail.server.server1.hostname", "pop.example.invalid");
user_pref("mail.server.server1.type", "pop3");
user_pref("mail.server.server1.userName", "poststelle");
user_pref("mail.server.server1.login_at_startup", false);
user_pref("mail.server.server1.check_new_mail", false);
user_pref("mail.server.server2.hostname", "Local Folders");
user_pref("mail.server.server2.type", "none");
user_pref("mail.server.server2.userName", "nobody");
user_pref("mail.smtpservers", "smtp1");
user_pref("mail.smtp.defaultserver", "smtp1");
user_pref("mail.smtpserver.smtp1.hostname", "smtp.example.invalid");
user_pref("mail.shell.checkDefaultClient", false);
user_pref("mail.provider.suppress_dialog_on_startup", true);
user_pref("mailnews.start_page.enabled", false);
user_pref("mail.rights.version", 1);
user_pref("datareporting.policy.dataSubmissionPolicyBypassNotification", true);
user_pref("app.update.auto", false);
PREFS
}

# Runs inside the virtual display and session bus: hands the draft over, then waits for the window.
session() {
    local title=$1
    "$probe" "$JOB/Scan_20251201_1435.pdf" "empfang@example.org" "$subject" "$body"
    for _ in $(seq 90); do
        if xwininfo -root -tree 2>/dev/null | grep -F -q "\"$title"; then
            echo "window: $(xwininfo -root -tree | grep -F "\"$title" | head -1 | sed 's/^ *//')"
            return 0
        fi
        sleep 1
    done
    echo "no window named \"$title...\" within 90 s"
    return 1
}

check() {
    local what=$1 desktop_file=$2 title=$3
    echo "== $what"
    export HOME=$work/$desktop_file
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
    export XDG_CURRENT_DESKTOP=X-Generic GSETTINGS_BACKEND=keyfile MOZ_LEGACY_PROFILES=1
    export JOB="$HOME/job folder" subject body probe
    mkdir -p "$XDG_CONFIG_HOME" "$JOB"
    cp "$pdf_fixture" "$JOB/"
    printf '[Default Applications]\nmessage/rfc822=%s;\nx-scheme-handler/mailto=%s;\n' "$desktop_file" "$desktop_file" \
        >"$XDG_CONFIG_HOME/mimeapps.list"
    [ "$desktop_file" = thunderbird.desktop ] && thunderbird_profile
    timeout 180 xvfb-run -a -s "-screen 0 1280x900x24" dbus-run-session -- bash "$script" --session "$title" \
        2>"$work/$desktop_file.log" || { echo "failed; its error output:"; tail -n 15 "$work/$desktop_file.log"; return 1; }
}

script=$PWD/tests/mail/real_mail_programs.sh
if [ "${1:-}" = --session ]; then
    session "$2"
    exit
fi
failed=0
check "Evolution: mailto: link with the PDF attached" org.gnome.Evolution.desktop "$subject" || failed=1
check "Thunderbird: the message file" thunderbird.desktop "Write: $subject" || failed=1
exit $failed
