// DNS-SD without a crash when avahi-daemon is absent. PAPPL 1.3.1 browses for network printers
// ("Add Printer" page, the devices sub-command) and resolves dnssd: device URIs through an Avahi
// client it never checks: without the daemon it aborts the process. The app asks the daemon
// once at start; when it does not answer, DNS-SD is off for the whole process: the dnssd scheme
// is replaced before PAPPL adds its own by one that lists nothing and opens nothing, and the
// server announces nothing. With the daemon running nothing changes.
#pragma once

#include <string>

struct DnssdState {
    bool avahi = false; // avahi-daemon answered at start
    std::string why;    // why it did not
};

// Asks avahi-daemon whether it runs (an Avahi client of our own, which fails at once when the
// daemon or the system bus is not there).
DnssdState CheckAvahi();

// Without Avahi: installs the dnssd scheme that lists and opens nothing, then PAPPL's other
// device schemes (file, snmp, socket, usb). Call before anything lists or opens a device.
void TurnOffDnssdDevices(const DnssdState &state);
