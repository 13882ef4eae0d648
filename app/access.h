// Who may do what, and from where. The server listens on the local host only unless
// listen-hostname names more ("*": every address). Whatever it listens on:
// - the local host (loopback, and the UNIX socket of the sub-commands) may do everything;
// - any host may print, query printers and jobs, cancel or hold its own jobs and read the
//   status pages (the server's and the printers' home pages);
// - everything else from another host (web forms and admin pages, creating, deleting, pausing,
//   enabling or changing printers, other users' jobs) needs an HTTP Basic login that PAM
//   accepts under the auth-service name, of a member of admin-group; without auth-service it is
//   refused. PAPPL asks other hosts to switch to TLS (426) before any of this.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <sys/types.h>

struct AccessPolicy {
    std::string listen;       // listen-hostname: "localhost" unless given
    bool loopbackOnly = true; // every address it names is a loopback address
    std::string authService; // PAM service name; empty: no logins, changes from other hosts refused
    std::string adminGroup;  // members may change things from other hosts
    gid_t adminGid = 0;
};

// The policy from the server options (each may be null). False, with `error`, when admin-group
// names no group. Without admin-group: "lpadmin" when it exists, else root's group.
bool ResolveAccessPolicy(const char *listenHostname, const char *authService,
                         const char *adminGroup, AccessPolicy &policy, std::string &error);

// pappl_auth_cb_t: PAPPL's question "may this client do this?", answered by the policy
// (`data`) for every request that needs authorization and does not come over the UNIX socket.
http_status_t AuthorizeClient(pappl_client_t *client, const char *group, gid_t groupid, void *data);

// Puts the system's authorization in front of the printer's home page, whose forms (pause,
// hold new jobs, default printer, test page) PAPPL takes from anyone: other hosts need the
// admin login to post them. Call while the printer is created, before PAPPL adds its own page.
void GuardPrinterHomePage(pappl_printer_t *printer);
