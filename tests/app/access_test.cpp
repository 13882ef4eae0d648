// Who may do what from where, against the real server in a network namespace (10.213.0.1) joined
// by a veth pair to a second one playing another host (10.213.0.2). Needs root and ip netns
// (skipped otherwise); the namespaces, test accounts and PAM service are removed again.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <memory>
#include <thread>

#include "app/dnssd.h"
#include "tests/app/app_server.h"

namespace {

const std::string kId = std::to_string(getpid()), kS = "kvs" + kId, kC = "kvc" + kId;
const std::string kAdmin = "kva" + kId, kOther = "kvb" + kId, kGroup = "kvg" + kId;
const std::string kPassword = "Pw-" + kId, kPam = "kelvra-test-" + kId;
constexpr const char *kAddress = "10.213.0.1";

// The two hosts; group G with member A, user B outside it; PAM service M for their passwords.
constexpr const char *kSetUp = R"(set -e; PATH=/usr/sbin:/sbin:$PATH
ip netns add $S; ip netns add $C
ip link add name $S netns $S type veth peer name $C netns $C
ip -n $S addr add 10.213.0.1/30 dev $S; ip -n $C addr add 10.213.0.2/30 dev $C
for n in $S $C; do ip -n $n link set $n up; ip -n $n link set lo up; done
groupadd $G; useradd -M -G $G $A; useradd -M $B; printf '%s:%s\n' $A $P $B $P | chpasswd
printf 'auth required pam_unix.so nodelay\naccount required pam_unix.so\n' >/etc/pam.d/$M)";
constexpr const char *kTearDown = R"(PATH=/usr/sbin:/sbin:$PATH; ip netns delete $S
ip netns delete $C; userdel $A; userdel $B; groupdel $G; rm -f /etc/pam.d/$M)";

bool Shell(const char *script) {
    const std::string vars = "S=" + kS + " C=" + kC + " A=" + kAdmin + " B=" + kOther +
                             " G=" + kGroup + " P=" + kPassword + " M=" + kPam + "; ";
    return getuid() == 0 &&
           RunFilterProcess({{"-c", vars + script}, {}, "", "/bin/sh"}).exitCode == 0;
}

// Runs `fn` on a thread inside network namespace `ns`.
template <typename Fn> void In(const std::string &ns, Fn fn) {
    std::thread([&] {
        const int fd = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(setns(fd, CLONE_NEWNET), 0) << ns;
        fn();
        close(fd);
    }).join();
}

// curl in `ns`: the HTTP status ("000": nothing answers), the page in `body`.
std::string Curl(const std::string &url, const std::string &login = "",
                 const std::string &form = "", std::string *body = nullptr,
                 const std::string &ns = kC) {
    std::vector<std::string> args = {"netns", "exec", ns, "curl", "-skw", "%{http_code}", url};
    args.insert(args.end(), {"-o", body ? "/dev/stderr" : "/dev/null"});
    if (!login.empty()) args.insert(args.end(), {"-u", login});
    if (!form.empty()) args.insert(args.end(), {"--data", form});
    const FilterRun run = RunFilterProcess({args, {}, "", "/usr/sbin/ip"});
    if (body) *body = run.err;
    return run.out;
}

thread_local int tries = 0; // libcups asks again after a refusal: one try per request

// An IPP request to printer "office" from the other host (libcups switches to TLS when asked),
// as `user` with the test password ("": no login); its status, or libcups's when refused.
ipp_status_t Remote(const AppServer &server, IppPtr request, const std::string &user = "",
                    const std::string &file = "", int *job = nullptr) {
    ipp_status_t status{};
    In(kC, [&] {
        cupsSetUser(user.empty() ? "tester" : user.c_str());
        cupsSetPasswordCB2(
            [](const char *, http_t *, const char *, const char *, void *u) -> const char * {
                return tries++ || static_cast<const std::string *>(u)->empty() ? nullptr
                                                                               : kPassword.c_str();
            },
            const_cast<std::string *>(&user));
        http_t *http = httpConnect2(kAddress, server.port(), nullptr, AF_INET,
                                    HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr);
        const char *resource = "/ipp/print/office";
        IppPtr answer(file.empty()
                          ? cupsDoRequest(http, request.release(), resource)
                          : cupsDoFileRequest(http, request.release(), resource, file.c_str()));
        status = answer ? ippGetStatusCode(answer.get()) : cupsLastError();
        if (job) *job = ippGetInteger(ippFindAttribute(answer.get(), "job-id", IPP_TAG_INTEGER), 0);
        httpClose(http);
    });
    return status;
}

// An attribute of printer "office" as the local host reads it ("" when absent).
std::string Attribute(const AppServer &server, const char *name) {
    IppPtr attrs;
    In(kS, [&] { attrs = server.PrinterAttributes("office"); });
    char text[256] = "";
    ippAttributeString(ippFindAttribute(attrs.get(), name, IPP_TAG_ZERO), text, sizeof text);
    return text;
}

std::string Url(const AppServer &server, const std::string &path, const char *scheme = "https") {
    return std::string(scheme) + "://" + kAddress + ":" + std::to_string(server.port()) + path;
}

// "session=TOKEN" for the forms, from the printer's page as the other host gets it.
std::string Session(const AppServer &server) {
    std::string page;
    Curl(Url(server, "/office/"), "", "", &page);
    return "session=" + SessionToken(page);
}

class Access : public ::testing::Test {
  protected:
    // A server in the server's namespace, TLS on, with `options` and printer "office".
    static std::unique_ptr<AppServer> Start(std::map<std::string, std::string> options) {
        options["server-options"] = "";
        auto server = std::make_unique<AppServer>(
            AppServerSetup{options, {"/usr/sbin/ip", "netns", "exec", kS}});
        if (server->ok()) server->AddPrinter("office", "kelvra-qv66adn");
        return server;
    }
    static void SetUpTestSuite() {
        if ((up_ = Shell(kSetUp)))
            server_ =
                Start({{"listen-hostname", "*"}, {"auth-service", kPam}, {"admin-group", kGroup}});
    }
    static void TearDownTestSuite() {
        server_.reset();
        Shell(kTearDown);
    }
    void SetUp() override {
        if (!up_) GTEST_SKIP() << "needs root, ip netns, useradd and PAM";
        ASSERT_TRUE(server_->ok()) << server_->Log();
    }
    static inline bool up_ = false;
    static inline std::unique_ptr<AppServer> server_;
};

// Without avahi-daemon the devices sub-command and the Add Printer page answer, and the server
// still answers afterwards (PAPPL aborted in its Avahi browser).
TEST_F(Access, DeviceListsAnswerWithoutAvahi) {
    if (CheckAvahi().avahi) GTEST_SKIP() << "avahi-daemon runs here";
    EXPECT_EQ(server_->Run({"devices"}).exitCode, 0);
    const std::string local = "http://localhost:" + std::to_string(server_->port());
    EXPECT_EQ(Curl(local + "/addprinter", "", "", nullptr, kS), "200");
    EXPECT_EQ(Curl(local + "/", "", "", nullptr, kS), "200") << server_->Log();
}

// Without listen-hostname the server answers on the loopback address only.
TEST_F(Access, DefaultServerListensOnTheLocalHostOnly) {
    const auto local = Start({{"listen-hostname", ""}});
    ASSERT_TRUE(local->ok()) << local->Log();
    const std::string port = ":" + std::to_string(local->port()) + "/";
    EXPECT_EQ(Curl("http://127.0.0.1" + port, "", "", nullptr, kS), "200");
    EXPECT_EQ(Curl(Url(*local, "/", "http"), "", "", nullptr, kS), "000");
    EXPECT_EQ(Curl(Url(*local, "/", "http")), "000");
}

// The printing-defaults form, the home page's pause and the delete page posted from the other
// host (with the session token): refused without TLS, without a login, with a wrong password, to
// a user outside the admin group, and without auth-service at all; taken from an admin.
TEST_F(Access, WebFormsFromAnotherHostNeedAnAdminLogin) {
    const auto open = Start({{"listen-hostname", "*"}}); // no auth-service
    const std::string session = Session(*server_), negative = session + "&negative-print=on";
    const std::string admin = kAdmin + ":" + kPassword,
                      printing = Url(*server_, "/office/printing");
    const struct {
        const AppServer &server;
        std::string url, login, form, status;
    } kCases[] = {
        {*server_, Url(*server_, "/office/printing", "http"), admin, negative, "426"},
        {*server_, printing, "", negative, "401"},
        {*server_, printing, kAdmin + ":wrong", negative, "401"},
        {*server_, printing, kOther + ":" + kPassword, negative, "403"},
        {*server_, Url(*server_, "/office/"), "", session + "&action=pause-printer", "401"},
        {*server_, Url(*server_, "/office/delete"), "", session, "401"},
        {*open, Url(*open, "/office/printing"), admin, Session(*open) + "&negative-print=on",
         "403"},
        {*server_, printing, admin, negative, "200"},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.url + " " + c.login + " " + c.form);
        EXPECT_EQ(Curl(c.url, c.login, c.form), c.status);
        EXPECT_EQ(Attribute(c.server, "negative-print-default"),
                  c.status == "200" ? "true" : "false");
        EXPECT_EQ(Attribute(c.server, "printer-state"), "idle");
    }
}

// Set-Printer-Attributes from the other host: asks for a login, refused to a user outside the
// admin group, done with an admin's login.
TEST_F(Access, AdminOperationsFromAnotherHostNeedAnAdminLogin) {
    for (const auto &[user, status] :
         {std::pair{std::string(), IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED},
          std::pair{kOther, IPP_STATUS_ERROR_FORBIDDEN}, std::pair{kAdmin, IPP_STATUS_OK}}) {
        IppPtr set = server_->NewRequest(IPP_OP_SET_PRINTER_ATTRIBUTES, "office");
        ippAddString(set.get(), IPP_TAG_PRINTER, IPP_TAG_URI, "printer-geo-location", nullptr,
                     "geo:46.5,6.6");
        EXPECT_EQ(Remote(*server_, std::move(set), user), status) << user;
        EXPECT_EQ(Attribute(*server_, "printer-geo-location"),
                  status == IPP_STATUS_OK ? "geo:46.5,6.6" : "unknown");
    }
}

// The other host prints without a login and the job completes; it may cancel its own job (too
// late here: not possible), not another user's.
TEST_F(Access, AnotherHostPrintsWithoutLogin) {
    TempDir dir;
    WriteRaster(dir.file("page.pwg"), "iso_a4_210x297mm", 1, 300);
    IppPtr print = server_->NewRequest(IPP_OP_PRINT_JOB, "office");
    ippAddString(print.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 "image/pwg-raster");
    int job = 0, state = 0;
    EXPECT_EQ(Remote(*server_, std::move(print), "", dir.file("page.pwg"), &job), IPP_STATUS_OK);
    In(kS, [&] { state = server_->WaitJob("office", job, nullptr, std::chrono::seconds(60)); });
    EXPECT_EQ(state, IPP_JSTATE_COMPLETED) << server_->Log();
    for (const auto &[user, status] :
         {std::pair{"tester", IPP_STATUS_ERROR_NOT_POSSIBLE},
          std::pair{"intruder", IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED}}) {
        IppPtr cancel = server_->NewRequest(IPP_OP_CANCEL_JOB, "office");
        ipp_attribute_t *name =
            ippFindAttribute(cancel.get(), "requesting-user-name", IPP_TAG_NAME);
        ippSetString(cancel.get(), &name, 0, user);
        ippAddInteger(cancel.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", job);
        EXPECT_EQ(Remote(*server_, std::move(cancel)), status) << user;
    }
}

// server-hostname leaves the machine its name (papplSystemSetHostName writes /etc/hostname): the
// server runs in namespaces of its own with a file bound over /etc/hostname.
TEST_F(Access, ServerHostnameLeavesTheMachineItsName) {
    TempDir dir;
    WriteWholeFile(dir.file("hostname"), "machine\n");
    const std::string bind =
        "mount --bind " + dir.file("hostname") + " /etc/hostname && exec \"$@\"";
    AppServer server({{{"server-hostname", "elsewhere.example"}},
                      {"/usr/bin/unshare", "--uts", "--mount", "/bin/sh", "-c", bind, "sh"}});
    ASSERT_TRUE(server.ok()) << server.Log();
    EXPECT_EQ(ReadWholeFile(dir.file("hostname")), "machine\n");
}

} // namespace
