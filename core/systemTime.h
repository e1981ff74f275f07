// System time, time zone and NTP.
#pragma once

// Body of "NTP Thread" (every second).
void ntpThreadStep();
// Writes the DNS server ("nameserver a.b.c.d") to /usr/local/conf/resolv.conf
// and the NTP server to /usr/local/conf/default_ntpdate.
void writeDnsNtpFiles();
