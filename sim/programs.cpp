// Stand-in system programs of the host simulation.
#include "sim/programs.h"

#include "platform/paths.h"
#include "sim/board.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kLog = "/var/log/standin.log";

// Every stand-in starts by recording itself. Its own PATH reaches the host's
// plain tools (tr, sleep, cat); the scripts only ever touch the sandbox.
const char kHeader[] = R"SH(#!/bin/sh
# Stand-in of the simulated board: records its arguments and answers as the
# daemon expects, touching nothing outside its sandbox.
ROOT=@ROOT@
PATH=/usr/bin:/bin
export PATH
name=${0##*/}
echo "$name${*:+ $*}" >> "$ROOT/var/log/standin.log"
# Power-cut knob: with /var/lib/standin/kill_at holding N and kill_pid a pid,
# the N-th stand-in started from then on kills that process with SIGKILL
# as it starts, and does nothing.
if [ -f "$ROOT/var/lib/standin/kill_at" ] && [ -f "$ROOT/var/lib/standin/kill_pid" ]; then
    kc=$(( $(cat "$ROOT/var/lib/standin/kill_count" 2>/dev/null || echo 0) + 1 ))
    echo "$kc" > "$ROOT/var/lib/standin/kill_count"
    if [ "$kc" = "$(cat "$ROOT/var/lib/standin/kill_at")" ]; then
        kill -9 "$(cat "$ROOT/var/lib/standin/kill_pid")"
        exit 137
    fi
fi
)SH";

// Ends with the status of its knob file, 0 without one.
const char kRecorder[] = R"SH(f="$ROOT/var/lib/standin/status/$name"
if [ -f "$f" ]; then exit "$(cat "$f")"; fi
exit 0
)SH";

// cp, rm, mkdir and sed: the host's tools confined to the sandbox. An
// absolute path is a system path and is taken below the sandbox (one already
// there, as a shell line's mapped glob gives, is kept); a path with ".." is
// refused, and so is a relative one but for sed's expression. The status knob fails the tool without running it.
const char kConfinedTool[] = R"SH(f="$ROOT/var/lib/standin/status/$name"
if [ -f "$f" ]; then exit "$(cat "$f")"; fi
n=$#
for a in "$@"; do
    case "$a" in
    -*) set -- "$@" "$a" ;;
    ..|../*|*/..|*/../*) echo "$name: $a: outside the sandbox" >&2; exit 1 ;;
    "$ROOT"/*) set -- "$@" "$a" ;;
    /*) set -- "$@" "$ROOT$a" ;;
    *) if [ "$name" = sed ]; then set -- "$@" "$a"; else echo "$name: $a: not a system path" >&2; exit 1; fi ;;
    esac
done
shift "$n"
exec "/bin/$name" "$@"
)SH";

// mkfs.ext4: empties the eMMC partition's folder (its status knob fails it
// without touching it).
const char kMkfs[] = R"SH(f="$ROOT/var/lib/standin/status/$name"
if [ -f "$f" ]; then exit "$(cat "$f")"; fi
for a in "$@"; do dev=${a#"$ROOT"}; done
case "$dev" in
/dev/mmcblk0p*) ;;
*) echo "mkfs.ext4: $dev: not a device of the board" >&2; exit 1 ;;
esac
if [ ! -d "$ROOT$dev" ]; then echo "mkfs.ext4: $dev: No such file or directory" >&2; exit 1; fi
find "$ROOT$dev" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
exit 0
)SH";

// flashcp IMAGE DEVICE on the NOR flash model: the device /dev/mtdN is a
// sandbox file whose bytes past its end read erased (0xFF). It erases the
// 128 KiB blocks the image covers, writes and verifies, and ends non-zero on
// any failure, as the real tool. Knobs: /var/lib/standin/flashcp_fail lists
// devices whose write fails before anything is written ("all" for every
// one); /var/lib/standin/flashcp_cut holds N: the write stops after N bytes
// (after the erase) and fails.
const char kFlashcp[] = R"SH(knobs="$ROOT/var/lib/standin"
if [ -f "$knobs/status/$name" ]; then exit "$(cat "$knobs/status/$name")"; fi
img=; dev=
for a in "$@"; do
    case "$a" in -*) ;; *) img=$dev; dev=${a#"$ROOT"} ;; esac
done
img=${img#"$ROOT"}
case "$dev" in
/dev/mtd[0-9]|/dev/mtd1[0-9]) ;;
*) echo "flashcp: $dev: not a flash device" >&2; exit 1 ;;
esac
if [ ! -f "$ROOT$img" ]; then echo "While trying to open $img: No such file or directory" >&2; exit 1; fi
if [ ! -f "$ROOT$dev" ]; then echo "While trying to open $dev: No such file or directory" >&2; exit 1; fi
if [ -f "$knobs/flashcp_fail" ] && grep -qx -e "$dev" -e all "$knobs/flashcp_fail"; then
    echo "While writing data to $dev: Input/output error" >&2
    exit 1
fi
size=$(wc -c < "$ROOT$img")
if [ "$size" -gt 16777216 ]; then echo "flashcp: $img won't fit into $dev" >&2; exit 1; fi
blocks=$(( (size + 131071) / 131072 ))
head -c $((blocks * 131072)) /dev/zero | tr '\000' '\377' | dd of="$ROOT$dev" conv=notrunc 2>/dev/null || exit 1
n=$size
if [ -f "$knobs/flashcp_cut" ]; then n=$(cat "$knobs/flashcp_cut"); [ "$n" -lt "$size" ] || n=$size; fi
head -c "$n" "$ROOT$img" | dd of="$ROOT$dev" conv=notrunc 2>/dev/null || exit 1
if [ "$n" -lt "$size" ]; then echo "While writing data to $dev: cut after $n bytes" >&2; exit 1; fi
cmp -s -n "$size" "$ROOT$img" "$ROOT$dev" || { echo "verification mismatch on $dev" >&2; exit 1; }
exit 0
)SH";

// A supervised daemon: runs until killed or until its parent is gone, and
// leaves its pid where the killall stand-in finds it. It lets go of the
// descriptors it inherited, so nothing waits on them after its parent ends.
const char kSleeper[] = R"SH(exec </dev/null >/dev/null 2>&1
[ -d "$ROOT/var/run/standin" ] || exit 0
echo $$ > "$ROOT/var/run/standin/$name.$$"
while kill -0 "$PPID" 2>/dev/null; do sleep 1; done
rm -f "$ROOT/var/run/standin/$name.$$"
)SH";

// The display program: runs the built lumiro named in its knob file
// /var/lib/standin/lumiro_bin (./run writes it) as its child, ends it when
// killed (the killall stand-in finds this script) or when the daemon that
// started it is gone, and ends with its status. Without the knob it is a
// sleeper like the other companions.
const char kLumiro[] = R"SH(bin=
knob="$ROOT/var/lib/standin/lumiro_bin"
[ -f "$knob" ] && bin=$(cat "$knob")
if [ -z "$bin" ] || [ ! -x "$bin" ]; then
    exec </dev/null >/dev/null 2>&1
    [ -d "$ROOT/var/run/standin" ] || exit 0
    echo $$ > "$ROOT/var/run/standin/$name.$$"
    while kill -0 "$PPID" 2>/dev/null; do sleep 1; done
    rm -f "$ROOT/var/run/standin/$name.$$"
    exit 0
fi
exec </dev/null
pidf="$ROOT/var/run/standin/$name.$$"
[ -d "$ROOT/var/run/standin" ] && echo $$ > "$pidf"
"$bin" &
child=$!
trap 'kill $child 2>/dev/null; rm -f "$pidf"; exit 143' TERM INT HUP
while kill -0 "$PPID" 2>/dev/null && kill -0 $child 2>/dev/null; do sleep 0.2; done
kill $child 2>/dev/null
wait $child
status=$?
rm -f "$pidf"
exit $status
)SH";

// Kills by name only the stand-ins of this sandbox, checked by their
// command line so that a reused pid is never hit.
const char kKillall[] = R"SH(status=1
for n in "$@"; do
    case "$n" in -*) continue ;; esac
    for f in "$ROOT/var/run/standin/$n".*; do
        [ -f "$f" ] || continue
        pid=${f##*.}
        cmd=$(tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null)
        case "$cmd" in
        *" $ROOT/"*"/$n "*) kill "$pid" 2>/dev/null && status=0 ;;
        esac
        rm -f "$f"
    done
done
exit $status
)SH";

const char kUbiattach[] = R"SH(if [ -e "$ROOT/dev/ubi0" ]; then
    echo "ubiattach: error!: cannot attach mtd$2" >&2
    exit 1
fi
mkdir -p "$ROOT/dev"
: > "$ROOT/dev/ubi0"
exit 0
)SH";

const char kUbimkvol[] = R"SH(case "$1" in /*) node="$ROOT$1" ;; *) node=$1 ;; esac
if [ ! -e "$node" ]; then
    echo "ubimkvol: error!: cannot get information about \"$1\"" >&2
    exit 1
fi
vol=
for a in "$@"; do case "$a" in --name=*) vol=${a#--name=} ;; esac; done
if [ -z "$vol" ]; then echo "ubimkvol: error!: volume name was not specified" >&2; exit 1; fi
store="$ROOT/var/lib/standin/ubi"
mkdir -p "$store"
if [ -e "$store/$vol" ]; then echo "ubimkvol: error!: cannot UBI create volume" >&2; exit 1; fi
: > "$store/$vol"
exit 0
)SH";

// mount: lists the sandbox's /proc/mounts, or adds a line to it. A ubifs
// volume mounts only once attached and made. An eMMC partition
// (/dev/mmcblk0pN, a folder of the sandbox) is mounted by leading the
// empty mount point to its folder; a device listed in
// /var/lib/standin/mount_fail does not mount. The simulated USB key
// (/dev/usbkey) mounts as vfat by leading the mount point to the key's files;
// /proc/mounts names it /dev/sda1, as mount shows the device node that the
// board's /dev/usbkey link leads to.
const char kMount[] = R"SH(mounts="$ROOT/proc/mounts"
if [ $# -eq 0 ]; then
    while read -r dev dir type opts rest; do echo "$dev on $dir type $type ($opts)"; done < "$mounts"
    exit 0
fi
type=auto
while [ $# -gt 0 ]; do
    case "$1" in
    -t) type=$2; shift 2 ;;
    -o) shift 2 ;;
    -*) shift ;;
    *) break ;;
    esac
done
dev=${1#"$ROOT"}
dir=${2#"$ROOT"}
if [ -z "$dir" ]; then echo "mount: bad usage" >&2; exit 1; fi
if [ -f "$ROOT/var/lib/standin/mount_fail" ] && grep -qx "$dev" "$ROOT/var/lib/standin/mount_fail"; then
    echo "mount: $dir: wrong fs type, bad option, bad superblock on $dev." >&2
    exit 32
fi
if [ "$type" = ubifs ]; then
    if [ ! -e "$ROOT/dev/ubi0" ]; then
        echo "mount: $dir: special device $dev does not exist." >&2
        exit 32
    fi
    if [ ! -e "$ROOT/var/lib/standin/ubi/${dev#*:}" ]; then
        echo "mount: $dir: wrong fs type, bad option, bad superblock on $dev." >&2
        exit 32
    fi
fi
while read -r d m rest; do
    if [ "$m" = "$dir" ]; then echo "mount: $dir: $dev already mounted or mount point busy." >&2; exit 32; fi
done < "$mounts"
if [ ! -d "$ROOT$dir" ]; then echo "mount: $dir: mount point does not exist." >&2; exit 32; fi
case "$dev" in
/dev/mmcblk0p*)
    if [ ! -d "$ROOT$dev" ]; then echo "mount: $dir: special device $dev does not exist." >&2; exit 32; fi
    [ "$type" = auto ] && type=ext4
    rmdir "$ROOT$dir" 2>/dev/null || { echo "mount: $dir: mount point busy." >&2; exit 32; }
    ln -s "$ROOT$dev" "$ROOT$dir" ;;
/dev/usbkey)
    store="$ROOT/var/lib/standin/usbkey"
    if [ ! -e "$ROOT$dev" ] || [ ! -d "$store" ]; then echo "mount: $dir: special device $dev does not exist." >&2; exit 32; fi
    if [ "$type" != vfat ]; then echo "mount: $dir: wrong fs type, bad option, bad superblock on $dev." >&2; exit 32; fi
    rmdir "$ROOT$dir" 2>/dev/null || { echo "mount: $dir: mount point busy." >&2; exit 32; }
    ln -s "$store" "$ROOT$dir"
    dev=/dev/sda1 ;;
esac
echo "$dev $dir $type rw,relatime 0 0" >> "$mounts"
exit 0
)SH";

// umount: takes the line off /proc/mounts; an eMMC partition's or the USB
// key's mount point becomes an empty folder again.
const char kUmount[] = R"SH(for a in "$@"; do dir=${a#"$ROOT"}; done
mounts="$ROOT/proc/mounts"
found=32
: > "$mounts.new"
while read -r d m rest; do
    if [ $found -ne 0 ] && { [ "$m" = "$dir" ] || [ "$d" = "$dir" ]; }; then
        found=0
        if [ -L "$ROOT$m" ]; then rm -f "$ROOT$m"; mkdir -p "$ROOT$m"; fi
        continue
    fi
    echo "$d $m $rest" >> "$mounts.new"
done < "$mounts"
mv "$mounts.new" "$mounts"
[ $found -eq 0 ] || echo "umount: $dir: not mounted." >&2
exit $found
)SH";

// ln: makes the link inside the sandbox; the link text stays as given.
const char kLn[] = R"SH(n=$#
i=0
for a in "$@"; do
    i=$((i + 1))
    if [ $i -eq $n ] && [ $n -ge 2 ]; then
        case "$a" in /*) a="$ROOT$a" ;; -*) ;; *) a="$ROOT/$a" ;; esac
    fi
    set -- "$@" "$a"
done
shift $n
exec /bin/ln "$@"
)SH";

// date: never sets the clock; "+%z" answers from its knob.
const char kDate[] = R"SH(for a in "$@"; do case "$a" in -s*|--set*) exit 0 ;; esac; done
if [ "$*" = "+%z" ]; then
    f="$ROOT/var/lib/standin/utc_offset"
    if [ -f "$f" ]; then cat "$f"; else echo "+0000"; fi
    exit 0
fi
exec /bin/date "$@"
)SH";

// cat: the shell line has put its paths below the sandbox already.
const char kCat[] = R"SH(exec /bin/cat "$@"
)SH";

// perl: only the summer-time probe is run; it answers from its knob.
const char kPerl[] = R"SH(f="$ROOT/var/lib/standin/isdst"
if [ -f "$f" ]; then exit "$(cat "$f")"; fi
exit 0
)SH";

// grep: reads the sandbox's files (every absolute path after the pattern).
const char kGrep[] = R"SH(n=$#
seen=0
for a in "$@"; do
    case "$a" in
    -*) ;;
    /*) if [ $seen -eq 1 ]; then a="$ROOT$a"; fi; seen=1 ;;
    *) seen=1 ;;
    esac
    set -- "$@" "$a"
done
shift $n
exec /bin/grep "$@"
)SH";

struct StandIn {
    const char* path;
    const char* body;
};

const StandIn kStandIns[] = {
    {"/usr/sbin/ubiattach", kUbiattach},
    {"/usr/sbin/ubimkvol", kUbimkvol},
    {"/bin/mount", kMount},
    {"/bin/umount", kUmount},
    {"/bin/ln", kLn},
    {"/bin/cp", kConfinedTool},
    {"/bin/rm", kConfinedTool},
    {"/bin/mkdir", kConfinedTool},
    {"/bin/sed", kConfinedTool},
    {"/usr/bin/rsync", kRecorder},
    {"/usr/local/bin/write_mmcblk0_part.sh", kRecorder},
    {"/usr/local/bin/write_fstab_1.sh", kRecorder},
    {"/usr/local/bin/write_fstab_2.sh", kRecorder},
    {"/bin/date", kDate},
    {"/bin/cat", kCat},
    {"/bin/grep", kGrep},
    {"/usr/bin/perl", kPerl},
    {"/usr/bin/killall", kKillall},
    {"/bin/systemctl", kRecorder},
    {"/sbin/syslogd", kSleeper},
    {"/usr/local/sbin/snmpd", kSleeper},
    {"/usr/local/lib/appweb/bin/appweb", kSleeper},
    {"/usr/local/bin/lumiro", kLumiro},
    {"/usr/local/bin/vrl_dvbs_mng", kRecorder},
    {"/sbin/mdev", kRecorder},
    {"/usr/sbin/ntpdate", kRecorder},
    {"/sbin/hwclock", kRecorder},
    {"/sbin/insmod", kRecorder},
    {"/sbin/rmmod", kRecorder},
    {"/sbin/modprobe", kRecorder},
    {"/sbin/mkfs.ext4", kMkfs},
    {"/usr/sbin/flashcp", kFlashcp},
    {"/bin/tar", kConfinedTool},
    {"/usr/bin/md5sum", kConfinedTool},
    {"/sbin/reboot", kRecorder},
    {"/usr/sbin/ethtool", kRecorder},
};

// Files of the root file system that the daemon copies or reads.
const StandIn kRootFiles[] = {
    {"/proc/mounts", "/dev/root / ext4 rw,relatime 0 0\n"},
    // The firmware information files of the running bank: version 2.0.2.
    {"/usr/local/conf/FwRelease", "0\n"},
    {"/usr/local/conf/FwVersion", "2\n"},
    {"/usr/local/conf/FwBuild", "2\n"},
    {"/usr/local/conf/snmp/snmpd.conf", "# SNMP agent of the simulated board\nrocommunity public\n"},
    {"/usr/local/conf/snmp/snmptrapd.conf", "# SNMP trap receiver of the simulated board\n"},
    {"/usr/local/conf/snmp/acl", "# SNMP access list of the simulated board\n"},
    {"/usr/local/conf/snmp/trapsinks", "# SNMP trap sinks of the simulated board\n"},
    {"/usr/local/conf/appweb.conf", "# Web server of the simulated board\n"},
    {"/usr/local/conf/users.db", "# Web users of the simulated board\n"},
    {"/usr/local/conf/groups.db", "# Web groups of the simulated board\n"},
    // The web root's time-zone table: the default id 190 and a few zones
    // for tests.
    {"/usr/local/www/Setup/timezones.xml",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
     "<timezones>\n"
     "  <timezone id=\"100\">Etc/UTC</timezone>\n"
     "  <timezone id=\"150\">Asia/Kolkata</timezone>\n"
     "  <timezone id=\"190\">Europe/Rome</timezone>\n"
     "  <timezone id=\"200\">Europe/Helsinki</timezone>\n"
     "  <timezone id=\"900\">../../../etc/passwd</timezone>\n"
     "</timezones>\n"},
};

const char* const kRootDirs[] = {"/bin",          "/sbin",          "/usr/bin",          "/usr/sbin",
                                 "/usr/local/bin", "/usr/local/sbin", "/usr/local/fpga",   "/usr/share/gw",
                                 "/usr/share/VRL/log", "/usr/share/VRL/www/TRN_Equip/Factory", "/mnt",
                                 "/proc",         "/dev",           "/var/log",          "/var/lib/standin",
                                 "/var/run/standin", "/usr/local/www/Style", "/usr/local/www/Snmp"};

std::string shellQuote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string dirOf(const std::string& p)
{
    return p.substr(0, p.rfind('/'));
}

} // namespace

int simInstallPrograms()
{
    int r = 0;
    for (const char* d : kRootDirs)
        simMakeDirs(sysPath(d).c_str());
    std::string header = kHeader;
    header.replace(header.find("@ROOT@"), 6, shellQuote(sandboxRoot()));
    // Each stand-in replaces its file by a rename: a running script keeps
    // reading its old copy, and programs starting together in one sandbox
    // each install their own.
    for (const StandIn& s : kStandIns) {
        std::string p = sysPath(s.path);
        simMakeDirs(dirOf(p).c_str());
        r |= simWriteFile(p, header + s.body, 0755);
    }
    // The shell the daemon runs its command lines with is the host's.
    std::string sh = sysPath("/bin/sh");
    std::string shTmp = sh + ".new." + std::to_string(getpid());
    unlink(shTmp.c_str());
    if (symlink("/bin/sh", shTmp.c_str()) != 0 || rename(shTmp.c_str(), sh.c_str()) != 0) {
        perror("simInstallPrograms: /bin/sh");
        unlink(shTmp.c_str());
        r = -1;
    }
    for (const StandIn& f : kRootFiles) {
        std::string p = sysPath(f.path);
        if (access(p.c_str(), F_OK) == 0)
            continue;
        simMakeDirs(dirOf(p).c_str());
        r |= simWriteFile(p, f.body, 0644);
    }
    return r;
}

std::vector<std::string> simStandInCalls()
{
    std::ifstream in(sysPath(kLog));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void simClearStandInCalls()
{
    std::ofstream out(sysPath(kLog), std::ios::trunc);
}
