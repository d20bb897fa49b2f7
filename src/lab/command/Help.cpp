#include "lab/command/Help.h"

#include <cstdio>

#include "lab/command/OptionTable.h"
#include "lab/families/Profiles.h"

namespace quorvel::lab {

std::string HelpText() {
    // The tables only lend their lines here: what they would read into is thrown away.
    LabReading lab;
    ReportReading report;
    // One line a profile, then one line a profile's start: help2man makes each line an entry
    // of the manual page, where lines under a profile would run into one paragraph.
    std::string profiles, orders;
    for (const Profile& p : Profiles()) {
        char line[200];
        std::snprintf(line, sizeof line, "  %-8s %-11s  %s\n", p.name.c_str(), SignName(p.sign),
                      p.describes.c_str());
        profiles += line;
        for (const Start start : kStarts) {
            if (const std::string* order = p.OrderFor(start)) {
                std::snprintf(line, sizeof line, "  %-16s %s\n",
                              (p.name + " " + StartName(start)).c_str(),
                              PrintableOrder(*order).c_str());
                orders += line;
            }
        }
    }
    return R"(Usage: quorvel-lab [OPTIONS] [PROFILE[+STARTS]:]PORT...
   or:  quorvel-lab report )" +
           UsageOptions(ReportTable(report)) + R"( JOURNAL...
   or:  quorvel-lab --ports

Orders hot, warm, cold or factory starts on many GNSS receivers at once, judges
every cycle as the Quorvel window does, and keeps a journal with the restart
time and the time to first fix (TTFF) of each cycle.

PORT is "COM5", "COM 5" or a device path such as /dev/ttyUSB0, optionally with
"@BAUD" (e.g. COM7@115200). COM numbers map to devices as in the window,
override links in ~/.config/quorvel/ports included. "PROFILE:" names the
receiver profile of that port, e.g. ubx:/dev/ttyACM0@115200 or pmtk:COM5;
"PROFILE+STARTS:" also its starts, e.g. pmtk+hot,cold:COM5 (or +warm:COM5 with
the default profile). The profile "auto" takes the family from the receiver's
own texts (see Identity below) and never orders a guessed family's start.
A receiver on a serial device server or ser2net (its line served as a raw TCP
port) is "tcp://HOST:PORT", e.g. ubx:tcp://rack2:4001 or tcp://[fe80::1]:4001;
it takes no "@BAUD" and no user name (the server sets the line), and a refused
or reset connection, an unknown host or no answer is named where the run says
why it cannot connect; a server that accepts and sends nothing is "connected,
nothing received" (the serial side behind it is silent), and a baud-mismatch on
it says that the device server sets the line speed. Two names of one server and
port (127.0.0.1 and localhost, 127.1, [::1] and [0:0::1], a trailing dot) are
refused as one device named twice is.

Options:
)" + OptionLines(LabTable(lab)) + R"(
"quorvel-lab report" builds the report (default: beside the first journal, .csv
made .html) and prints the summary from journals, opening no port; it reads
journals of the older 8 and 16 columns too, and skips a row a killed run cut
short, wherever it stands, with a warning. With several journals each receiver
is named with the shortest part of its journal's path that tells them apart.

Receiver profiles (name, restart sign, receivers):
)" + profiles + R"(
Each start a profile has, and its order's bytes:
)" + orders + R"(
Identity: when a port opens the lab listens for the receiver's start-up texts
(u-blox and CASIC TXT lines, MediaTek PMTK010/011, SiRF PSRFTXT, Quectel
PQTMVER) and asks every family's version query, all harmless (UBX-MON-VER poll,
$PMTK605, $PAIR020, $PQTMVERNO, $PCAS06,0); the make, model and firmware it
says go into the journal, the summary and the report, and a profile it
contradicts is said at once (the profile named is kept). An auto port whose
texts name no family within 10 s of its first text gets an "unidentified" row.
In the journal a receiver's text (make, model, firmware, hdop) that begins with
=, +, -, @ or ' has a ' put before it, so that a spreadsheet opening the journal
takes none for a formula; "quorvel-lab report" shows the text without it.

Verdicts: only sentences whose checksum matches are analysed; damaged ones are
counted per receiver and shown under the summary. Every order ends in exactly
one row. A cycle cut short by the end of the run is "ended" and not judged,
unless its fix was already due (--pass-ttff seconds after the order): then it
is judged a failure, whether its restart came or not. A fix is GGA quality 1-5
(6 dead reckoning, 7 manual and 8 simulator are not). Under fix-lost a lost fix
alone proves no restart: it needs a second sign (its time gone, its clock
fallen back or jumped, a silence of 3 s, or its start-up text); a clock that
runs on (its time advanced by about the time that passed) is no such sign.
A sign belongs to its order: the receiver must first look restarted (no fix,
00:00:0x, a silence beginning, its start-up text) within 5 s of the order: a
restart shows in a receiver's first sentences after it, and a reboot takes a
second or two; a later sign is another event's. A receiver
seen to lose its time, or to fall silent for 3 s, between cycles has that sign
withdrawn for the rest of the run, said once in its events. Sentences that are
byte for byte what the lab sent on that port (a line that echoes) are ignored.
The next order waits for the start under way: its first fix, or --fix-limit.
A gap of 5 s or more between the lab's own ticks (a stopped process) leaves
the cycle under way "stalled", not judged, and starts the run afresh.

Deciding early (--confidence C): a good start restarted (verdict ok), has its
TTFF within --pass-ttff and, with --pass-error M, its first fix within M metres
of the reference; every other judged start is bad ("ended" and "stalled" are
not judged). After every judged start the lab bounds the receiver's share of
bad starts with exact binomial (Clopper-Pearson) bounds: it fails the receiver
once that share is above 100 - P % (P from --pass-rate) with confidence C,
passes it once the share is below M times 100 - P % (M from --bad-factor, 1.5
unless set) with confidence C, and otherwise goes on. Because it looks after
every start, no single look may use the whole risk 100 - C %: the k-th bad
start may fail the receiver at risk (100 - C)/(k(k+1)) %, the k-th good start
may pass it at the same, and these parts add up to 100 - C %. So a receiver
exactly at P % is wrongly failed, and one M times worse wrongly passed, at most
100 - C % of the time however long the run. The first decision stands. With
P = 100 the first bad start fails a receiver and no number of good starts can
pass it. The summary and report show each receiver's decision and the cycle it
was reached at (PASS at 47, FAIL at 12, UNDECIDED), its good and bad starts and
the share of good ones with its bounds at C %.

Power starts (--start power, or PROFILE+power:PORT, in every profile): the lab
sends no order; it switches the receiver's supply off (--power-off CMD, or the
PDU daemon of --pdudaemon), waits --power-off-for S (default 5), switches it
on, and times the restart and the TTFF from the moment the on switch is done.
The receiver's first sentences after power-on are its restart. A command runs
through /bin/sh with {outlet}, {port} and {device} replaced by the port's
--outlet text, its name and its device, each quoted for the shell, e.g.
  --outlet COM5=3 --power-off 'uhubctl -l 1-1 -p {outlet} -a off'
and must exit 0 within 30 s. With --pdudaemon http://HOST:PORT the lab asks
the daemon for /power/control/off and /on of --outlet PORT=PDU:OUTLET. A switch
that fails (a non-zero exit, a time-out, an HTTP error, no daemon) gives a
"power-error" row that names why, and the lab switches that receiver back on;
so does a receiver still talking a second after its power went off (a switch
that does not switch). A device that goes away with its power (USB) is
expected: it is reopened by its name (a COM link, a /dev/serial/by-id link or
the device) as soon as it is back, and the event line names the device found;
one not back within --fix-limit of power-on is port-error. At the end of the
run, and on SIGINT, SIGTERM or SIGHUP, every supply the lab switched off is
switched back on before it exits; if that fails the summary ends with "Power
left off:" and the receiver, and the exit status is 1.
)" +
           R"(
Without --cycles or --duration it runs until SIGINT, SIGTERM, SIGHUP (a closed
terminal) or SIGPIPE; then it closes the ports, completes the journal, writes
the report, prints a summary and exits 0. A reader of its output going away
does not end it. It exits as soon as the summary is written, even while a host
name lookup is still under way. "quorvel-lab report" ends on these signals as
any command does.

Exit status: 0 when done, 1 when a journal row, the report or the summary
cannot be written (a reader of the output going away aside), a journal cannot
be read or a receiver's power was left off, 2 on a bad option, rate, port or profile, the journal and report being
one file, either of them naming a port's device, or one device (or device
server) named twice, 3
when a receiver fails --pass-ttff/--pass-rate (with --confidence: is decided
FAIL), 4 with --confidence when none failed but one is undecided. 1 wins over
3 and 4: a run whose journal is incomplete exits 1 even when a receiver failed,
and its summary still shows each FAIL.
)";
}

}  // namespace quorvel::lab
