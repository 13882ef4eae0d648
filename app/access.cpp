#include "app/access.h"

#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// PAPPL's printer home page (exported by libpappl, not declared in its headers): the guard
// below serves it once the client may.
extern "C" void _papplPrinterWebHome(pappl_client_t *client, pappl_printer_t *printer);

namespace {

enum class Need { Nothing, Owner, Admin };

// What an IPP operation from another host needs: nothing for printing and queries, the job's
// owner for changing a job, the admin login for the rest.
Need NeedOf(ipp_op_t op, bool onPrinter) {
    switch (op) {
    case IPP_OP_PRINT_JOB:
    case IPP_OP_VALIDATE_JOB:
    case IPP_OP_CREATE_JOB:
    case IPP_OP_GET_JOBS:
    case IPP_OP_GET_JOB_ATTRIBUTES:
    case IPP_OP_GET_PRINTER_ATTRIBUTES:
    case IPP_OP_GET_PRINTER_SUPPORTED_VALUES:
    case IPP_OP_GET_PRINTERS:
    case IPP_OP_CUPS_GET_PRINTERS:
    case IPP_OP_CUPS_GET_DEFAULT:
    case IPP_OP_GET_SYSTEM_ATTRIBUTES:
    case IPP_OP_IDENTIFY_PRINTER:
        return Need::Nothing;
    case IPP_OP_CANCEL_JOB:
    case IPP_OP_HOLD_JOB:
    case IPP_OP_RELEASE_JOB:
    case IPP_OP_SEND_DOCUMENT:
    case IPP_OP_CLOSE_JOB:
        return Need::Owner;
    case IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS:
    case IPP_OP_CREATE_JOB_SUBSCRIPTIONS:
    case IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES:
    case IPP_OP_GET_SUBSCRIPTIONS:
    case IPP_OP_RENEW_SUBSCRIPTION:
    case IPP_OP_CANCEL_SUBSCRIPTION:
    case IPP_OP_GET_NOTIFICATIONS:
        // A printer's events are for its users; the system's for its administrators.
        return onPrinter ? Need::Nothing : Need::Admin;
    default:
        return Need::Admin;
    }
}

// Whether the request names the job's owner as its user (the name printing gave the job: other
// hosts print without a login).
bool FromJobOwner(pappl_client_t *client, ipp_t *request) {
    pappl_job_t *job = papplClientGetJob(client);
    if (job == nullptr) return true; // PAPPL answers "not found"
    const char *owner = papplJobGetUsername(job);
    const char *user =
        ippGetString(ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME), 0, nullptr);
    return owner != nullptr && user != nullptr && std::strcmp(owner, user) == 0;
}

struct Credentials {
    const char *user;
    const char *password;
};

// PAM's questions answered with the user name and password of the login.
int Converse(int count, const pam_message **messages, pam_response **replies, void *data) {
    const auto *login = static_cast<const Credentials *>(data);
    auto *answers =
        static_cast<pam_response *>(std::calloc(static_cast<size_t>(count), sizeof(pam_response)));
    if (answers == nullptr) return PAM_CONV_ERR;
    for (int i = 0; i < count; ++i) {
        if (messages[i]->msg_style == PAM_PROMPT_ECHO_ON)
            answers[i].resp = strdup(login->user);
        else if (messages[i]->msg_style == PAM_PROMPT_ECHO_OFF)
            answers[i].resp = strdup(login->password);
    }
    *replies = answers;
    return PAM_SUCCESS;
}

// Whether PAM's service `service` accepts the password and the account.
bool PamAccepts(const std::string &service, const Credentials &login, const char *peer,
                pappl_client_t *client) {
    pam_conv conversation{Converse, const_cast<Credentials *>(&login)};
    pam_handle_t *pam = nullptr;
    int status = pam_start(service.c_str(), login.user, &conversation, &pam);
    if (status == PAM_SUCCESS) status = pam_set_item(pam, PAM_RHOST, peer);
    if (status == PAM_SUCCESS) status = pam_authenticate(pam, PAM_SILENT);
    if (status == PAM_SUCCESS) status = pam_acct_mgmt(pam, PAM_SILENT);
    if (status != PAM_SUCCESS)
        papplLogClient(client, PAPPL_LOGLEVEL_INFO, "Login of '%s' refused by PAM: %s.", login.user,
                       pam_strerror(pam, status));
    if (pam != nullptr) pam_end(pam, status);
    return status == PAM_SUCCESS;
}

// Whether `user` belongs to group `gid`, as primary or supplementary group.
bool InGroup(const char *user, gid_t gid) {
    passwd entry{}, *pw = nullptr;
    std::vector<char> buffer(16384);
    if (getpwnam_r(user, &entry, buffer.data(), buffer.size(), &pw) != 0 || pw == nullptr)
        return false;
    if (pw->pw_gid == gid) return true;
    int count = 64;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    if (getgrouplist(user, pw->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<size_t>(count));
        if (getgrouplist(user, pw->pw_gid, groups.data(), &count) < 0) return false;
    }
    for (int i = 0; i < count; ++i)
        if (groups[static_cast<size_t>(i)] == gid) return true;
    return false;
}

// The admin login from another host: HTTP Basic, checked by PAM, of a member of the admin group.
http_status_t AdminLogin(pappl_client_t *client, const AccessPolicy &policy, const char *peer) {
    if (policy.authService.empty()) {
        papplLogClient(client, PAPPL_LOGLEVEL_INFO,
                       "Refused: changes from other hosts need a login, and no auth-service is "
                       "set.");
        return HTTP_STATUS_FORBIDDEN;
    }
    const char *header = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
    if (header == nullptr || std::strncmp(header, "Basic ", 6) != 0)
        return HTTP_STATUS_UNAUTHORIZED;
    char decoded[1024];
    int length = sizeof decoded - 1;
    httpDecode64_2(decoded, &length, header + 6);
    decoded[length < 0 ? 0 : length] = '\0';
    char *colon = std::strchr(decoded, ':');
    if (colon == nullptr) return HTTP_STATUS_UNAUTHORIZED;
    *colon = '\0';
    const Credentials login{decoded, colon + 1};
    if (!PamAccepts(policy.authService, login, peer, client)) return HTTP_STATUS_UNAUTHORIZED;
    if (!InGroup(login.user, policy.adminGid)) {
        papplLogClient(client, PAPPL_LOGLEVEL_INFO, "Refused: '%s' is not in group '%s'.",
                       login.user, policy.adminGroup.c_str());
        return HTTP_STATUS_FORBIDDEN;
    }
    papplLogClient(client, PAPPL_LOGLEVEL_INFO, "Authenticated as '%s' (group '%s').", login.user,
                   policy.adminGroup.c_str());
    return HTTP_STATUS_CONTINUE;
}

// Whether every address `name` stands for is a loopback address ("*" and "" stand for all).
bool LoopbackOnly(const std::string &name) {
    if (name.empty() || name == "*") return false;
    if (name[0] == '/') return true;
    http_addrlist_t *list = httpAddrGetList(name.c_str(), AF_UNSPEC, "0");
    bool loopback = list != nullptr;
    for (http_addrlist_t *a = list; a != nullptr; a = a->next)
        loopback = loopback && httpAddrLocalhost(&a->addr);
    httpAddrFreeList(list);
    return loopback;
}

// The printer's home page, its forms only for those the policy lets change the printer.
bool GuardedHomePage(pappl_client_t *client, void *printer) {
    if (papplClientGetMethod(client) == HTTP_STATE_POST && !papplClientHTMLAuthorize(client))
        return false; // answered (401, 403 or 426); the unread form ends the connection
    _papplPrinterWebHome(client, static_cast<pappl_printer_t *>(printer));
    return true;
}

} // namespace

bool ResolveAccessPolicy(const char *listenHostname, const char *authService,
                         const char *adminGroup, AccessPolicy &policy, std::string &error) {
    policy.listen = listenHostname ? listenHostname : "localhost";
    policy.loopbackOnly = LoopbackOnly(policy.listen);
    policy.authService = authService ? authService : "";
    const group *admin = nullptr;
    if (adminGroup != nullptr) {
        admin = getgrnam(adminGroup);
        if (admin == nullptr) {
            error = std::string("admin-group '") + adminGroup + "' is not a group.";
            return false;
        }
    } else if ((admin = getgrnam("lpadmin")) == nullptr) {
        const passwd *root = getpwuid(0);
        admin = root ? getgrgid(root->pw_gid) : nullptr;
        if (admin == nullptr) {
            error = "no admin-group given, and neither 'lpadmin' nor root's group exists.";
            return false;
        }
    }
    policy.adminGroup = admin->gr_name;
    policy.adminGid = admin->gr_gid;
    return true;
}

http_status_t AuthorizeClient(pappl_client_t *client, const char *, gid_t, void *data) {
    const auto &policy = *static_cast<const AccessPolicy *>(data);
    http_t *http = papplClientGetHTTP(client);
    http_addr_t *address = httpGetAddress(http);
    if (address != nullptr && httpAddrLocalhost(address)) return HTTP_STATUS_CONTINUE;
    char peer[256] = "";
    if (address != nullptr) httpAddrString(address, peer, sizeof peer);

    // Without an IPP request it is a web page or form that PAPPL keeps for administrators.
    if (ipp_t *request = papplClientGetRequest(client)) {
        switch (NeedOf(ippGetOperation(request), papplClientGetPrinter(client) != nullptr)) {
        case Need::Nothing:
            return HTTP_STATUS_CONTINUE;
        case Need::Owner:
            if (FromJobOwner(client, request)) return HTTP_STATUS_CONTINUE;
            break;
        case Need::Admin:
            break;
        }
    }
    return AdminLogin(client, policy, peer);
}

void GuardPrinterHomePage(pappl_printer_t *printer) {
    pappl_system_t *system = papplPrinterGetSystem(printer);
    if (!(papplSystemGetOptions(system) & PAPPL_SOPTIONS_WEB_INTERFACE)) return;
    char path[256];
    papplPrinterGetPath(printer, "", path, sizeof path);
    papplSystemAddResourceCallback(system, path, "text/html", GuardedHomePage, printer);
}
