#include "app/dnssd.h"

#include <avahi-client/client.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>
#include <pappl/pappl.h>

#include <string>

// PAPPL adds its device schemes the first time a device is listed or opened, and only when no
// scheme exists yet: once the app's dnssd scheme is in, the others come from these (exported by
// libpappl, not declared in its headers).
extern "C" {
void _papplDeviceAddFileScheme(void);
void _papplDeviceAddNetworkSchemes(void);
void _papplDeviceAddUSBScheme(void);
}

namespace {

const char *Reason() {
    return "DNS-SD is off: avahi-daemon was not running when the Printer Application started";
}

// Lists no DNS-SD printer, saying why (the devices sub-command prints it, the server logs it).
bool ListNothing(pappl_device_cb_t, void *, pappl_deverror_cb_t err_cb, void *err_data) {
    if (err_cb != nullptr) err_cb(Reason(), err_data);
    return false;
}

// A dnssd: printer cannot be found without Avahi: its job stops with the reason.
bool OpenNothing(pappl_device_t *device, const char *uri, const char *) {
    papplDeviceError(device, "Unable to find '%s': %s.", uri, Reason());
    return false;
}

void CloseNothing(pappl_device_t *) {}

ssize_t WriteNothing(pappl_device_t *, const void *, size_t) {
    return -1;
}

} // namespace

DnssdState CheckAvahi() {
    DnssdState state;
    AvahiSimplePoll *poll = avahi_simple_poll_new();
    if (poll == nullptr) {
        state.why = "no memory";
        return state;
    }
    int error = 0;
    AvahiClient *client = avahi_client_new(
        avahi_simple_poll_get(poll), static_cast<AvahiClientFlags>(0),
        [](AvahiClient *, AvahiClientState, void *) {}, nullptr, &error);
    if (client != nullptr) {
        state.avahi = true;
        avahi_client_free(client);
    } else {
        state.why = avahi_strerror(error);
    }
    avahi_simple_poll_free(poll);
    return state;
}

void TurnOffDnssdDevices(const DnssdState &state) {
    if (state.avahi) return;
    papplDeviceAddScheme2("dnssd", PAPPL_DEVTYPE_DNS_SD, ListNothing, OpenNothing, CloseNothing,
                          nullptr, WriteNothing, nullptr, nullptr, nullptr);
    _papplDeviceAddFileScheme();
    _papplDeviceAddNetworkSchemes();
    _papplDeviceAddUSBScheme();
}
